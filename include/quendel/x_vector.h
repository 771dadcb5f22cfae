#ifndef QUENDEL_X_VECTOR_H
#define QUENDEL_X_VECTOR_H

#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "quendel/export.h"
#include "quendel/x_buffer.h"
#include "quendel/x_image.h"
#include "quendel/x_value.h"

// The short accessors and the push_back path that has room are compiled into the caller
// where the platform allows it, since a library call per element costs more than the work.
// A Windows DLL exports no inline members of a template instantiation, so there they stay
// out of line and are exported like the rest.
#if defined(_WIN32)
#define QUENDEL_VECTOR_FAST_PATH
#else
#define QUENDEL_VECTOR_FAST_PATH inline
#endif

namespace framework {

struct CTUnknown;

// A dynamic array passed by value between modules. The library defines it for eighteen
// element types only (listed at the end of this file); any other type fails to link.
// Counts and indexes are 64-bit. The object is one pointer to an implementation object
// that every constructor allocates and only the destructor releases.
//
// Capacity grows by half of itself; copies, count constructors, reserve and shrink_to_fit
// allocate exactly. Class, value and nested-vector elements are copied, never moved, when
// the block is replaced; scalars and pointers move as one block copy. Char and CTUnknown
// pointers are held as plain pointers: never freed, never released.
template <typename T>
class XVector {
 public:
  XVector();
  // `count` value-initialised elements (empty values, empty vectors, zeros).
  explicit XVector(std::uint64_t count);
  XVector(std::uint64_t count, const T& value);
  XVector(const XVector& other);
  // Allocates a new implementation object (and may throw); `other` is left empty.
  XVector(XVector&& other);
  ~XVector();

  // Safe when `other` or `value` is one of this vector's elements or lives inside one (a
  // value holding a vector of values), whether or not the block is replaced.
  XVector& operator=(const XVector& other);
  XVector& operator=(XVector&& other);
  void assign(std::uint64_t count, const T& value);

  // Throws std::out_of_range "invalid vector subscript" when `index` >= size().
  T& at(std::uint64_t index);
  const T& at(std::uint64_t index) const;
  // Unchecked, like front, back and pop_back.
  T& operator[](std::uint64_t index);
  const T& operator[](std::uint64_t index) const;
  T& front();
  const T& front() const;
  T& back();
  const T& back() const;
  // Null while the vector has no block.
  T* data();
  const T* data() const;

  bool empty() const;
  std::uint64_t size() const;
  std::uint64_t max_size() const;
  std::uint64_t capacity() const;

  // Keeps the block.
  void clear();
  // Never shrinks; grows to exactly `count`.
  void reserve(std::uint64_t count);
  void resize(std::uint64_t count);
  void resize(std::uint64_t count, const T& value);
  // An empty vector gives its block back.
  void shrink_to_fit();
  // Pushing an element of the same vector is safe, also when the block is replaced.
  // Throws std::length_error "vector too long" when a full vector holds max_size() elements.
  void push_back(const T& value);
  void push_back(T&& value);
  void pop_back();
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

template <typename T>
QUENDEL_VECTOR_FAST_PATH T& XVector<T>::operator[](std::uint64_t index) {
  return impl_->first[index];
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH const T& XVector<T>::operator[](std::uint64_t index) const {
  return impl_->first[index];
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH T& XVector<T>::front() {
  return *impl_->first;
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH const T& XVector<T>::front() const {
  return *impl_->first;
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH T& XVector<T>::back() {
  return impl_->last[-1];
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH const T& XVector<T>::back() const {
  return impl_->last[-1];
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH T* XVector<T>::data() {
  return impl_->first;
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH const T* XVector<T>::data() const {
  return impl_->first;
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH bool XVector<T>::empty() const {
  return impl_->last == impl_->first;
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH std::uint64_t XVector<T>::size() const {
  return static_cast<std::uint64_t>(impl_->last - impl_->first);
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH std::uint64_t XVector<T>::capacity() const {
  return static_cast<std::uint64_t>(impl_->end_of_storage - impl_->first);
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH void XVector<T>::push_back(const T& value) {
  Impl& impl = *impl_;
  if (impl.last != impl.end_of_storage) {
    ::new (static_cast<void*>(impl.last)) T(value);
    ++impl.last;
  } else if constexpr (std::is_trivially_copyable_v<T>) {
    // A local copy keeps the caller's value out of memory on the path above.
    const T copy = value;
    resize(size() + 1, copy);
  } else {
    // Growing by one with copies of `value` is exactly a push on a full vector: same growth,
    // same limit, and the new element is built before the old ones leave their block.
    resize(size() + 1, value);
  }
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH void XVector<T>::push_back(T&& value) {
  if constexpr (std::is_trivially_copyable_v<T> || std::is_base_of_v<XBuffer, T>) {
    // Scalars, pointers, buffers and images move by copying.
    push_back(static_cast<const T&>(value));
  } else {
    Impl& impl = *impl_;
    if (impl.last != impl.end_of_storage) {
      ::new (static_cast<void*>(impl.last)) T(std::move(value));
      ++impl.last;
      return;
    }
    // Take the argument over before the old elements are copied, as the new element would:
    // if it is an element of this vector, it is copied as empty.
    T taken(std::move(value));
    try {
      resize(size() + 1);
    } catch (...) {
      value = std::move(taken);  // the vector is as it was, and so is the argument
      throw;
    }
    back() = std::move(taken);
  }
}

template <typename T>
QUENDEL_VECTOR_FAST_PATH void XVector<T>::pop_back() {
  T* last = impl_->last - 1;
  last->~T();
  impl_->last = last;
}

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

#undef QUENDEL_VECTOR_FAST_PATH

#endif  // QUENDEL_X_VECTOR_H
