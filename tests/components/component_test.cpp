// The provider module's two ways of writing a counter against each other, and a factory shared
// by threads and ended with instances that hold each other.
#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/module_loader.h"

using framework::CreateRef;
using framework::CTComponentFactory;
using framework::QueryRef;
using framework::TRef;
using paired::ICounter;
namespace qt = quendel::test;

namespace {

const std::string kReleaseLine = qt::ReleasedLines("", "")[1];

int Count(framework::CTUnknown* object) {  // read without changing it
  const int count = object->AddRef();
  return object->Release(), count - 1;
}

// While set, the log callback creates the counter again when a release is logged.
CTComponentFactory* reenter = nullptr;
void* fresh = nullptr;
void Reenter(const char* line, void*) {
  if (reenter && !fresh && std::strstr(line, kReleaseLine.c_str()))
    reenter->CreateComponent("paired.counter", &fresh);
}

// What a host observes of one way of writing, TRef's counting included.
std::string Trace(framework::ComponentRegistryFunc registry) {
  std::string trace;
  auto note = [&trace](std::initializer_list<int> values) {
    for (int value : values) trace += std::to_string(value) + " ";
    trace += "| ";
  };
  framework::SetLogoutCallback(&Reenter, nullptr);
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(registry);
  auto counter = CreateRef<ICounter>(factory), again = CreateRef<ICounter>(factory);
  note({counter == again, Count(counter.Get()), counter->Increment(), again->Increment()});
  TRef<ICounter> copy(counter), moved(std::move(again));  // a copy adds, a move does not
  note({Count(counter.Get()), !again});
  copy = std::move(moved);
  note({Count(counter.Get()), !moved});
  moved = copy;
  ICounter* raw = moved.Detach();
  note({Count(raw), !moved});
  moved = TRef<ICounter>::Adopt(raw);
  note({Count(raw), moved != counter});
  note({factory->CreateComponent("paired.counter", moved.Out()), Count(raw)});
  note({factory->CreateComponent("paired.absent", moved.Out()), !moved, Count(raw)});
  note({!QueryRef<ICounter>(counter, "paired.absent"),
        !QueryRef<ICounter>(static_cast<ICounter*>(nullptr)),
        !CreateRef<ICounter>(TRef<CTComponentFactory>()), Count(raw),
        QueryRef<ICounter>(factory) == counter, QueryRef<CTComponentFactory>(factory) == factory});
  reenter = factory.Get();
  copy = nullptr;
  counter.Reset();
  reenter = nullptr;
  auto* remade = static_cast<ICounter*>(std::exchange(fresh, nullptr));
  note({remade != nullptr, remade ? remade->Increment() : 0});  // a new counter counts from 0
  factory = nullptr;  // the factory's end destroys the remade counter
  framework::SetLogoutCallback(nullptr, nullptr);
  return trace;
}

TEST(ProvidersTest, HelperWrittenCounterBehavesExactlyLikeTheHandWrittenOne) {
  qt::LoadedModule module("test_providers");
  ASSERT_TRUE(module.Get<void*>("HandRegistry")) << module.Error();
  const std::string hand = Trace(module.Get<framework::ComponentRegistryFunc>("HandRegistry"));
  EXPECT_EQ(Trace(module.Get<framework::ComponentRegistryFunc>("HelperRegistry")), hand);
  EXPECT_EQ(hand, "1 2 1 2 | 3 1 | 2 1 | 3 1 | 3 0 | 0 3 | -1 1 2 | 1 1 1 2 1 1 | 1 1 | ");
}

// A provider's own line goes through the host's callback in the library's layout.
TEST(ProvidersTest, AProviderWritesItsOwnLinesThroughTheHostsOutput) {
  qt::LoadedModule module("test_providers");
  auto logFromProvider = module.Get<int (*)()>("LogFromProvider");
  ASSERT_TRUE(logFromProvider) << module.Error();
  qt::LogCapture log;
  const int line = logFromProvider();
  EXPECT_EQ(log.Texts(), qt::Lines{qt::Tagged("LogFromProvider", line, "from the provider 7")});
}

// A refused query hands out nothing, even when the object wrote its out-pointer anyway.
TEST(ProvidersTest, QueryRefTakesNothingFromARefusal) {
  struct Refusing : framework::CTUnknown {
    int QueryInterface(const char*, void** object) override { return *object = this, -1; }
    int AddRef() override { return 2; }
    int Release() override { return ADD_FAILURE(), 0; }
  } refusing;
  EXPECT_FALSE(QueryRef<ICounter>(&refusing, "paired.counter"));
}

// A base declared before TComponent: its destructor runs after TComponent's.
long countSeenLast = 0;
struct DestroyedLast {
  ~DestroyedLast() { countSeenLast = framework::detail::liveObjects.load(); }
};
struct LateCounter : DestroyedLast, framework::TComponent<ICounter> {
  using TComponent::TComponent;
  int Increment() override { return 0; }
};

// A component counts among its module's live objects until all of it is gone, so that a
// module is never unloaded under a destructor still running.
TEST(ProvidersTest, AComponentCountsUntilItsLastDestructorHasRun) {
  const long before = framework::detail::liveObjects.load();
  auto* counter = new LateCounter(nullptr);
  EXPECT_EQ(framework::detail::liveObjects.load(), before + 1);
  counter->DelegatAddRef();
  counter->DelegatRelease();
  EXPECT_EQ(countSeenLast, before + 1);
  EXPECT_EQ(framework::detail::liveObjects.load(), before);
}

std::atomic<int> made{0}, gone{0}, failures{0};

struct IProbe : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IProbe, "probe");
  virtual void Keep(IProbe* other) = 0;
};

