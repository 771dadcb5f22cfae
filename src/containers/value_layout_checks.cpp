// XValue, XVector and XMap cross module boundaries by value and as elements of each other:
// each is exactly one pointer, so that a vector of values is an array of holder pointers
// and a map entry carries its value as one pointer. A change must fail this build.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "quendel/x_image.h"
#include "quendel/x_map.h"
#include "quendel/x_value.h"
#include "quendel/x_vector.h"

namespace framework {
namespace {

constexpr std::size_t kWord = sizeof(void*);

// XValue: `holder` and nothing else, no virtual table; the empty value is all zero bits.
static_assert(std::is_standard_layout_v<XValue> && !std::is_polymorphic_v<XValue>, "XValue");
static_assert(sizeof(XValue) == kWord && offsetof(XValue, holder) == 0, "XValue::holder");
// The holder: the virtual destructor first, then Clone; a vptr and nothing the library sees.
static_assert(std::is_polymorphic_v<XValue::Holder> && std::is_abstract_v<XValue::Holder> &&
                  std::has_virtual_destructor_v<XValue::Holder> && sizeof(XValue::Holder) == kWord,
              "XValue::Holder");

// XMap: one owning pointer, no virtual table, neither copyable nor movable.
static_assert(sizeof(XMap) == kWord && alignof(XMap) == alignof(void*), "XMap");
static_assert(!std::is_polymorphic_v<XMap> && !std::is_copy_constructible_v<XMap> &&
                  !std::is_move_constructible_v<XMap> && !std::is_copy_assignable_v<XMap>,
              "XMap");

// XVector<T>: one pointer for every element type, no base, no virtual table.
template <typename T>
constexpr bool OnePointer() {
  return sizeof(XVector<T>) == kWord && alignof(XVector<T>) == alignof(void*) &&
         !std::is_polymorphic_v<XVector<T>> && std::is_standard_layout_v<XVector<T>>;
}
static_assert(OnePointer<char>() && OnePointer<int>() && OnePointer<unsigned int>() &&
                  OnePointer<float>() && OnePointer<std::int64_t>() &&
                  OnePointer<std::uint64_t>() && OnePointer<char*>() && OnePointer<CTUnknown*>() &&
                  OnePointer<XBuffer>() && OnePointer<XImage>() && OnePointer<XValue>() &&
                  OnePointer<XVector<char>>() && OnePointer<XVector<int>>() &&
                  OnePointer<XVector<unsigned int>>() && OnePointer<XVector<float>>() &&
                  OnePointer<XVector<char*>>() && OnePointer<XVector<std::int64_t>>() &&
                  OnePointer<XVector<std::uint64_t>>(),
              "XVector<T> is one pointer for every element type");

// XBuffer and XImage: their fields are checked in layout_checks.cpp; here what holds them.
static_assert(std::has_virtual_destructor_v<XBuffer> && std::is_base_of_v<XBuffer, XImage>,
              "XBuffer and XImage are deleted through their first slots");
static_assert(std::is_same_v<std::underlying_type_t<XImage::PIXEL_FORMAT>, std::int32_t>,
              "XImage::PIXEL_FORMAT is 32 bits");

}  // namespace
}  // namespace framework
