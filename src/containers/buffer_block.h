#ifndef QUENDEL_CONTAINERS_BUFFER_BLOCK_H
#define QUENDEL_CONTAINERS_BUFFER_BLOCK_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace framework {
namespace buffer_block {

using Count = std::atomic<std::int32_t>;

// The largest size whose block of r + 4 bytes fits: the capacity is a pointer difference,
// so a block may not exceed PTRDIFF_MAX (no allocator hands out more anyway).
constexpr std::size_t kMaxSize = static_cast<std::size_t>(PTRDIFF_MAX) - 7;

// `size` rounded up to a multiple of 4: where the count sits and what the block can hold.
constexpr std::size_t Capacity(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

// A malloc block for `size` bytes with its count (set to 1) at byte Capacity(size), or
// null when the size is out of range or the allocation fails.
char* Allocate(std::size_t size, Count** count);

// Frees a block made by Allocate.
void Free(char* data, Count* count);

}  // namespace buffer_block
}  // namespace framework

#endif  // QUENDEL_CONTAINERS_BUFFER_BLOCK_H
