// The provider module's two ways of writing a counter against each other, and factories
// shared by threads, used from their log callback and ended with instances that hold others.
#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/module_loader.h"

using framework::CreateRef;
using framework::CTComponentFactory;
using framework::TRef;
using paired::ICounter;
namespace qt = quendel::test;

namespace {

const std::string kReleaseLine = qt::ReleasedLines("", "")[1];

int Count(framework::CTUnknown* object) {  // read without changing it
  const int count = object->AddRef();
  object->Release();
  return count - 1;
}

// What a host observes of one way of writing: results, counts, identities, constructions and
// destructions, and the log, whose callback creates the counter again during its last release.
qt::Lines Trace(framework::ComponentRegistryFunc registry, const paired::Lives& lives) {
  struct Log {
    qt::Lines lines;
    CTComponentFactory* factory = nullptr;
    void* fresh = nullptr;
  } log;
  framework::SetLogoutCallback(
      [](const char* line, void* user) {
        auto* log = static_cast<Log*>(user);
        log->lines.emplace_back(line + 13);
        if (log->factory && !log->fresh && log->lines.back().find(kReleaseLine) == 0) {
          log->factory->CreateComponent("paired.counter", &log->fresh);
        }
      },
      &log);
  const paired::Lives before = lives;
  qt::Lines trace;
  auto note = [&trace](const char* what, std::initializer_list<int> values) {
    trace.emplace_back(what);
    for (int value : values) trace.back() += " " + std::to_string(value);
  };
  auto factory = framework::CreateFactoryRef(), other = framework::CreateFactoryRef();
  factory->RegistryComponent(registry);
  other->RegistryComponent(registry);  // descriptions of its own
  auto counter = CreateRef<ICounter>(factory), again = CreateRef<ICounter>(factory);
  note("one instance, two references", {counter == again, Count(counter.Get())});
  auto reset = framework::QueryRef<paired::IReset>(counter);
  note("increments", {counter->Increment(), (reset->Reset(), counter->Increment())});
  note("the factory finds the reset", {framework::QueryRef<paired::IReset>(factory) == reset});
  TRef<ICounter> copy(counter), moved(std::move(again));
  note("copy adds, move does not", {Count(counter.Get()), !again});
  copy = std::move(moved);
  note("move assignment drops one", {Count(counter.Get()), !moved});
  moved = copy;
  ICounter* raw = moved.Detach();
  note("copy assignment adds, detach keeps", {Count(raw), !moved});
  moved = TRef<ICounter>::Adopt(raw);
  note("adopt keeps", {Count(raw), moved != counter});
  note("out", {factory->CreateComponent("paired.counter", moved.Out()), Count(raw)});
  note("out of a failed call", {factory->CreateComponent("paired.absent", moved.Out()), !moved});
  note("empty on failure", {!framework::QueryRef<ICounter>(counter, "paired.absent"),
                            !framework::QueryRef<ICounter>(static_cast<ICounter*>(nullptr)),
                            !CreateRef<ICounter>(TRef<CTComponentFactory>()), Count(raw)});
  note("the factory by its own id", {framework::QueryRef<CTComponentFactory>(factory) == factory,
                                     framework::CreateComponentFactory(other.Out())});
  note("a new factory", {other != nullptr, other != factory});
  log.factory = factory.Get();
  copy = nullptr;
  reset = nullptr;
  counter.Reset();
  auto* fresh = static_cast<ICounter*>(log.fresh);
  note("fresh after the last release", {lives.destroyed - before.destroyed, fresh != raw,
                                        fresh != nullptr ? fresh->Increment() : 0});
  log.factory = nullptr;
  factory = other = nullptr;  // the factory's end destroys the fresh counter
  framework::SetLogoutCallback(nullptr, nullptr);
  note("made, destroyed",
       {lives.constructed - before.constructed, lives.destroyed - before.destroyed});
  trace.insert(trace.end(), log.lines.begin(), log.lines.end());
  return trace;
}

TEST(ProvidersTest, HelperWrittenCounterBehavesExactlyLikeTheHandWrittenOne) {
  qt::LoadedModule module(qt::ProviderPath("test_providers"));
  ASSERT_TRUE(module.Loaded()) << module.Error();
  const paired::Lives& lives = *module.Get<paired::Lives* (*)()>("ProviderLives")();
  const qt::Lines hand = Trace(module.Get<framework::ComponentRegistryFunc>("HandRegistry"), lives);
  const qt::Lines helper =
      Trace(module.Get<framework::ComponentRegistryFunc>("HelperRegistry"), lives);
  EXPECT_EQ(hand, helper);
  // The scenario did what it is meant to, so that the comparison means something.
  const qt::Lines expected = {"one instance, two references 1 2",
                              "increments 1 1",
                              "the factory finds the reset 1",
                              "copy adds, move does not 4 1",
                              "move assignment drops one 3 1",
                              "copy assignment adds, detach keeps 4 1",
                              "adopt keeps 4 0",
                              "out 0 4",
                              "out of a failed call -1 1",
                              "empty on failure 1 1 1 3",
                              "the factory by its own id 1 0",
                              "a new factory 1 1",
                              "fresh after the last release 1 1 1",
                              "made, destroyed 2 2"};
  ASSERT_GT(helper.size(), expected.size());
  EXPECT_EQ(qt::Lines(helper.begin(), helper.begin() + expected.size()), expected);
  EXPECT_EQ(helper.back(), qt::WaitCountLine(1));
}

std::atomic<int> constructed{0}, destroyed{0}, wereLive{0}, failures{0};
constexpr int kAlive = 0x51ab1e;
constexpr const char* kIds[] = {"probe.a", "probe.b", "probe.nested"};

struct IProbe : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IProbe, "probe");
  virtual int Magic() = 0;
  virtual void Keep(IProbe* other) = 0;
};

