// Providers derive their components from CTComponentUnknown, hand the factory ComponentInfo
// records and call the factory through its CTUnknown face, all compiled elsewhere: a layout
// change here must fail this build instead of corrupting memory there.
#include <cstddef>
#include <type_traits>

#include "quendel/component.h"
#include "quendel/component_factory.h"

// offsetof on a polymorphic class is conditionally supported; both compilers this library
// is built with support it, and the warning only says so.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif

namespace framework {
namespace {

constexpr std::size_t kWord = sizeof(void*);

// The interfaces are a virtual table pointer and nothing else; nobody deletes through them.
static_assert(std::is_polymorphic_v<CTUnknown> && sizeof(CTUnknown) == kWord, "CTUnknown");
static_assert(!std::has_virtual_destructor_v<CTUnknown>, "CTUnknown has no destructor slot");
static_assert(std::is_polymorphic_v<CTDelegatUnknown> && sizeof(CTDelegatUnknown) == kWord,
              "CTDelegatUnknown");

// CTComponentUnknown: vptr, impl, info. `info` is protected, so it is measured from a
// derived class, as a provider's component sees it.
struct ComponentProbe : CTComponentUnknown {
  static constexpr std::size_t InfoOffset() { return offsetof(ComponentProbe, info); }
};
static_assert(ComponentProbe::InfoOffset() == 2 * kWord, "CTComponentUnknown::info");
static_assert(std::has_virtual_destructor_v<CTComponentUnknown>, "deleted through slot 4");
static_assert(alignof(CTComponentUnknown) == alignof(void*), "CTComponentUnknown alignment");

// CTComponentFactory: the CTUnknown face first, the CTComponentUnknown face after it, then
// the registry pointer.
static_assert(sizeof(CTComponentFactory) == sizeof(CTUnknown) + sizeof(CTComponentUnknown) + kWord,
              "CTComponentFactory");
static_assert(alignof(CTComponentFactory) == alignof(void*), "CTComponentFactory alignment");

// ComponentInfo: vptr, then the six fields in this order.
static_assert(std::has_virtual_destructor_v<ComponentInfo>, "deleted through its first slot");
static_assert(offsetof(ComponentInfo, name) == 1 * kWord, "ComponentInfo::name");
static_assert(offsetof(ComponentInfo, id) == 2 * kWord, "ComponentInfo::id");
static_assert(offsetof(ComponentInfo, version) == 3 * kWord, "ComponentInfo::version");
static_assert(offsetof(ComponentInfo, type) == 4 * kWord, "ComponentInfo::type");
static_assert(sizeof(ComponentInfo::type) == 4, "ComponentInfo::type is 32 bits");
static_assert(offsetof(ComponentInfo, description) == 5 * kWord, "ComponentInfo::description");
static_assert(offsetof(ComponentInfo, creator) == 6 * kWord, "ComponentInfo::creator");

// TWrap<ComponentInfo>: an array of them is an array of ComponentInfo pointers.
static_assert(std::is_standard_layout_v<TWrap<ComponentInfo>> &&
                  offsetof(TWrap<ComponentInfo>, ptr) == 0 &&
                  !std::is_polymorphic_v<TWrap<ComponentInfo>>,
              "TWrap<ComponentInfo>");

}  // namespace
}  // namespace framework

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
