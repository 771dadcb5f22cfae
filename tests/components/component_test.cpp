#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/module_loader.h"

using framework::CTComponentFactory;
using framework::CTUnknown;
using framework::TRef;
namespace qt = quendel::test;

namespace {

class Providers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module.Loaded()) << module.Error(); }
  framework::ComponentRegistryFunc Registry(bool helpers) {
    return module.Get<framework::ComponentRegistryFunc>(helpers ? "HelperRegistry"
                                                                : "HandRegistry");
  }
  paired::Lives& Lives(bool helpers) {
    return *module.Get<paired::LivesFunc>("ProviderLives")(helpers);
  }

  qt::LoadedModule module{qt::ProviderPath("test_providers")};
};

// Everything a host observes of one way of writing the components: results, counts,
// identities, the module's constructions and destructions, and the log.
qt::Lines Trace(framework::ComponentRegistryFunc registry, const paired::Lives& lives) {
  qt::Lines trace;
  auto note = [&trace](const char* what, int value) {
    trace.push_back(what + ("=" + std::to_string(value)));
  };
  const paired::Lives before = lives;
  qt::LogCapture log;
  auto factory = framework::CreateFactoryRef();
  auto other = framework::CreateFactoryRef();  // with descriptions of its own
  factory->RegistryComponent(registry);
  other->RegistryComponent(registry);
  void *first = nullptr, *second = nullptr, *reset = nullptr, *found = nullptr;
  note("create", factory->CreateComponent("paired.counter", &first));
  note("create again", factory->CreateComponent("paired.counter", &second));
  note("same instance", first == second);
  auto* counter = static_cast<paired::ICounter*>(first);
  note("increment", counter->Increment());
  note("addref", counter->AddRef());
  note("release", counter->Release());
  note("query reset", counter->QueryInterface("paired.reset", &reset));
  static_cast<paired::IReset*>(reset)->Reset();
  note("increment after reset", counter->Increment());
  void* untouched = &trace;
  note("query upper case", counter->QueryInterface("PAIRED.COUNTER", &untouched));
  note("query absent", counter->QueryInterface("paired.absent", &untouched));
  note("untouched", untouched == &trace);
  note("factory query", factory->QueryInterface("paired.reset", &found));
  note("found the live reset", found == reset);
  note("count", counter->AddRef());
  for (int i = 0; i < 5; ++i) counter->Release();
  note("counters destroyed", lives.destroyed - before.destroyed);
  void *outer = nullptr, *inner = nullptr;
  note("create aggregate", factory->CreateComponent("paired.aggregate", &outer));
  note("query inner",
       static_cast<paired::IGreeter*>(outer)->QueryInterface("paired.counter", &inner));
  note("inner increments", static_cast<paired::ICounter*>(inner)->Increment());
  note("inner counts on the outer", static_cast<paired::ICounter*>(inner)->AddRef());
  static_cast<paired::ICounter*>(inner)->Release();
  static_cast<paired::ICounter*>(inner)->Release();
  trace.push_back(static_cast<paired::IGreeter*>(outer)->Greeting());
  factory.Reset();  // reports and destroys the live aggregate
  other.Reset();
  note("constructed", lives.constructed - before.constructed);
  note("destroyed", lives.destroyed - before.destroyed);
  for (const std::string& line : log.Texts()) trace.push_back(line);
  return trace;
}

TEST_F(Providers, HelperWrittenComponentsBehaveExactlyLikeHandWrittenOnes) {
  const qt::Lines hand = Trace(Registry(false), Lives(false));
  const qt::Lines helper = Trace(Registry(true), Lives(true));
  EXPECT_EQ(hand, helper);
  // The scenario did what it is meant to, so the comparison means something.
  qt::Lines expected = {"create=0",
                        "create again=0",
                        "same instance=1",
                        "increment=1",
                        "addref=3",
                        "release=0",
                        "query reset=0",
                        "increment after reset=1",
                        "query upper case=-1",
                        "query absent=-1",
                        "untouched=1",
                        "factory query=0",
                        "found the live reset=1",
                        "count=5",
                        "counters destroyed=1",
                        "create aggregate=0",
                        "query inner=0",
                        "inner increments=1",
                        "inner counts on the outer=3",
                        "aggregate",
                        "constructed=3",
                        "destroyed=3"};
  for (int i = 0; i < 2; ++i) {
    for (const qt::Lines& lines :
         {qt::RegisteredLines("Counter", "paired.counter", "1.0", 1, "counts"),
          qt::RegisteredLines("Aggregate", "paired.aggregate", "2.0", -2, "aggregates")}) {
      expected.insert(expected.end(), lines.begin(), lines.end());
    }
  }
  for (const std::string& line : qt::ReleasedLines("Counter", "paired.counter")) {
    expected.push_back(line);
  }
  for (const std::string& line :
       {qt::FactoryEndLine(), qt::WaitingLine("paired.aggregate", "Aggregate"),
        qt::WaitCountLine(1), qt::FactoryEndLine(), qt::WaitCountLine(0)}) {
    expected.push_back(line);
  }
  EXPECT_EQ(helper, expected);
}

// A count, read without changing it.
int Count(CTUnknown* object) {
  const int count = object->AddRef();
  object->Release();
  return count - 1;
}

