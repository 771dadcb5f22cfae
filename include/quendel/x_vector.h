#ifndef QUENDEL_X_VECTOR_H
#define QUENDEL_X_VECTOR_H

/// \file
/// The dynamic array that modules pass sequences in.
#include <cstdint>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "quendel/export.h"
#include "quendel/x_buffer.h"
#include "quendel/x_image.h"
#include "quendel/x_value.h"

namespace framework {

struct CTUnknown;
template <typename T>
class XVector;

namespace detail {

// The eighteen element types the library builds XVector for.
template <typename T>
struct IsVectorElement
    : std::disjunction<
          std::is_same<T, char>, std::is_same<T, int>, std::is_same<T, unsigned int>,
          std::is_same<T, float>, std::is_same<T, std::int64_t>, std::is_same<T, std::uint64_t>,
          std::is_same<T, char*>, std::is_same<T, CTUnknown*>, std::is_same<T, XBuffer>,
          std::is_same<T, XImage>, std::is_same<T, XValue>, std::is_same<T, XVector<char>>,
          std::is_same<T, XVector<int>>, std::is_same<T, XVector<unsigned int>>,
          std::is_same<T, XVector<float>>, std::is_same<T, XVector<char*>>,
          std::is_same<T, XVector<std::int64_t>>, std::is_same<T, XVector<std::uint64_t>>> {};

}  // namespace detail

/// A dynamic array passed by value between modules. The library defines it for eighteen
/// element types only (listed at the end of this file); any other type fails to compile.
/// Counts and indexes are 64-bit. The object is one pointer to an implementation object
/// that every constructor allocates and only the destructor releases.
///
/// Capacity grows by half of itself; copies, count constructors, reserve and shrink_to_fit
/// allocate exactly. Class, value and nested-vector elements are copied, never moved, when
/// the block is replaced; scalars and pointers move as one block copy. Char and CTUnknown
/// pointers are held as plain pointers: never freed, never released.
///
/// The member templates (the list and pointer constructors, begin and end) are compiled into
/// the caller, from quendel/detail/x_vector_in_caller.h, on every platform: the library's
/// explicit instantiations leave member templates out, so it exports only the other members.
/// A `NotExported` parameter is never given.
template <typename T>
class XVector {
  static_assert(detail::IsVectorElement<T>::value,
                "XVector is built for these element types only: char, int, unsigned int, float, "
                "std::int64_t, std::uint64_t, char*, CTUnknown*, XBuffer, XImage, XValue, and "
                "XVector of char, int, unsigned int, float, char*, std::int64_t, std::uint64_t");

 public:
  /// Empty, without a block.
  XVector();
  /// `count` value-initialised elements (empty values, empty vectors, zeros).
  explicit XVector(std::uint64_t count);
  /// `count` copies of `value`.
  XVector(std::uint64_t count, const T& value);
  /// Copies of `other`'s elements; the capacity is exactly their count.
  XVector(const XVector& other);
  /// Allocates a new implementation object (and may throw); `other` is left empty.
  XVector(XVector&& other);
  /// Copies of the listed elements; the capacity is exactly their count.
  template <typename NotExported = void>
  XVector(std::initializer_list<T> items);
  /// Copies of `count` elements from `first` (a pointer convertible to `const T*`, or nullptr
  /// when `count` is 0); the capacity is exactly `count`. The pointer's type is a parameter
  /// so that a literal 0 never converts to it: `XVector(0, value)` keeps its meaning.
  template <typename Pointer, typename = std::enable_if_t<!std::is_integral_v<Pointer> &&
                                                          std::is_convertible_v<Pointer, const T*>>>
  XVector(Pointer first, std::uint64_t count);
  /// Destroys the elements and frees the block and the implementation object.
  ~XVector();

  /// \name Assignment
  /// Safe when `other` or `value` is one of this vector's elements or lives inside one (a
  /// value holding a vector of values), whether or not the block is replaced.
  /// \{

  /// Copies of `other`'s elements.
  XVector& operator=(const XVector& other);
  /// Takes over `other`'s elements and leaves `other` empty.
  XVector& operator=(XVector&& other);
  /// `count` copies of `value`.
  void assign(std::uint64_t count, const T& value);
  /// \}

