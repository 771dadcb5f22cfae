#ifndef QUENDEL_COMPONENTS_SHARED_COUNT_H
#define QUENDEL_COMPONENTS_SHARED_COUNT_H

#include <atomic>
#include <cstdint>
#include <functional>

namespace framework {

// An atomic reference count whose last release runs `onRelease` exactly once.
class SharedCount {
 public:
  explicit SharedCount(std::function<void()> onRelease);
  SharedCount(const SharedCount&) = delete;
  SharedCount& operator=(const SharedCount&) = delete;
  // Destroys `onRelease` without calling it.
  virtual ~SharedCount();

  std::int32_t AddShared() { return count.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Drops one reference. The object may be gone when this returns.
  void ReleaseShared();

  std::int32_t Count() const { return count.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::int32_t> count{0};
  std::atomic<bool> released{false};
  std::function<void()> onRelease;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_SHARED_COUNT_H