TEST_F(Providers, TRefCountsCopiesNotMovesAndIsEmptyWhenACallFails) {
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(Registry(false));
  TRef<paired::ICounter> a = framework::CreateRef<paired::ICounter>(factory);
  ASSERT_TRUE(a != nullptr);
  EXPECT_EQ(Count(a.Get()), 1);
  TRef<paired::ICounter> b(a);
  TRef<paired::ICounter> c(std::move(b));
  EXPECT_TRUE(b == nullptr && c == a);
  EXPECT_EQ(Count(a.Get()), 2);
  b = c;
  EXPECT_EQ(Count(a.Get()), 3);
  c = std::move(b);  // drops what c held, takes b's without a count
  EXPECT_FALSE(b);
  EXPECT_EQ(Count(a.Get()), 2);
  TRef<paired::ICounter>& same = c;
  c = same;
  TRef<CTUnknown> base(c);
  EXPECT_EQ(Count(a.Get()), 3);
  base = nullptr;
  paired::ICounter* raw = c.Detach();
  EXPECT_FALSE(c);
  EXPECT_EQ(Count(raw), 2);
  c = TRef<paired::ICounter>::Adopt(raw);
  EXPECT_FALSE(c != a);
  EXPECT_EQ(Count(raw), 2);
  // Out releases what it held and receives the call's reference, or stays empty.
  EXPECT_EQ(factory->CreateComponent("paired.counter", c.Out()), 0);
  EXPECT_EQ(Count(raw), 2);
  EXPECT_EQ(factory->CreateComponent("paired.absent", c.Out()), -1);
  EXPECT_FALSE(c);
  EXPECT_FALSE(framework::QueryRef<paired::IGreeter>(a));
  EXPECT_FALSE(framework::QueryRef<paired::IReset>(static_cast<paired::ICounter*>(nullptr)));
  EXPECT_FALSE(framework::CreateRef<paired::ICounter>(TRef<CTComponentFactory>()));
  EXPECT_FALSE(framework::CreateRef<paired::ICounter>(factory, "paired.absent"));
  EXPECT_EQ(Count(raw), 1);
  // The factory is held and asked for like any interface.
  EXPECT_EQ(framework::QueryRef<CTComponentFactory>(factory), factory);
  TRef<CTComponentFactory> other;
  EXPECT_EQ(framework::CreateComponentFactory(other.Out()), 0);
  EXPECT_NE(other, factory);
  // The last reference to go destroys the instance.
  auto reset = framework::QueryRef<paired::IReset>(a);
  const int destroyed = Lives(false).destroyed;
  a.Reset();
  EXPECT_EQ(Lives(false).destroyed, destroyed);
  reset = nullptr;
  EXPECT_EQ(Lives(false).destroyed, destroyed + 1);
}

// Keepers hold a reference to another instance of their factory and drop it when destroyed,
// unless it went first.
struct IKeeper : CTUnknown {
  QUENDEL_INTERFACE_ID(IKeeper, "keeper");
  virtual void Keep(IKeeper* other) = 0;
};
std::set<IKeeper*> living;
int keepersDestroyed = 0;

class Keeper : public framework::TComponent<IKeeper> {
 public:
  explicit Keeper(CTComponentFactory* factory) : TComponent(factory) { living.insert(this); }
  ~Keeper() override {
    ++keepersDestroyed;
    living.erase(this);
    if (living.count(other_) != 0) other_->Release();
  }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, info->id) != 0) return -1;
    return framework::RefComponentInterface(static_cast<IKeeper*>(this), object);
  }
  void Keep(IKeeper* other) override {
    other_ = other;
    other->AddRef();
  }

 private:
  IKeeper* other_ = nullptr;
};

QUENDEL_REGISTRY_FUNCTION(KeeperRegistry,
                          framework::Describe<Keeper>("First", "keeper.1", "1", 0, ""),
                          framework::Describe<Keeper>("Second", "keeper.2", "1", 0, ""));

// Whichever the factory's end destroys first releases the other, which must not be
// destroyed again.
TEST(FactoryEnd, InstanceReleasedByASiblingsDestructorIsDestroyedOnce) {
  CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
  factory->RegistryComponent(&KeeperRegistry);
  auto first = framework::CreateRef<IKeeper>(factory, "keeper.1");
  auto second = framework::CreateRef<IKeeper>(factory, "keeper.2");
  first->Keep(second.Get());
  second->Keep(first.Get());
  first.Reset();
  second.Reset();
  keepersDestroyed = 0;
  qt::LogCapture log;
  factory->Release();
  EXPECT_EQ(keepersDestroyed, 2);
  EXPECT_EQ(log.Count(qt::ReleasedLines("", "")[1]), 1);
  EXPECT_EQ(log.Count(qt::WaitCountLine(2)), 1);
}

// The dying instance is forgotten before its release is logged, so a log callback that asks
// for its id gets a new one.
TEST(FactoryEnd, LogCallbackThatCreatesDuringALastReleaseGetsAFreshInstance) {
  auto factory = framework::CreateFactoryRef();
  factory->RegistryComponent(&KeeperRegistry);
  struct Reentry {
    CTComponentFactory* factory;
    std::string trigger = qt::ReleasedLines("", "")[1];
    void* fresh = nullptr;
  } reentry{factory.Get()};
  framework::SetLogoutCallback(
      [](const char* line, void* user) {
        auto* state = static_cast<Reentry*>(user);
        if (state->fresh == nullptr && std::strstr(line, state->trigger.c_str()) != nullptr) {
          state->factory->CreateComponent("keeper.1", &state->fresh);
        }
      },
      &reentry);
  IKeeper* dying = framework::CreateRef<IKeeper>(factory, "keeper.1").Detach();
  keepersDestroyed = 0;
  dying->Release();
  framework::SetLogoutCallback(nullptr, nullptr);
  ASSERT_NE(reentry.fresh, nullptr);
  EXPECT_NE(reentry.fresh, static_cast<void*>(dying));
  EXPECT_EQ(keepersDestroyed, 1);
  static_cast<IKeeper*>(reentry.fresh)->Release();
  EXPECT_EQ(keepersDestroyed, 2);
}

}  // namespace