// Answers its id and IProbe's; when destroyed, releases the probe it keeps unless that one
// went first.
class Probe : public framework::TComponent<IProbe> {
 public:
  explicit Probe(CTComponentFactory* factory) : TComponent(factory) { ++constructed; }
  ~Probe() override {
    failures += magic_ != kAlive;
    magic_ = 0;
    ++destroyed;
    wereLive += asked_;
    if (keptBy_ != nullptr) keptBy_->kept_ = nullptr;
    if (kept_ != nullptr) kept_->keptBy_ = nullptr, kept_->Release();
  }
  int DelegatQueryInterface(const char* id, void** object) override {
    asked_ = true;  // only the factory's live instances are asked
    if (std::strcmp(id, info->id) != 0) return TComponent::DelegatQueryInterface(id, object);
    return framework::RefComponentInterface(static_cast<IProbe*>(this), object);
  }
  int Magic() override { return magic_; }
  void Keep(IProbe* other) override {
    (kept_ = static_cast<Probe*>(other))->keptBy_ = this;
    other->AddRef();
  }

 private:
  std::atomic<bool> asked_{false};
  int magic_ = kAlive;
  Probe *kept_ = nullptr, *keptBy_ = nullptr;
};

struct Nested : Probe {  // made by a creator that uses the factory it is called by
  explicit Nested(CTComponentFactory* factory) : Probe(factory) {
    CreateRef<IProbe>(factory, kIds[0]);
  }
};

QUENDEL_REGISTRY_FUNCTION(ProbeRegistry, framework::Describe<Probe>("a", kIds[0], "1", 0, ""),
                          framework::Describe<Probe>("b", kIds[1], "1", 0, ""),
                          framework::Describe<Nested>("nested", kIds[2], "1", 0, ""));

// Threads drop references to the same probes, the last ones at once: each dies exactly once.
TEST(ConcurrencyTest, EachComponentIsDestroyedExactlyOnce) {
  framework::ComponentInfo info;  // described, but made by no factory
  std::vector<Probe*> probes(64);
  for (Probe*& probe : probes) {
    (probe = new Probe(nullptr))->SetInfo(&info);
    for (int thread = 0; thread < 4; ++thread) probe->DelegatAddRef();
  }
  const int gone = destroyed;
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&probes] {
      for (int round = 0; round < 200; ++round) {
        for (Probe* probe : probes) probe->DelegatAddRef();
        for (Probe* probe : probes) probe->DelegatRelease();
      }
      for (Probe* probe : probes) probe->DelegatRelease();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(destroyed - gone, 64);
  EXPECT_EQ(failures, 0);
}

// Who holds the instance of an id: two holders at one time must hold the same one.
struct Slot {
  std::mutex mutex;
  IProbe* instance = nullptr;
  int holders = 0, conflicts = 0;
};

TEST(ConcurrencyTest, FactorySharedByThreadsHandsOutOneLiveInstancePerId) {
  qt::LogCapture log;
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(&ProbeRegistry);
  const int made = constructed, gone = destroyed, live = wereLive;
  std::array<Slot, 3> slots;
  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    threads.emplace_back([&, seed] {
      std::mt19937 random(seed);
      std::vector<std::pair<Slot*, TRef<IProbe>>> held;
      auto drop = [&held] {
        std::unique_lock<std::mutex> lock(held.front().first->mutex);
        --held.front().first->holders;
        lock.unlock();
        held.erase(held.begin());  // possibly the last release, while others create the id
      };
      for (int round = 0; round < 3000; ++round) {
        const std::size_t which = random() % 3;
        if (random() % 4 == 0) {  // reaches a live instance, never a dying one
          auto any = framework::QueryRef<IProbe>(factory);
          failures += any && any->Magic() != kAlive;
        } else if (auto probe = CreateRef<IProbe>(factory, kIds[which]); probe) {
          std::lock_guard<std::mutex> lock(slots[which].mutex);
          slots[which].conflicts +=
              slots[which].holders++ > 0 && slots[which].instance != probe.Get();
          slots[which].instance = probe.Get();
          failures += probe->Magic() != kAlive;
          held.emplace_back(&slots[which], std::move(probe));
        } else {
          ++failures;
        }
        while (held.size() > random() % 3) drop();  // kept a while, so releases cross threads
      }
      while (!held.empty()) drop();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  for (Slot& slot : slots) EXPECT_EQ(slot.conflicts, 0);
  factory = nullptr;
  EXPECT_EQ(constructed - made, destroyed - gone);
  EXPECT_EQ(log.Count(kReleaseLine), wereLive - live);
  EXPECT_EQ(log.Count(qt::WaitCountLine(0)), 1);
}

// Whichever of two probes that keep each other the factory's end destroys first releases the
// other, which it must then not destroy again.
TEST(ConcurrencyTest, InstanceReleasedByASiblingsDestructorIsDestroyedOnce) {
  CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
  factory->RegistryComponent(&ProbeRegistry);
  IProbe* a = CreateRef<IProbe>(factory, kIds[0]).Detach();
  IProbe* b = CreateRef<IProbe>(factory, kIds[1]).Detach();
  a->Keep(b);
  b->Keep(a);
  a->Release();
  b->Release();
  const int gone = destroyed;
  qt::LogCapture log;
  factory->Release();
  EXPECT_EQ(destroyed - gone, 2);
  EXPECT_EQ(log.Count(kReleaseLine), 1);
  EXPECT_EQ(failures, 0);
}

}  // namespace
