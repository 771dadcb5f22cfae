#include <atomic>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <thread>

#include "logging/log_message.h"
#include "quendel/log.h"

namespace base {
namespace {

// The process-wide output: a callback and its user pointer, null for standard output. Every
// line reads the pair without a lock (a sequence lock: the version is odd while a replacement
// writes it, and a reader that saw it change reads again), so lines never wait for each other
// here and a replacement may happen while other threads log.
struct Output {
  framework::LogoutCallback callback;
  void* user;
};
std::atomic<std::uint32_t> version{0};
std::atomic<framework::LogoutCallback> callback{nullptr};
std::atomic<void*> user{nullptr};
std::mutex replacing;  // one replacement at a time

Output CurrentOutput() {
  for (;;) {
    const std::uint32_t before = version.load(std::memory_order_acquire);
    const Output output{callback.load(std::memory_order_relaxed),
                        user.load(std::memory_order_relaxed)};
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((before & 1) == 0 && version.load(std::memory_order_relaxed) == before) return output;
    std::this_thread::yield();
  }
}

void ReplaceOutput(framework::LogoutCallback newCallback, void* newUser) {
  std::lock_guard<std::mutex> lock(replacing);
  const std::uint32_t before = version.load(std::memory_order_relaxed);
  version.store(before + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  callback.store(newCallback, std::memory_order_relaxed);
  user.store(newUser, std::memory_order_relaxed);
  version.store(before + 2, std::memory_order_release);
}

}  // namespace

void WriteLine(char* line, std::size_t size) noexcept {
  const Output output = CurrentOutput();
  // The output is the host's code, called from a destructor: anything it throws would end the
  // process, so the line is dropped instead.
  try {
    if (output.callback != nullptr) {
      output.callback(line, output.user);
      return;
    }
    // One write for the line and its newline, so lines from two threads never interleave.
    line[size] = '\n';
    std::cout.write(line, static_cast<std::streamsize>(size + 1)).flush();
  } catch (...) {
  }
}

}  // namespace base

namespace framework {

void SetLogoutCallback(LogoutCallback callback, void* user) {
  base::ReplaceOutput(callback, callback != nullptr ? user : nullptr);
}

}  // namespace framework
