#ifndef QUENDEL_CONTAINERS_X_VECTOR_IMPL_H
#define QUENDEL_CONTAINERS_X_VECTOR_IMPL_H

// The out-of-line members of XVector<T>, included only by the files that instantiate the
// eighteen element types.

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "containers/x_vector_block.h"
#include "quendel/x_vector.h"
#include "visibility.h"

namespace framework {
namespace vector_detail {

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<XVector<T>> : std::true_type {};

// How elements of T are built, copied and destroyed in raw blocks. Every Construct* either
// builds all elements or, when one throws, destroys the ones it built and rethrows.
template <typename T>
struct QUENDEL_HIDDEN Elements {
  // Scalars and pointers are copied, moved and filled as blocks of bytes.
  static constexpr bool kBitwise = std::is_trivially_copyable_v<T>;
  // Overwriting or destroying a value, buffer or image runs code the library does not
  // control (a holder's destructor, a release callback), which may free what a copy is
  // still reading: a value can hold the very vector being assigned. Vectors of scalars and
  // pointers run none.
  static constexpr bool kMayFreeSource = !kBitwise && !IsVector<T>::value;

  static constexpr std::uint64_t kMaxSize =
      std::numeric_limits<std::uint64_t>::max() / sizeof(T) <
              static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
          ? std::numeric_limits<std::uint64_t>::max() / sizeof(T)
          : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

  // The capacity for `needed` elements when the block of `capacity` is too small.
  static std::uint64_t Grown(std::uint64_t capacity, std::uint64_t needed) {
    if (capacity > kMaxSize - capacity / 2) return kMaxSize;
    const std::uint64_t grown = capacity + capacity / 2;
    return grown < needed ? needed : grown;
  }

  static T* Allocate(std::uint64_t count) {
    return static_cast<T*>(AllocateBlock(count * sizeof(T)));
  }

  static void Free(T* first, T* end_of_storage) {
    if (first != nullptr) {
      FreeBlock(first, static_cast<std::uint64_t>(end_of_storage - first) * sizeof(T));
    }
  }

  // Ascending order.
  static void Destroy(T* first, T* last) {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (; first != last; ++first) first->~T();
    }
  }

  static void ConstructDefault(T* at, std::uint64_t count) {
    if constexpr (kBitwise) {
      if (count != 0) std::memset(static_cast<void*>(at), 0, count * sizeof(T));
    } else {
      ConstructEach(at, count, [](T* element, std::uint64_t) { ::new (element) T(); });
    }
  }

  static void ConstructFill(T* at, std::uint64_t count, const T& value) {
    if constexpr (kBitwise) {
      FillBits(at, count, value);
    } else {
      ConstructEach(at, count, [&value](T* element, std::uint64_t) { ::new (element) T(value); });
    }
  }

  static void ConstructCopy(T* at, const T* from, std::uint64_t count) {
    if constexpr (kBitwise) {
      if (count != 0) std::memcpy(static_cast<void*>(at), from, count * sizeof(T));
    } else {
      ConstructEach(at, count, [from](T* element, std::uint64_t i) { ::new (element) T(from[i]); });
    }
  }

  // Assignments into constructed elements.
  static void AssignFill(T* at, std::uint64_t count, const T& value) {
    if constexpr (kBitwise) {
      FillBits(at, count, value);
    } else {
      for (std::uint64_t i = 0; i < count; ++i) at[i] = value;
    }
  }

  static void AssignCopy(T* at, const T* from, std::uint64_t count) {
    if constexpr (kBitwise) {
      if (count != 0) std::memcpy(static_cast<void*>(at), from, count * sizeof(T));
    } else {
      for (std::uint64_t i = 0; i < count; ++i) at[i] = from[i];
    }
  }

