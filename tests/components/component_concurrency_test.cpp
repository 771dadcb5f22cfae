// Threads share components and a factory: each component is destroyed exactly once, by
// whichever thread drops its last reference, and the factory keeps one live instance per id.
#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/log_lines.h"

namespace {

std::atomic<int> sharedDestroyed{0};

class Shared : public framework::CTComponentUnknown {
 public:
  Shared() : CTComponentUnknown(nullptr, nullptr) {}
  ~Shared() override { sharedDestroyed.fetch_add(1); }
};

TEST(ComponentConcurrencyTest, EachComponentIsDestroyedExactlyOnce) {
  constexpr int kComponents = 64, kThreads = 4;
  std::vector<Shared*> components(kComponents);
  for (Shared*& component : components) {
    component = new Shared;
    for (int t = 0; t < kThreads; ++t) component->DelegatAddRef();  // one per thread
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&components] {
      for (int round = 0; round < 200; ++round) {
        for (Shared* component : components) component->DelegatAddRef();
        for (Shared* component : components) component->DelegatRelease();
      }
      for (Shared* component : components) component->DelegatRelease();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(sharedDestroyed.load(), kComponents);
}

constexpr std::array<const char*, 3> kIds = {"stress.a", "stress.b", "stress.nested"};
constexpr char kProbeId[] = "stress.probe";  // answered by every live instance
constexpr int kAlive = 0x51ab1e;

struct IProbe : framework::CTUnknown {
  virtual int Magic() = 0;
};

std::atomic<int> constructed{0}, destroyed{0}, handedOutDestroyed{0}, failures{0};

class Probe : public IProbe, public framework::CTComponentUnknown {
 public:
  explicit Probe(framework::CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {
    constructed.fetch_add(1);
  }
  ~Probe() override {
    if (magic_ != kAlive) failures.fetch_add(1);
    magic_ = 0;
    destroyed.fetch_add(1);
    if (handedOut_.load()) handedOutDestroyed.fetch_add(1);
  }
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, info->id) != 0 && std::strcmp(id, kProbeId) != 0) return -1;
    handedOut_.store(true);
    return framework::RefComponentInterface(static_cast<IProbe*>(this), object);
  }
  int Magic() override { return magic_; }

 private:
  std::atomic<bool> handedOut_{false};
  int magic_ = kAlive;
};

// Made by a creator that uses the factory it is called by.
struct Nested : Probe {
  explicit Nested(framework::CTComponentFactory* factory) : Probe(factory) {
    void* other = nullptr;
    if (factory->CreateComponent(kIds[0], &other) == 0) static_cast<IProbe*>(other)->Release();
  }
};

QUENDEL_REGISTRY_FUNCTION(StressRegistry, framework::Describe<Probe>("a", kIds[0], "1", 0, ""),
                          framework::Describe<Probe>("b", kIds[1], "1", 0, ""),
                          framework::Describe<Nested>("nested", kIds[2], "1", 0, ""));

// Who holds the instance of an id: two holders at one time must hold the same one.
struct Slot {
  std::mutex mutex;
  IProbe* instance = nullptr;
  int holders = 0, conflicts = 0;
};

TEST(ComponentConcurrencyTest, FactorySharedByThreadsHandsOutOneLiveInstancePerId) {
  quendel::test::LogCapture log;
  framework::CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
  factory->RegistryComponent(&StressRegistry);
  std::array<Slot, kIds.size()> slots;
  auto drop = [&slots](std::pair<std::size_t, IProbe*> held) {
    {
      std::lock_guard<std::mutex> lock(slots[held.first].mutex);
      --slots[held.first].holders;
    }
    held.second->Release();  // possibly the last, while other threads create the id
  };
  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    threads.emplace_back([&, seed] {
      std::mt19937 random(seed);
      std::vector<std::pair<std::size_t, IProbe*>> held;
      for (int round = 0; round < 3000; ++round) {
        const std::size_t which = random() % kIds.size();
        void* object = nullptr;
        if (random() % 4 == 0) {
          // A foreign query reaches a live instance, never a dying one.
          if (factory->QueryInterface(kProbeId, &object) == 0) {
            if (static_cast<IProbe*>(object)->Magic() != kAlive) failures.fetch_add(1);
            static_cast<IProbe*>(object)->Release();
          }
        } else if (factory->CreateComponent(kIds[which], &object) == 0) {
          auto* probe = static_cast<IProbe*>(object);
          if (probe->Magic() != kAlive) failures.fetch_add(1);
          std::lock_guard<std::mutex> lock(slots[which].mutex);
          if (slots[which].holders++ > 0 && slots[which].instance != probe) {
            ++slots[which].conflicts;
          }
          slots[which].instance = probe;
          held.emplace_back(which, probe);
        } else {
          failures.fetch_add(1);
        }
        // Up to two references kept a while, so that releases cross threads and rounds.
        while (held.size() > random() % 3) {
          drop(held.front());
          held.erase(held.begin());
        }
      }
      for (auto entry : held) drop(entry);
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failures.load(), 0);
  for (Slot& slot : slots) EXPECT_EQ(slot.conflicts, 0);
  factory->Release();
  EXPECT_EQ(destroyed.load(), constructed.load());
  EXPECT_EQ(log.Count(quendel::test::ReleasedLines("", "")[1]), handedOutDestroyed.load());
  EXPECT_EQ(log.Count(quendel::test::WaitCountLine(0)), 1);
}

}  // namespace
