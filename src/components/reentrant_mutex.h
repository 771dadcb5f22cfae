#ifndef QUENDEL_COMPONENTS_REENTRANT_MUTEX_H
#define QUENDEL_COMPONENTS_REENTRANT_MUTEX_H

#include <atomic>
#include <mutex>
#include <thread>

namespace framework {

// A recursive mutex built on std::mutex: the owning thread's re-entry only counts, and the
// first lock and last unlock cost what std::mutex costs (std::recursive_mutex costs more).
// A thread reads the owner without the lock: it can only read its own id there when it set
// it itself and has not cleared it since.
class ReentrantMutex {
 public:
  void lock() {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }
  void unlock() {
    if (--depth_ != 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // changed by the owner only
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_REENTRANT_MUTEX_H