  // Moves the vector into a new block of exactly `capacity` elements (growth, reserve,
  // shrink_to_fit). `build(at, count)` constructs the elements from the old size up to
  // `new_size` first, while the old block still holds any element it copies from; then the
  // old elements are copied over (never moved) and destroyed. If anything throws, the new
  // block is undone and the vector is as it was.
  template <typename Impl, typename Build>
  static void Replace(Impl& impl, std::uint64_t capacity, std::uint64_t new_size, Build build) {
    const auto old_size = static_cast<std::uint64_t>(impl.last - impl.first);
    T* block = Allocate(capacity);
    try {
      build(block + old_size, new_size - old_size);
      try {
        ConstructCopy(block, impl.first, old_size);
      } catch (...) {
        Destroy(block + old_size, block + new_size);
        throw;
      }
    } catch (...) {
      Free(block, block + capacity);
      throw;
    }
    Destroy(impl.first, impl.last);
    Free(impl.first, impl.end_of_storage);
    impl.first = block;
    impl.last = block + new_size;
    impl.end_of_storage = block + capacity;
  }

  // A new block of `capacity` holding copies of the `count` elements at `from`; if a copy
  // throws, the block is given back.
  static T* CopyToNewBlock(const T* from, std::uint64_t count, std::uint64_t capacity) {
    T* block = Allocate(capacity);
    try {
      ConstructCopy(block, from, count);
    } catch (...) {
      Free(block, block + capacity);
      throw;
    }
    return block;
  }

  // Makes the vector hold the `count` elements at `from`. The source may be freed as soon as
  // an old element is overwritten or destroyed (see kMayFreeSource), so it is copied first:
  // into the new block when the old one is too small, otherwise into a scratch block whose
  // copies are then moved over, keeping this block. Moving values, buffers and images does
  // not throw, so a failed copy leaves the vector as it was.
  template <typename Impl>
  static void CopyAssignFromAnywhere(Impl& impl, const T* from, std::uint64_t count) {
    const auto old_size = static_cast<std::uint64_t>(impl.last - impl.first);
    const auto old_capacity = static_cast<std::uint64_t>(impl.end_of_storage - impl.first);
    if (count > old_capacity) {
      const std::uint64_t capacity = Grown(old_capacity, count);
      T* block = CopyToNewBlock(from, count, capacity);
      Discard(impl);
      impl.first = block;
      impl.end_of_storage = block + capacity;
    } else if (count != 0 && old_size != 0) {
      T* copies = CopyToNewBlock(from, count, count);
      if (count <= old_size) {
        for (std::uint64_t i = 0; i < count; ++i) impl.first[i] = std::move(copies[i]);
        Destroy(impl.first + count, impl.last);
      } else {
        for (std::uint64_t i = 0; i < old_size; ++i) impl.first[i] = std::move(copies[i]);
        for (std::uint64_t i = old_size; i < count; ++i) {
          ::new (static_cast<void*>(impl.first + i)) T(std::move(copies[i]));
        }
      }
      Destroy(copies, copies + count);
      Free(copies, copies + count);
    } else {
      // Nothing is overwritten before the source has been read: no old elements, or none
      // to copy.
      Destroy(impl.first, impl.last);
      impl.last = impl.first;
      ConstructCopy(impl.first, from, count);
    }
    impl.last = impl.first + count;
  }

  // Destroys the elements and gives the block back, leaving three null pointers.
  template <typename Impl>
  static void Discard(Impl& impl) {
    Destroy(impl.first, impl.last);
    Free(impl.first, impl.end_of_storage);
    impl.first = impl.last = impl.end_of_storage = nullptr;
  }

  // Gives an emptied vector a fresh block of `capacity` elements, none constructed.
  template <typename Impl>
  static void Adopt(Impl& impl, std::uint64_t capacity) {
    T* block = Allocate(capacity);
    impl.first = impl.last = block;
    impl.end_of_storage = block + capacity;
  }

 private:
  template <typename Build>
  static void ConstructEach(T* at, std::uint64_t count, Build build) {
    std::uint64_t built = 0;
    try {
      for (; built < count; ++built) build(at + built, built);
    } catch (...) {
      Destroy(at, at + built);
      throw;
    }
  }

