#include "quendel/x_buffer.h"

#include <cstring>

#include "containers/buffer_block.h"

namespace framework {

XBuffer::XBuffer()
    : data(nullptr), size(0), refCount(nullptr), releaseCallback(nullptr), releaseUser(nullptr) {}

XBuffer::XBuffer(const char* data, size_t size)
    : data(const_cast<char*>(data)),
      size(size),
      refCount(nullptr),
      releaseCallback(nullptr),
      releaseUser(nullptr) {}

XBuffer::XBuffer(size_t size) : XBuffer() { XBuffer::Create(size); }

XBuffer& XBuffer::operator=(const XBuffer& other) {
  if (this == &other) return *this;
  // Count the new hold first: `other` may share this object's block, which Release would
  // otherwise free.
  if (other.refCount != nullptr) other.refCount->fetch_add(1, std::memory_order_relaxed);
  Release();
  data = other.data;
  size = other.size;
  refCount = other.refCount;
  releaseCallback = other.releaseCallback;
  releaseUser = other.releaseUser;
  return *this;
}

size_t XBuffer::DataSize() const { return size; }

bool XBuffer::Empty() const { return data == nullptr || DataSize() == 0; }

bool XBuffer::Create(size_t newSize) {
  // Only this object could raise a count of 1, but the other holders' releases that brought
  // it there must happen before the bytes are reused: acquire pairs with their release.
  if (refCount != nullptr && refCount->load(std::memory_order_acquire) <= 1 &&
      newSize <= static_cast<size_t>(reinterpret_cast<char*>(refCount) - data)) {
    size = newSize;
    return true;
  }
  Release();
  buffer_block::Count* count = nullptr;
  char* block = buffer_block::Allocate(newSize, &count);
  if (block == nullptr) return false;
  data = block;
  size = newSize;
  refCount = count;
  return true;
}

void XBuffer::Release() {
  if (refCount != nullptr && refCount->fetch_sub(1, std::memory_order_acq_rel) == 1) {
    FreeBlock();
  }
  data = nullptr;
  size = 0;
  refCount = nullptr;
}

void XBuffer::FreeBlock() {
  if (releaseCallback != nullptr) {
    // Usually called from a destructor, where a throw would end the process: the host's
    // exception is dropped and the block freed all the same.
    try {
      releaseCallback(data, size, releaseUser);
    } catch (...) {
    }
  }
  buffer_block::Free(data, refCount);
}

bool XBuffer::Write(char* source, size_t length, size_t offset) {
  // A size without storage (failed allocation, borrowed null) must not reach memmove.
  if (source == nullptr || data == nullptr || length == 0) return false;
  if (offset > size || length > size - offset) return false;
  std::memmove(data + offset, source, length);
  return true;
}

XBuffer XBuffer::Clone() const {
  XBuffer copy;
  if (Empty()) return copy;
  if (copy.Create(size)) copy.Write(data, size, 0);
  return copy;
}

void XBuffer::CopyTo(XBuffer& target) const {
  if (Empty()) {
    // Nothing to copy: sizing the target would leave it full of uninitialised bytes.
    target.Release();
    return;
  }
  // Read before target.Create: when target is this object, Create may replace `data`.
  char* const source = data;
  const size_t length = size;
  target.Create(length);
  target.Write(source, length, 0);
}

char* XBuffer::Data() { return data; }

const char* XBuffer::Data() const { return data; }

void XBuffer::SetReleaseCallback(ReleaseCallback callback, void* user) {
  releaseCallback = callback;
  releaseUser = user;
}

}  // namespace framework
