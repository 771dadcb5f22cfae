#ifndef QUENDEL_COMPONENTS_SHARED_COUNT_H
#define QUENDEL_COMPONENTS_SHARED_COUNT_H

#include <atomic>
#include <cstdint>
#include <functional>

namespace framework {

// An atomic reference count whose last release runs `onRelease` exactly once.
//
// ReleaseShared() is the whole release. The factory splits it in two so that it can decide
// "last" under its own lock: ReleaseUnlessLast() drops a reference that cannot be the last
// without any lock, and Drop() then RunRelease() finish the one that may be.
// A cache line of its own, so that threads counting different objects do not share one.
class alignas(64) SharedCount {
 public:
  enum class DropResult { kOthersRemain, kLast, kAlreadyReleased, kRetired };

  explicit SharedCount(std::function<void()> onRelease);
  SharedCount(const SharedCount&) = delete;
  SharedCount& operator=(const SharedCount&) = delete;
  // Destroys `onRelease` without calling it.
  virtual ~SharedCount();

  std::int32_t AddShared() { return count.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Drops one reference. The object may be gone when this returns.
  void ReleaseShared() {
    // As Drop() does, decides on the value the decrement returns.
    if (count.fetch_sub(1, std::memory_order_acq_rel) > 1) return;
    FinishRelease();
  }

  // Drops one reference if others remain after it; false (and nothing dropped) otherwise.
  bool ReleaseUnlessLast() {
    std::int32_t current = count.load(std::memory_order_relaxed);
    while (current > 1) {
      if (count.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel,
                                      std::memory_order_relaxed)) {
        return true;
      }
    }
    return false;
  }
  // Takes the count from 1 back to 0 without a release; false when it is not 1.
  bool UndoRestingPin() {
    std::int32_t one = 1;
    return count.compare_exchange_strong(one, 0, std::memory_order_acq_rel,
                                         std::memory_order_relaxed);
  }
  // Drops one reference and says whether it was the last; runs nothing.
  DropResult Drop();
  // For an object destroyed directly: a later release finds it released and does nothing.
  void Retire() {
    retired.store(true, std::memory_order_relaxed);
    released.store(true, std::memory_order_release);
  }
  // Runs the callback after Drop() said kLast. The object may be gone when this returns.
  void RunRelease();
  // Writes the line for a release that found the count already released.
  static void ReportAlreadyReleased();

 private:
  // After a drop that took the count to zero or below: kLast the first time only, kRetired
  // after Retire().
  DropResult Settle();
  // The rest of a release that took the count to zero or below.
  void FinishRelease();

  std::atomic<std::int32_t> count{0};
  std::atomic<bool> released{false};
  std::atomic<bool> retired{false};
  std::function<void()> onRelease;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_SHARED_COUNT_H
