#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> destroyed{0};

class Shared : public framework::CTComponentUnknown {
 public:
  Shared() : CTComponentUnknown(nullptr, nullptr) {}
  ~Shared() override { destroyed.fetch_add(1); }
};

// Threads take and drop references on shared components; each is destroyed exactly once,
// by whichever thread drops the last reference.
TEST(ComponentConcurrencyTest, EachComponentIsDestroyedExactlyOnce) {
  constexpr int kComponents = 64;
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  destroyed = 0;
  std::vector<Shared*> components;
  for (int i = 0; i < kComponents; ++i) {
    components.push_back(new Shared);
    // One reference per thread, handed over before the threads start.
    for (int t = 0; t < kThreads; ++t) components.back()->DelegatAddRef();
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&components] {
      for (int round = 0; round < kRounds; ++round) {
        for (Shared* component : components) {
          component->DelegatAddRef();
          component->DelegatRelease();
        }
      }
      for (Shared* component : components) component->DelegatRelease();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(destroyed.load(), kComponents);
}

}  // namespace
