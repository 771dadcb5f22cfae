#include "containers/x_vector_block.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace framework {
namespace vector_detail {
namespace {

constexpr std::uint64_t kAlignedFrom = 4096;
constexpr std::uintptr_t kAlignment = 32;
// Room to move the start up to the boundary and to keep the true start just below it.
constexpr std::uint64_t kAlignmentSlack = kAlignment - 1 + sizeof(void*);
// No block may be larger than pointer differences can describe.
constexpr std::uint64_t kLargestRequest = PTRDIFF_MAX - kAlignmentSlack;

}  // namespace

void* AllocateBlock(std::uint64_t bytes) {
  if (bytes > kLargestRequest) throw std::bad_alloc();
  if (bytes < kAlignedFrom) return ::operator new(static_cast<std::size_t>(bytes));
  void* raw = ::operator new(static_cast<std::size_t>(bytes + kAlignmentSlack));
  const std::uintptr_t start =
      (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + kAlignment - 1) & ~(kAlignment - 1);
  void* block = reinterpret_cast<void*>(start);
  static_cast<void**>(block)[-1] = raw;
  return block;
}

void FreeBlock(void* block, std::uint64_t bytes) {
  if (bytes < kAlignedFrom) {
    ::operator delete(block);
  } else {
    ::operator delete(static_cast<void**>(block)[-1]);
  }
}

void ThrowTooLong() { throw std::length_error("vector too long"); }

void ThrowBadSubscript() { throw std::out_of_range("invalid vector subscript"); }

}  // namespace vector_detail
}  // namespace framework
