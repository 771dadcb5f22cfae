#ifndef QUENDEL_X_BUFFER_H
#define QUENDEL_X_BUFFER_H

/// \file
/// The byte buffer that modules pass by value.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quendel/detail/buffer_inline.h"
#include "quendel/export.h"

namespace framework {

/// A byte buffer passed by value between modules. It is empty, a borrowed view of the
/// caller's memory (never freed), or an owned malloc block shared by all its copies under an
/// atomic count. Copies are shallow; Clone and CopyTo copy bytes. Nothing throws or logs.
///
/// The order of the virtual operations and of the fields is binary interface: other modules
/// hold XBuffer objects by value and XImage extends the layout. Do not reorder.
class QUENDEL_API XBuffer {
 public:
  /// Called once per owned block, by whichever holder drops its last reference, just before
  /// the block is freed, with that holder's data, size and user pointer. Anything it throws
  /// is caught and dropped, and the block is freed all the same.
  using ReleaseCallback = void (*)(char* data, size_t size, void* user);

  /// Empty.
  XBuffer();
  /// Borrowed view of `size` bytes at `data`: nothing is copied, allocated or ever freed.
  XBuffer(const char* data, size_t size);
  /// Owned block of `size` uninitialised bytes. If no block can be had, the buffer is empty.
  explicit XBuffer(size_t size);
  /// Shares `other`'s bytes (one atomic increment for an owned block) and its callback.
  QUENDEL_BUFFER_INLINE XBuffer(const XBuffer& other)
      : data(other.data),
        size(other.size),
        refCount(other.refCount),
        releaseCallback(other.releaseCallback),
        releaseUser(other.releaseUser) {
    if (refCount != nullptr) refCount->fetch_add(1, std::memory_order_relaxed);
  }
  /// Shares `other`'s bytes and callback after dropping this buffer's hold.
  XBuffer& operator=(const XBuffer& other);
  // No move operations: moving copies, which is cheap.

  /// Does what XBuffer::Release does; the library frees the block.
  QUENDEL_BUFFER_INLINE virtual ~XBuffer() {
    if (refCount != nullptr && refCount->fetch_sub(1, std::memory_order_acq_rel) == 1) {
      FreeBlock();
    }
  }
  /// Bytes in use.
  virtual size_t DataSize() const;
  /// True without storage or with nothing in use.
  virtual bool Empty() const;
  /// Makes this an owned buffer of `size` bytes, keeping the block when this is its only
  /// holder and `size` fits. False, with the buffer empty, when no block could be had.
  /// (XImage hides it with its own Create on purpose; GCC reports that at this line.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif
  virtual bool Create(size_t size);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  /// Drops this object's hold on its bytes; the callback fields stay.
  virtual void Release();
  /// Copies `length` bytes from `source` to byte `offset` (ranges may overlap). False, with
  /// nothing written, when the range does not fit, `source` is null, `length` is 0 or the
  /// buffer has no storage.
  virtual bool Write(char* source, size_t length, size_t offset);
  /// The same for bytes the caller may not write, literals included; a `char*` still calls
  /// the virtual form directly. Write only reads `source` (its slot keeps the plain `char*` of
  /// the binary interface), so casting the const away is safe. Inline, so not exported; a
  /// class that overrides Write keeps this one visible with `using XBuffer::Write;`.
  bool Write(const char* source, size_t length, size_t offset) {
    return Write(const_cast<char*>(source), length, offset);
  }

  /// A new owned buffer holding a copy of the bytes; no callback is carried over. A buffer
  /// without data gives an empty one.
  XBuffer Clone() const;
  /// Gives `target` a copy of the bytes (through its virtual Create and Write). From a buffer
  /// without data the target is released (through its virtual Release), as Clone would give
  /// it.
  void CopyTo(XBuffer& target) const;

  /// The first byte, or null without storage.
  char* Data();
  /// The first byte, or null without storage.
  const char* Data() const;

  /// Sets the release callback and its user pointer. Belongs to this object, not to the
  /// block; copies take it over, Release keeps it.
  void SetReleaseCallback(ReleaseCallback callback, void* user);
  // Public layout. An owned block of n bytes is one malloc of r + 4 bytes (r = n rounded up
  // to a multiple of 4) with the count at byte r, so its capacity is refCount - data.
  char* data;                           ///< The first byte, or null.
  size_t size;                          ///< Bytes in use.
  std::atomic<std::int32_t>* refCount;  ///< The owned block's count (null when not owned).
  ReleaseCallback releaseCallback;      ///< Run before the owned block is freed, or null.
  void* releaseUser;                    ///< Handed to releaseCallback.

 private:
  // After the last hold went: runs the release callback, then frees the block.
  void FreeBlock();
};

static_assert(sizeof(std::atomic<std::int32_t>) == 4, "the shared count is 32 bits");
static_assert(sizeof(void*) != 8 || sizeof(XBuffer) == 48, "XBuffer layout is binary interface");

}  // namespace framework

#endif  // QUENDEL_X_BUFFER_H
