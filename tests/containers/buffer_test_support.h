#ifndef QUENDEL_TESTS_CONTAINERS_BUFFER_TEST_SUPPORT_H
#define QUENDEL_TESTS_CONTAINERS_BUFFER_TEST_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quendel/x_buffer.h"

namespace quendel {
namespace test {

// What a release callback was handed, call by call.
struct CallbackLog {
  struct Call {
    char* data;
    size_t size;
    void* user;
  };
  std::vector<Call> calls;
};

// A release callback that appends to the CallbackLog given as `user` (if any).
inline void RecordRelease(char* data, size_t size, void* user) {
  if (user != nullptr) static_cast<CallbackLog*>(user)->calls.push_back({data, size, user});
}

// The shared count of the buffer's block; -1 when it has none.
inline std::int32_t Count(const framework::XBuffer& buffer) {
  return buffer.refCount != nullptr ? buffer.refCount->load() : -1;
}

}  // namespace test
}  // namespace quendel

#endif  // QUENDEL_TESTS_CONTAINERS_BUFFER_TEST_SUPPORT_H
