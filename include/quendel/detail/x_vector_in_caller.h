#ifndef QUENDEL_DETAIL_X_VECTOR_IN_CALLER_H
#define QUENDEL_DETAIL_X_VECTOR_IN_CALLER_H

// Public only because it is compiled into the caller on every platform: XVector's member
// templates, which the library's explicit instantiations leave out and so never export. They
// read the three pointers of XVector::Impl or call the exported members, nothing else.
#include <cstdint>
#include <initializer_list>

// The class comes first. Included on its own, this brings it in (its own inclusion of this
// file then stops at the guard); included from there, this does nothing.
#include "quendel/x_vector.h"

namespace framework {

template <typename T>
template <typename NotExported>
inline XVector<T>::XVector(std::initializer_list<T> items) : XVector(items.begin(), items.size()) {}

// Built by the exported members, so a copy that throws leaves nothing behind: the delegated
// constructor has finished, and the destructor frees what was pushed.
template <typename T>
template <typename Pointer, typename>
inline XVector<T>::XVector(Pointer first, std::uint64_t count) : XVector() {
  const T* const source = first;
  reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) push_back(source[i]);
}

template <typename T>
template <typename NotExported>
inline T* XVector<T>::begin() {
  return impl_->first;
}

template <typename T>
template <typename NotExported>
inline T* XVector<T>::end() {
  return impl_->last;
}

template <typename T>
template <typename NotExported>
inline const T* XVector<T>::begin() const {
  return impl_->first;
}

template <typename T>
template <typename NotExported>
inline const T* XVector<T>::end() const {
  return impl_->last;
}

template <typename T>
template <typename NotExported>
inline const T* XVector<T>::cbegin() const {
  return begin();
}

template <typename T>
template <typename NotExported>
inline const T* XVector<T>::cend() const {
  return end();
}

}  // namespace framework

#endif  // QUENDEL_DETAIL_X_VECTOR_IN_CALLER_H
