#ifndef QUENDEL_DETAIL_X_VECTOR_FAST_PATH_H
#define QUENDEL_DETAIL_X_VECTOR_FAST_PATH_H

// Public only for inlining: XVector's short accessors and the push_back path that has room,
// included by quendel/x_vector.h. They read the three pointers of XVector::Impl, the layout
// the vector's contract fixes.
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

// The class comes first. Included on its own, this brings it in (its own inclusion of this
// file then stops at the guard); included from there, this does nothing.
#include "quendel/x_vector.h"

// Compiled into the caller where the platform allows it, since a library call per element
// costs more than the work. A Windows DLL exports no inline members of a template
// instantiation, so there they stay out of line and are exported like the rest.
#if defined(_WIN32)
#define QUENDEL_VECTOR_FAST_PATH
#else
#define QUENDEL_VECTOR_FAST_PATH inline
#endif

namespace framework {

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

}  // namespace framework

#undef QUENDEL_VECTOR_FAST_PATH

#endif  // QUENDEL_DETAIL_X_VECTOR_FAST_PATH_H
