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

// A factory shared by threads that create, query and release the same and different ids,
// so that last releases happen on threads other than the creating one.
constexpr std::array<const char*, 3> kIds = {"stress.a", "stress.b", "stress.nested"};
constexpr char kProbeId[] = "stress.probe";  // answered by every live instance
constexpr int kAlive = 0x51ab1e;

struct IProbe : framework::CTUnknown {
  virtual int Magic() = 0;
};

struct Census {
  std::atomic<int> constructed{0};
  std::atomic<int> destroyed{0};
  std::atomic<int> handedOutDestroyed{0};
} census;

class Probe : public IProbe, public framework::CTComponentUnknown {
 public:
  Probe(framework::CTComponentFactory* factory, const char* id)
      : CTComponentUnknown(nullptr, factory), id_(id) {
    census.constructed.fetch_add(1);
  }
  ~Probe() override {
    EXPECT_EQ(magic_, kAlive);
    magic_ = 0;
    census.destroyed.fetch_add(1);
    if (handedOut_.load()) census.handedOutDestroyed.fetch_add(1);
  }
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, id_) != 0 && std::strcmp(id, kProbeId) != 0) return -1;
    handedOut_.store(true);
    return framework::RefComponentInterface(static_cast<IProbe*>(this), object);
  }
  int Magic() override { return magic_; }

 private:
  const char* id_;
  std::atomic<bool> handedOut_{false};
  int magic_ = kAlive;
};

template <int Index>
framework::CTComponentUnknown* CreateProbe(framework::CTComponentFactory* factory) {
  if (Index == 2) {
    // A creator that uses the factory it is called by.
    void* other = nullptr;
    if (factory->CreateComponent(kIds[0], &other) == 0) static_cast<IProbe*>(other)->Release();
  }
  return new Probe(factory, kIds[Index]);
}

void StressRegistry(framework::TWrap<framework::ComponentInfo>** entries, std::size_t* count) {
  static framework::TWrap<framework::ComponentInfo> list[3];
  constexpr framework::ComponentCreator creators[] = {&CreateProbe<0>, &CreateProbe<1>,
                                                      &CreateProbe<2>};
  for (std::size_t i = 0; i < 3; ++i) {
    auto* info = new framework::ComponentInfo;
    info->name = kIds[i];
    info->id = kIds[i];
    info->creator = creators[i];
    list[i] = {info};
  }
  *entries = list;
  *count = 3;
}

// Who holds which instance of an id: two holders at one time must hold the same instance.
struct Holders {
  std::mutex mutex;
  IProbe* instance = nullptr;
  int count = 0;
  int conflicts = 0;
};

TEST(ComponentConcurrencyTest, FactorySharedByThreadsHandsOutOneLiveInstancePerId) {
  quendel::test::LogCapture log;
  framework::CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
  factory->RegistryComponent(&StressRegistry);
  std::array<Holders, kIds.size()> holders;
  std::atomic<int> failures{0};

  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    threads.emplace_back([&, seed] {
      std::mt19937 random(seed);
      std::vector<std::pair<std::size_t, IProbe*>> held;
      for (int round = 0; round < 3000; ++round) {
        const std::size_t which = random() % kIds.size();
        void* object = nullptr;
        if (random() % 4 == 0) {
          // A foreign query reaches any live instance, never a dying one.
          if (factory->QueryInterface(kProbeId, &object) == 0) {
            if (static_cast<IProbe*>(object)->Magic() != kAlive) failures.fetch_add(1);
            static_cast<IProbe*>(object)->Release();
          }
        } else if (factory->CreateComponent(kIds[which], &object) == 0) {
          auto* probe = static_cast<IProbe*>(object);
          if (probe->Magic() != kAlive) failures.fetch_add(1);
          Holders& slot = holders[which];
          {
            std::lock_guard<std::mutex> lock(slot.mutex);
            if (slot.count > 0 && slot.instance != probe) ++slot.conflicts;
            slot.instance = probe;
            ++slot.count;
          }
          held.emplace_back(which, probe);
        } else {
          failures.fetch_add(1);
        }
        // Keep up to two references a while, so releases cross threads and rounds.
        while (held.size() > random() % 3) {
          auto [index, probe] = held.front();
          held.erase(held.begin());
          {
            std::lock_guard<std::mutex> lock(holders[index].mutex);
            --holders[index].count;
          }
          probe->Release();
        }
      }
      for (auto [index, probe] : held) {
        {
          std::lock_guard<std::mutex> lock(holders[index].mutex);
          --holders[index].count;
        }
        probe->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failures.load(), 0);
  for (Holders& slot : holders) EXPECT_EQ(slot.conflicts, 0);
  factory->Release();
  EXPECT_EQ(census.destroyed.load(), census.constructed.load());
  EXPECT_EQ(log.Count("][163] release component. "), census.handedOutDestroyed.load());
  EXPECT_EQ(log.Count("wait release component. count:0"), 1);
}

}  // namespace
