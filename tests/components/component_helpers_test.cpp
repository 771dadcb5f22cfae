#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <string>
#include <vector>

#include "components/paired_interfaces.h"
#include "support/log_capture.h"
#include "support/module_loader.h"

using framework::CTComponentFactory;
using framework::CTUnknown;
using quendel::test::LoadedModule;
using quendel::test::LogCapture;
using Trace = std::vector<std::string>;

namespace {

// Ids are found only where an interface declares its own, never inherited from a base.
struct IDerivedWithoutId : paired::ICounter {};
static_assert(framework::HasInterfaceId<paired::ICounter>);
static_assert(!framework::HasInterfaceId<IDerivedWithoutId>);
static_assert(!framework::HasInterfaceId<CTUnknown>);
static_assert(framework::HasInterfaceId<CTComponentFactory>);

// The helpers add no data and no slot: the layout is the hand-written one.
class Plain : public paired::ICounter, public framework::CTComponentUnknown {
 public:
  Plain() : CTComponentUnknown(nullptr, nullptr) {}
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();
  int Increment() override { return 0; }
};
class Helped : public framework::TComponent<paired::ICounter> {
 public:
  Helped() : TComponent(nullptr) {}
  int Increment() override { return 0; }
};
static_assert(sizeof(Plain) == sizeof(Helped));

std::string Show(int value) { return std::to_string(value); }

// One scenario over everything a host can observe of the paired components: results, counts,
// identities, the module's constructions and destructions, and the log.
class PairedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << module.Error();
    stats = module.Get<paired::StatsFunc>("PairedStats")();
    *stats = {};
  }

  paired::Lives& LivesOf(const char* registry) {
    return std::string(registry) == "HandRegistry" ? stats->hand : stats->helper;
  }

  Trace Run(const char* registry_name) {
    Trace trace;
    const paired::Lives& lives = LivesOf(registry_name);
    auto note = [&trace](const std::string& what, const std::string& value) {
      trace.push_back(what + "=" + value);
    };
    LogCapture log;
    CTComponentFactory* factory = nullptr;
    framework::CreateComponentFactory(&factory);
    factory->RegistryComponent(module.Get<framework::ComponentRegistryFunc>(registry_name));

    void* first = nullptr;
    void* second = nullptr;
    note("create", Show(factory->CreateComponent("paired.counter", &first)));
    note("create again", Show(factory->CreateComponent("paired.counter", &second)));
    note("same instance", Show(first == second));
    auto* counter = static_cast<paired::ICounter*>(first);
    note("increment", Show(counter->Increment()));
    note("addref", Show(counter->AddRef()));
    note("release", Show(counter->Release()));

    void* reset = nullptr;
    note("query reset", Show(counter->QueryInterface("paired.reset", &reset)));
    static_cast<paired::IReset*>(reset)->Reset();
    note("increment after reset", Show(counter->Increment()));
    void* untouched = &trace;
    note("query upper case", Show(counter->QueryInterface("PAIRED.COUNTER", &untouched)));
    note("query absent", Show(counter->QueryInterface("paired.absent", &untouched)));
    note("untouched", Show(untouched == &trace));
    void* found = nullptr;
    note("factory query", Show(factory->QueryInterface("paired.reset", &found)));
    note("found the live reset", Show(found == reset));
    note("count", Show(counter->AddRef()));
    for (int i = 0; i < 5; ++i) counter->Release();
    note("counters destroyed", Show(lives.destroyed));

    void* greeter = nullptr;
    note("create aggregate", Show(factory->CreateComponent("paired.aggregate", &greeter)));
    void* inner = nullptr;
    auto* outer = static_cast<paired::IGreeter*>(greeter);
    note("query inner", Show(outer->QueryInterface("paired.inner", &inner)));
    note("twice", Show(static_cast<paired::IInner*>(inner)->Twice(21)));
    note("inner counts on outer", Show(static_cast<paired::IInner*>(inner)->AddRef()));
    static_cast<paired::IInner*>(inner)->Release();
    static_cast<paired::IInner*>(inner)->Release();
    note("greeting", outer->Greeting());

    // The aggregate is still alive: the factory reports and destroys it.
    factory->Release();
    note("constructed", Show(lives.constructed));
    note("destroyed", Show(lives.destroyed));
    for (const std::string& line : log.Texts()) trace.push_back("log " + line);
    return trace;
  }

  LoadedModule module{quendel::test::ProviderPath("paired_provider")};
  paired::Stats* stats = nullptr;
};

TEST_F(PairedTest, HelperWrittenComponentsBehaveExactlyLikeHandWrittenOnes) {
  const Trace hand = Run("HandRegistry");
  const Trace helper = Run("HelperRegistry");
  EXPECT_EQ(hand, helper);

  // The scenario did what it is meant to, so the comparison means something.
  // clang-format off
  const Trace expected = {
      "create=0", "create again=0", "same instance=1", "increment=1", "addref=3", "release=0",
      "query reset=0", "increment after reset=1", "query upper case=-1", "query absent=-1",
      "untouched=1", "factory query=0", "found the live reset=1", "count=5",
      "counters destroyed=1", "create aggregate=0", "query inner=0", "twice=42",
      "inner counts on outer=3", "greeting=aggregate", "constructed=3", "destroyed=3"};
  // clang-format on
  ASSERT_GE(helper.size(), expected.size());
  EXPECT_EQ(Trace(helper.begin(), helper.begin() + expected.size()), expected);
  EXPECT_EQ(helper.back(),
            "log [framework::CTComponentFactory::Impl::PrintNotReleaseComponent][180] "
            "wait release component. count:1");
}

TEST_F(PairedTest, RegistryFunctionHandsEachFactoryDescriptionsOfItsOwn) {
  auto registry = module.Get<framework::ComponentRegistryFunc>("HelperRegistry");
  auto first = framework::CreateFactoryRef();
  auto second = framework::CreateFactoryRef();
  LogCapture log;
  first->RegistryComponent(registry);
  // Refused as duplicates: the helpers' records are the factory's to free (LeakSanitizer and
  // valgrind report them otherwise, once the next call has overwritten the module's array),
  // while hand-written ones stay their provider's.
  first->RegistryComponent(registry);
  second->RegistryComponent(registry);
  EXPECT_EQ(log.Count("register new component. "), 4);
  EXPECT_EQ(log.Count("Already registry the component!!!!   id:"), 2);
  auto counter = framework::CreateRef<paired::ICounter>(second);
  ASSERT_TRUE(counter);
  EXPECT_EQ(counter->Increment(), 1);
  counter.Reset();
  // Each factory deletes its own records; a shared one would be freed twice here.
  first.Reset();
  second.Reset();
  EXPECT_EQ(stats->helper.constructed, stats->helper.destroyed);
}

}  // namespace