// Answers its id and IProbe's; keeps the probe it is given until it dies.
struct Probe : framework::TComponent<IProbe> {
  explicit Probe(CTComponentFactory* factory) : TComponent(factory) { ++made; }
  ~Probe() override { ++gone; }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, info->id) != 0) return TComponent::DelegatQueryInterface(id, object);
    return framework::RefComponentInterface(static_cast<IProbe*>(this), object);
  }
  void Keep(IProbe* other) override { kept_ = TRef<IProbe>(other); }
  TRef<IProbe> kept_;
};

// A component that takes a lock of its own when asked. Asked on the handshake thread, it
// first waits until another thread holds that lock.
std::recursive_mutex ownLock;
std::atomic<bool> askedInside{false}, lockTaken{false};
std::atomic<std::thread::id> handshakeThread{};
struct Locking : framework::TComponent<IProbe> {
  using TComponent::TComponent;
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::this_thread::get_id() == handshakeThread.load()) {
      askedInside = true;
      while (!lockTaken) std::this_thread::yield();
    }
    std::lock_guard<std::recursive_mutex> lock(ownLock);
    return TComponent::DelegatQueryInterface(id, object);
  }
  void Keep(IProbe*) override {}
};

constexpr const char* kIds[] = {"probe.a", "probe.b"};
QUENDEL_REGISTRY_FUNCTION(ProbeRegistry, framework::Describe<Probe>("a", kIds[0], "1", 0, ""),
                          framework::Describe<Probe>("b", kIds[1], "1", 0, ""),
                          framework::Describe<Locking>("locking", IProbe::kInterfaceId, "1", 0,
                                                       ""));

// Threads share ids and drop the last references to factory-less probes at once. Then two
// probes keep each other: the factory's end destroys the newer, which releases the older,
// whose release of the newer is then ignored.
TEST(ConcurrencyTest, ThreadsShareAFactoryAndEachInstanceDiesOnce) {
  qt::LogCapture log;
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(&ProbeRegistry);
  std::vector<Probe*> loose(64);
  for (Probe*& probe : loose)  // one reference for each thread
    (probe = new Probe(nullptr))->DelegatAddRef(), probe->DelegatAddRef(), probe->DelegatAddRef();
  auto work = [&](unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<const char*, TRef<IProbe>>> held;
    for (int round = 0; round < 2000; ++round) {
      const char* id = kIds[random() % 2];
      if (random() % 4 != 0) held.emplace_back(id, CreateRef<IProbe>(factory, id));
      QueryRef<IProbe>(factory);  // asks live instances only, never a dying one
      for (auto& [heldId, probe] : held) failures += QueryRef<IProbe>(factory, heldId) != probe;
      while (held.size() > random() % 3) held.erase(held.begin());  // maybe the last release
      if (round <= 100)  // each thread's last release at round 100
        for (Probe* probe : loose) (round < 100 && probe->DelegatAddRef()), probe->DelegatRelease();
    }
  };
  std::thread first(work, 1), second(work, 2);
  work(3);
  for (std::thread* thread : {&first, &second}) thread->join();
  EXPECT_EQ(made.load(), gone.load());
  auto a = CreateRef<IProbe>(factory, kIds[0]), b = CreateRef<IProbe>(factory, kIds[1]);
  a->Keep(b.Get());
  b->Keep(a.Get());
  a = b = nullptr;
  factory = nullptr;
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(made.load(), gone.load());
  const qt::Lines lines = log.Texts();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), qt::WaitCountLine(2)), 1);
}

// Ids registered while other threads walk the live instances, enough to rehash the registry.
std::vector<std::string> moreIds;
void MoreRegistry(framework::TWrap<framework::ComponentInfo>** entries, std::size_t* count) {
  static std::vector<framework::TWrap<framework::ComponentInfo>> list;
  list.clear();
  for (const std::string& id : moreIds) {
    auto* info = new framework::ComponentInfo;
    info->id = id.c_str();
    list.push_back({info});
  }
  *entries = list.data();
  *count = list.size();
}

// While the factory asks the component on one thread, another takes the component's lock and
// calls the factory. The factory holds no lock of its own meanwhile, so neither waits for the
// other; then both go on asking while a third thread registers enough ids to rehash.
TEST(ConcurrencyTest, NoFactoryLockIsHeldWhileAComponentIsAsked) {
  qt::LogCapture log;
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(&ProbeRegistry);
  auto held = CreateRef<IProbe>(factory);
  for (int i = 0; i < 300; ++i) moreIds.push_back("more." + std::to_string(i));
  auto keepAsking = [&] {
    for (int round = 0; round < 2000; ++round) {
      failures += !CreateRef<IProbe>(factory);
      // Walks every live instance; none answers.
      failures += static_cast<bool>(QueryRef<IProbe>(factory, "any.other"));
    }
  };
  auto asking = [&] {
    handshakeThread = std::this_thread::get_id();
    failures += !CreateRef<IProbe>(factory);
    handshakeThread = std::thread::id();
    keepAsking();
  };
  auto withLock = [&] {
    while (!askedInside) std::this_thread::yield();
    {
      std::lock_guard<std::recursive_mutex> lock(ownLock);
      lockTaken = true;
      failures += !CreateRef<IProbe>(factory);
    }
    keepAsking();
  };
  auto all = std::async(std::launch::async, [&] {
    std::thread first(asking);
    std::thread second(withLock);
    factory->RegistryComponent(&MoreRegistry);
    first.join();
    second.join();
  });
  if (all.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "deadlock: the factory called the component under its lock";
    std::_Exit(1);
  }
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