  // Reads `value` once, so it may be one of the elements being overwritten.
  static void FillBits(T* at, std::uint64_t count, const T& value) {
    const T copy = value;
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &copy, sizeof(T));
    bool zero = true;
    for (unsigned char byte : bytes) zero = zero && byte == 0;
    if (count == 0) return;
    if (zero || sizeof(T) == 1) {
      std::memset(static_cast<void*>(at), bytes[0], count * sizeof(T));
    } else {
      for (std::uint64_t i = 0; i < count; ++i) at[i] = copy;
    }
  }
};

}  // namespace vector_detail

template <typename T>
XVector<T>::XVector() : impl_(new Impl{nullptr, nullptr, nullptr}) {}

// The constructors below delegate, so that once the implementation object exists a throw
// runs the destructor, which releases whatever has been built.
template <typename T>
XVector<T>::XVector(std::uint64_t count) : XVector() {
  using E = vector_detail::Elements<T>;
  if (count > E::kMaxSize) vector_detail::ThrowTooLong();
  if (count == 0) return;
  E::Adopt(*impl_, count);
  E::ConstructDefault(impl_->first, count);
  impl_->last = impl_->first + count;
}

template <typename T>
XVector<T>::XVector(std::uint64_t count, const T& value) : XVector() {
  using E = vector_detail::Elements<T>;
  if (count > E::kMaxSize) vector_detail::ThrowTooLong();
  if (count == 0) return;
  E::Adopt(*impl_, count);
  E::ConstructFill(impl_->first, count, value);
  impl_->last = impl_->first + count;
}

template <typename T>
XVector<T>::XVector(const XVector& other) : XVector() {
  using E = vector_detail::Elements<T>;
  const std::uint64_t count = other.size();
  if (count == 0) return;
  E::Adopt(*impl_, count);
  E::ConstructCopy(impl_->first, other.impl_->first, count);
  impl_->last = impl_->first + count;
}

template <typename T>
XVector<T>::XVector(XVector&& other) : XVector() {
  swap(other);
}

template <typename T>
XVector<T>::~XVector() {
  vector_detail::Elements<T>::Discard(*impl_);
  delete impl_;
}

template <typename T>
XVector<T>& XVector<T>::operator=(const XVector& other) {
  using E = vector_detail::Elements<T>;
  if (this == &other) return *this;
  Impl& impl = *impl_;
  const T* source = other.impl_->first;
  const std::uint64_t count = other.size();
  if constexpr (E::kMayFreeSource) {
    E::CopyAssignFromAnywhere(impl, source, count);
  } else {
    // Scalars, pointers and vectors of them cannot own the source: copy in place.
    const std::uint64_t old_size = size();
    const std::uint64_t old_capacity = capacity();
    if (count <= old_size) {
      E::AssignCopy(impl.first, source, count);
      E::Destroy(impl.first + count, impl.last);
    } else if (count <= old_capacity) {
      if constexpr (E::kBitwise) {
        E::ConstructCopy(impl.first, source, count);
      } else {
        E::AssignCopy(impl.first, source, old_size);
        E::ConstructCopy(impl.last, source + old_size, count - old_size);
      }
    } else {
      // The old block goes first; if the new one or a copy fails, the vector is left empty.
      E::Discard(impl);
      E::Adopt(impl, E::Grown(old_capacity, count));
      E::ConstructCopy(impl.first, source, count);
    }
    impl.last = impl.first + count;
  }
  return *this;
}

template <typename T>
XVector<T>& XVector<T>::operator=(XVector&& other) {
  if (this == &other) return *this;
  // Take the source over before the old elements go: it may live inside one of them (a
  // value holding a vector of values).
  Impl old = *impl_;
  *impl_ = *other.impl_;
  *other.impl_ = Impl{nullptr, nullptr, nullptr};
  vector_detail::Elements<T>::Discard(old);
  return *this;
}

