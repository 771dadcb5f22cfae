#include "containers/buffer_block.h"

#include <cstdlib>
#include <new>

namespace framework {
namespace buffer_block {

static_assert(sizeof(Count) == sizeof(std::int32_t) && alignof(Count) <= 4,
              "the count is a plain 32-bit slot at a 4-byte boundary of the block");
static_assert(Count::is_always_lock_free, "copies in other modules share the count");

char* Allocate(std::size_t size, Count** count) {
  *count = nullptr;
  if (size > kMaxSize) return nullptr;
  const std::size_t capacity = Capacity(size);
  char* data = static_cast<char*>(std::malloc(capacity + sizeof(Count)));
  if (data == nullptr) return nullptr;
  *count = new (data + capacity) Count(1);
  return data;
}

void Free(char* data, Count* count) {
  count->~Count();
  std::free(data);
}

}  // namespace buffer_block
}  // namespace framework
