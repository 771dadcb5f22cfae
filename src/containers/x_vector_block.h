#ifndef QUENDEL_CONTAINERS_X_VECTOR_BLOCK_H
#define QUENDEL_CONTAINERS_X_VECTOR_BLOCK_H

#include <cstdint>

namespace framework {
namespace vector_detail {

// Element blocks come from the global allocation function. Blocks of 4096 bytes or more
// start on a 32-byte boundary; FreeBlock must be given the same byte count to find the
// allocation's true start again. Requests too large for any block throw std::bad_alloc.
void* AllocateBlock(std::uint64_t bytes);
void FreeBlock(void* block, std::uint64_t bytes);

// std::length_error "vector too long".
[[noreturn]] void ThrowTooLong();
// std::out_of_range "invalid vector subscript".
[[noreturn]] void ThrowBadSubscript();

}  // namespace vector_detail
}  // namespace framework

#endif  // QUENDEL_CONTAINERS_X_VECTOR_BLOCK_H