template <typename T>
void XVector<T>::assign(std::uint64_t count, const T& value) {
  using E = vector_detail::Elements<T>;
  if (count > E::kMaxSize) vector_detail::ThrowTooLong();
  // `value` may be one of the elements about to be overwritten or destroyed, or live inside
  // one (a value held by an element): fill from a copy made while it is still there.
  const T kept(value);
  Impl& impl = *impl_;
  const std::uint64_t old_size = size();
  const std::uint64_t old_capacity = capacity();
  if (count <= old_size) {
    E::AssignFill(impl.first, count, kept);
    E::Destroy(impl.first + count, impl.last);
  } else if (count <= old_capacity) {
    if constexpr (E::kBitwise) {
      E::ConstructFill(impl.first, count, kept);
    } else {
      E::AssignFill(impl.first, old_size, kept);
      E::ConstructFill(impl.last, count - old_size, kept);
    }
  } else {
    E::Discard(impl);
    E::Adopt(impl, E::Grown(old_capacity, count));
    E::ConstructFill(impl.first, count, kept);
  }
  impl.last = impl.first + count;
}

template <typename T>
T& XVector<T>::at(std::uint64_t index) {
  if (index >= size()) vector_detail::ThrowBadSubscript();
  return impl_->first[index];
}

template <typename T>
const T& XVector<T>::at(std::uint64_t index) const {
  if (index >= size()) vector_detail::ThrowBadSubscript();
  return impl_->first[index];
}

template <typename T>
std::uint64_t XVector<T>::max_size() const {
  return vector_detail::Elements<T>::kMaxSize;
}

template <typename T>
void XVector<T>::clear() {
  vector_detail::Elements<T>::Destroy(impl_->first, impl_->last);
  impl_->last = impl_->first;
}

template <typename T>
void XVector<T>::reserve(std::uint64_t count) {
  using E = vector_detail::Elements<T>;
  if (count <= capacity()) return;
  if (count > E::kMaxSize) vector_detail::ThrowTooLong();
  E::Replace(*impl_, count, size(), [](T*, std::uint64_t) {});
}

template <typename T>
void XVector<T>::resize(std::uint64_t count) {
  using E = vector_detail::Elements<T>;
  const std::uint64_t old_size = size();
  if (count <= old_size) {
    E::Destroy(impl_->first + count, impl_->last);
    impl_->last = impl_->first + count;
  } else if (count <= capacity()) {
    E::ConstructDefault(impl_->last, count - old_size);
    impl_->last = impl_->first + count;
  } else {
    if (count > E::kMaxSize) vector_detail::ThrowTooLong();
    E::Replace(*impl_, E::Grown(capacity(), count), count, &E::ConstructDefault);
  }
}

template <typename T>
void XVector<T>::resize(std::uint64_t count, const T& value) {
  using E = vector_detail::Elements<T>;
  const std::uint64_t old_size = size();
  if (count <= old_size) {
    E::Destroy(impl_->first + count, impl_->last);
    impl_->last = impl_->first + count;
  } else if (count <= capacity()) {
    E::ConstructFill(impl_->last, count - old_size, value);
    impl_->last = impl_->first + count;
  } else {
    if (count > E::kMaxSize) vector_detail::ThrowTooLong();
    E::Replace(*impl_, E::Grown(capacity(), count), count,
               [&value](T* at, std::uint64_t added) { E::ConstructFill(at, added, value); });
  }
}

template <typename T>
void XVector<T>::shrink_to_fit() {
  using E = vector_detail::Elements<T>;
  const std::uint64_t count = size();
  if (count == capacity()) return;
  if (count == 0) {
    E::Discard(*impl_);
  } else {
    E::Replace(*impl_, count, count, [](T*, std::uint64_t) {});
  }
}

template <typename T>
void XVector<T>::swap(XVector& other) {
  if (this == &other) return;
  Impl& mine = *impl_;
  Impl& theirs = *other.impl_;
  std::swap(mine.first, theirs.first);
  std::swap(mine.last, theirs.last);
  std::swap(mine.end_of_storage, theirs.end_of_storage);
}

}  // namespace framework

#endif  // QUENDEL_CONTAINERS_X_VECTOR_IMPL_H