  /// Throws `std::out_of_range` "invalid vector subscript" when `index` >= size().
  T& at(std::uint64_t index);
  /// Throws `std::out_of_range` "invalid vector subscript" when `index` >= size().
  const T& at(std::uint64_t index) const;
  /// \name Unchecked access
  /// Unchecked, like front, back and pop_back.
  /// \{

  /// The element at `index`.
  T& operator[](std::uint64_t index);
  /// The element at `index`.
  const T& operator[](std::uint64_t index) const;
  /// The first element.
  T& front();
  /// The first element.
  const T& front() const;
  /// The last element.
  T& back();
  /// The last element.
  const T& back() const;
  /// \}
  /// Null while the vector has no block.
  T* data();
  /// Null while the vector has no block.
  const T* data() const;
  /// \name Iteration
  /// The elements as one range: data() to data() + size(). Without a block both ends are null
  /// and equal, so loops and algorithms see an empty range.
  /// \{

  /// data().
  template <typename NotExported = void>
  T* begin();
  /// data() + size().
  template <typename NotExported = void>
  T* end();
  /// data().
  template <typename NotExported = void>
  const T* begin() const;
  /// data() + size().
  template <typename NotExported = void>
  const T* end() const;
  /// data() of a const vector.
  template <typename NotExported = void>
  const T* cbegin() const;
  /// data() + size() of a const vector.
  template <typename NotExported = void>
  const T* cend() const;
  /// \}

  /// True without elements.
  bool empty() const;
  /// The number of elements.
  std::uint64_t size() const;
  /// The most elements a vector of T can hold.
  std::uint64_t max_size() const;
  /// The number of elements the block holds.
  std::uint64_t capacity() const;

  /// Destroys the elements; keeps the block.
  void clear();
  /// Never shrinks; grows to exactly `count`.
  void reserve(std::uint64_t count);
  /// `count` elements: new ones are value-initialised, those past `count` destroyed.
  void resize(std::uint64_t count);
  /// `count` elements: new ones are copies of `value`, those past `count` destroyed.
  void resize(std::uint64_t count, const T& value);
  /// Makes the capacity the size. An empty vector gives its block back.
  void shrink_to_fit();
  /// Appends a copy of `value`. Pushing an element of the same vector is safe, also when the
  /// block is replaced. Throws `std::length_error` "vector too long" when a full vector holds
  /// max_size() elements.
  void push_back(const T& value);
  /// Appends `value`, moved in when T is a value or a nested vector; scalars, pointers,
  /// buffers and images are copied, as by the other push_back.
  void push_back(T&& value);
  /// Destroys the last element.
  void pop_back();
  /// Exchanges the elements of the two vectors.
  void swap(XVector& other);

 private:
  // The implementation object: the standard three-pointer layout of a vector.
  struct Impl {
    T* first;           // start of the block, null without one
    T* last;            // one past the last element
    T* end_of_storage;  // one past the end of the block
  };

  Impl* impl_;
};

}  // namespace framework

#include "quendel/detail/x_vector_fast_path.h"
#include "quendel/detail/x_vector_in_caller.h"

namespace framework {

// The eighteen element types. The members are defined in the library only.
extern template class QUENDEL_API XVector<char>;
extern template class QUENDEL_API XVector<int>;
extern template class QUENDEL_API XVector<unsigned int>;
extern template class QUENDEL_API XVector<float>;
extern template class QUENDEL_API XVector<std::int64_t>;
extern template class QUENDEL_API XVector<std::uint64_t>;
extern template class QUENDEL_API XVector<char*>;
extern template class QUENDEL_API XVector<CTUnknown*>;
extern template class QUENDEL_API XVector<XBuffer>;
extern template class QUENDEL_API XVector<XImage>;
extern template class QUENDEL_API XVector<XValue>;
extern template class QUENDEL_API XVector<XVector<char>>;
extern template class QUENDEL_API XVector<XVector<int>>;
extern template class QUENDEL_API XVector<XVector<unsigned int>>;
extern template class QUENDEL_API XVector<XVector<float>>;
extern template class QUENDEL_API XVector<XVector<char*>>;
extern template class QUENDEL_API XVector<XVector<std::int64_t>>;
extern template class QUENDEL_API XVector<XVector<std::uint64_t>>;

static_assert(sizeof(XVector<int>) == sizeof(void*), "XVector is one pointer wide");

}  // namespace framework

#endif  // QUENDEL_X_VECTOR_H
