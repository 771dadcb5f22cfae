#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <algorithm>
#include <string>
#include <vector>

#include "components/sample_interfaces.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/module_loader.h"

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::TWrap;
using quendel::test::LoadedModule;
using quendel::test::LogCapture;
using Lines = std::vector<std::string>;

namespace {

const std::string& kRC = quendel::test::kRegistryFunction;
const std::string& kCC = quendel::test::kCreateFunction;
const std::string& kRM = quendel::test::kRemoveFunction;
const std::string& kPN = quendel::test::kReportFunction;
const std::string& kFD = quendel::test::kFactoryDestructor;
constexpr auto Plain = quendel::test::PlainLine;
constexpr auto Tagged = quendel::test::TaggedLine;
std::string EmDashes() {
  std::string dashes;
  for (int i = 0; i < 19; ++i) dashes += "\xA1\xAA";
  return dashes;
}
Lines Registered(const std::string& name, const std::string& id, const std::string& version,
                 int type, const std::string& description) {
  return {Plain(kRC, 132, std::string(39, '+')),
          Plain(kRC, 142, "register new component. "),
          Plain(kRC, 143, "name:" + name),
          Plain(kRC, 144, "id:" + id),
          Plain(kRC, 145, "version:" + version),
          Plain(kRC, 146, "type:" + std::to_string(type)),
          Plain(kRC, 147, "description:" + description)};
}
Lines Released(const std::string& name, const std::string& id) {
  return {Plain(kRM, 160, EmDashes()), Plain(kRM, 163, "release component. "),
          Plain(kRM, 164, "name:" + name), Plain(kRM, 165, "id:" + id)};
}
void Append(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

class FactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << module.Error();
    stats = module.Get<sample::StatsFunc>("SampleStats")();
    *stats = {};
    ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
    ASSERT_NE(factory, nullptr);
  }
  void TearDown() override {
    if (factory != nullptr) factory->Release();
    module.Get<void (*)()>("SampleFreeRejected")();
  }
  void Register(const char* function) {
    auto registry = module.Get<framework::ComponentRegistryFunc>(function);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(factory->RegistryComponent(registry), 0);
  }
  template <typename Interface>
  Interface* Create(const char* id) {
    void* object = nullptr;
    if (factory->CreateComponent(id, &object) != 0) return nullptr;
    return static_cast<Interface*>(object);
  }
  void DestroyFactory() {
    factory->Release();
    factory = nullptr;
  }

  LoadedModule module{quendel::test::ProviderPath("sample_provider")};
  sample::Stats* stats = nullptr;
  CTComponentFactory* factory = nullptr;
};

TEST_F(FactoryTest, ScriptedSessionWritesTheExactTrail) {
  LogCapture log;
  Register("SampleRegistry");
  auto* first = Create<sample::ICounter>(sample::kCounterId);
  auto* second = Create<sample::ICounter>(sample::kCounterId);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  first->Release();
  second->Release();
  auto* third = Create<sample::ICounter>(sample::kCounterId);
  auto* greeter = Create<sample::IGreeter>(sample::kGreeterId);
  ASSERT_NE(third, nullptr);
  ASSERT_NE(greeter, nullptr);
  DestroyFactory();

  Lines expected = Registered("Counter", sample::kCounterId, "1.0", 1, "counts");
  Append(expected, {Plain(kRC, 132, std::string(39, '+')),
                    Plain(kRC, 135, "Already registry the component!!!!   id:sample.counter"),
                    Plain(kRC, 130, "component info is null or id is null."),
                    Plain(kRC, 130, "component info is null or id is null.")});
  Append(expected, Registered("Greeter", sample::kGreeterId, "2.1", 2, "greets"));
  Append(expected, Registered("Aggregate", sample::kAggregateId, "1", 3, "aggregates"));
  Append(expected, Registered("", sample::kNamelessId, "", -4, ""));
  Append(expected, Registered("No creator", sample::kNoCreatorId, "1", 5, "null creator"));
  Append(expected, Registered("Failing", sample::kFailingId, "1", 6, "creator fails"));
  Append(expected, Released("Counter", sample::kCounterId));
  expected.push_back(Plain(kFD, 190, "release component factory"));
  // The two report lines follow the registry's own order, which is not fixed.
  const Lines alive = {Tagged(kPN, 177, "wait release component id:sample.counter. name:Counter"),
                       Tagged(kPN, 177, "wait release component id:sample.greeter. name:Greeter")};
  expected.insert(expected.end(), alive.begin(), alive.end());
  expected.push_back(Plain(kPN, 180, "wait release component. count:2"));

  Lines actual = log.Texts();
  ASSERT_EQ(actual.size(), expected.size());
  std::sort(actual.end() - 3, actual.end() - 1);
  EXPECT_EQ(actual, expected);
  // Both live instances destroyed without their callbacks; every registered description
  // deleted once, the two rejected ones not at all.
  EXPECT_EQ(stats->destroyed, stats->constructed);
  EXPECT_EQ(stats->infosDeleted, 6);
}

TEST_F(FactoryTest, OneLiveInstancePerIdAndTheCreatorRunsAgainAfterRelease) {
  Register("SampleRegistry");
  auto* a = Create<sample::ICounter>(sample::kCounterId);
  auto* b = Create<sample::ICounter>(sample::kCounterId);
  EXPECT_EQ(stats->creatorCalls, 1);
  EXPECT_EQ(a->Increment(), 1);
  EXPECT_EQ(b->Increment(), 2);  // the same instance
  EXPECT_EQ(a->AddRef(), 3);     // two creations took two references
  a->Release();
  a->Release();
  b->Release();
  EXPECT_EQ(stats->destroyed, 1);
  auto* c = Create<sample::ICounter>(sample::kCounterId);
  EXPECT_EQ(stats->creatorCalls, 2);
  EXPECT_EQ(c->Increment(), 1);  // a fresh instance
  c->Release();
}

TEST_F(FactoryTest, FactoryForgetsTheInstanceBeforeItsDestructorRuns) {
  Register("SampleRegistry");
  LogCapture log;
  auto* counter = Create<sample::ICounter>(sample::kCounterId);
  counter->Release();
  EXPECT_EQ(log.Texts(), Released("Counter", sample::kCounterId));
  // Forgotten: a foreign query no longer reaches it.
  void* object = nullptr;
  EXPECT_EQ(factory->QueryInterface(sample::kResetId, &object), -1);
}

// A log callback may use the factory, even from an instance's last release: the dying
// instance is already forgotten, so asking for its id makes a new one.
TEST_F(FactoryTest, LogCallbackThatCreatesDuringAReleaseGetsAFreshInstance) {
  Register("SampleRegistry");
  struct Reentry {
    CTComponentFactory* factory;
    void* fresh = nullptr;
  } reentry{factory};
  framework::SetLogoutCallback(
      [](const char* line, void* user) {
        auto* state = static_cast<Reentry*>(user);
        if (state->fresh == nullptr &&
            std::string(line).find("release component. ") != std::string::npos) {
          state->factory->CreateComponent(sample::kCounterId, &state->fresh);
        }
      },
      &reentry);
  auto* dying = Create<sample::ICounter>(sample::kCounterId);
  ASSERT_NE(dying, nullptr);
  dying->Increment();
  dying->Release();
  framework::SetLogoutCallback(nullptr, nullptr);
  ASSERT_NE(reentry.fresh, nullptr);
  auto* fresh = static_cast<sample::ICounter*>(reentry.fresh);
  EXPECT_EQ(fresh->Increment(), 1);
  EXPECT_EQ(stats->creatorCalls, 2);
  EXPECT_EQ(stats->destroyed, 1);
  fresh->Release();
  EXPECT_EQ(stats->destroyed, 2);
}

TEST_F(FactoryTest, FactoryAnswersItsOwnIdAndCountsLikeAComponent) {
  LogCapture log;
  void* object = nullptr;
  EXPECT_EQ(factory->QueryInterface(framework::kComponentFactoryId, &object), 0);
  EXPECT_EQ(object, static_cast<void*>(factory));
  EXPECT_EQ(factory->AddRef(), 3);
  factory->Release();
  factory->Release();
  EXPECT_EQ(factory->QueryInterface("{1647F4C5-c70a-45d4-82ec-11c6bh237a28}", &object), -1);
  EXPECT_TRUE(log.Lines().empty());
  DestroyFactory();
  EXPECT_EQ(log.Texts(), (Lines{Plain(kFD, 190, "release component factory"),
                                Plain(kPN, 180, "wait release component. count:0")}));
}

TEST_F(FactoryTest, ForeignQueriesAskOnlyLiveInstances) {
  Register("SampleRegistry");
  void* object = nullptr;
  // Registered, but no instance alive: nothing is created and nobody answers.
  EXPECT_EQ(factory->QueryInterface(sample::kCounterId, &object), -1);
  EXPECT_EQ(factory->QueryInterface(sample::kResetId, &object), -1);
  EXPECT_EQ(stats->creatorCalls, 0);

  auto* greeter = Create<sample::IGreeter>(sample::kGreeterId);
  // The greeter is asked for the counter's id and declines.
  EXPECT_EQ(factory->QueryInterface(sample::kCounterId, &object), -1);
  auto* counter = Create<sample::ICounter>(sample::kCounterId);
  // Only the live counter answers this interface.
  ASSERT_EQ(factory->QueryInterface(sample::kResetId, &object), 0);
  auto* reset = static_cast<sample::IReset*>(object);
  counter->Increment();
  reset->Reset();
  EXPECT_EQ(counter->Increment(), 1);
  reset->Release();
  counter->Release();
  greeter->Release();
  EXPECT_EQ(stats->destroyed, 2);
}

TEST_F(FactoryTest, AggregateHandsOutItsInnerPartUnderItsOwnCount) {
  Register("SampleRegistry");
  auto* aggregate = Create<sample::IGreeter>(sample::kAggregateId);
  ASSERT_NE(aggregate, nullptr);
  void* object = nullptr;
  ASSERT_EQ(aggregate->QueryInterface(sample::kInnerId, &object), 0);
  auto* inner = static_cast<sample::IInner*>(object);
  EXPECT_EQ(inner->Twice(21), 42);
  EXPECT_EQ(inner->AddRef(), 3);  // the aggregate's count: creation, query, this one
  inner->Release();
  inner->Release();
  EXPECT_EQ(stats->destroyed, 0);
  aggregate->Release();
  EXPECT_EQ(stats->destroyed, 2);  // the aggregate and its inner part
}

TEST_F(FactoryTest, FailedCreationsReturnMinusOneAndLeaveNoInstance) {
  Register("SampleRegistry");
  LogCapture log;
  void* object = &log;
  EXPECT_EQ(factory->CreateComponent("sample.unknown", &object), -1);
  EXPECT_EQ(factory->CreateComponent(sample::kFailingId, &object), -1);
  EXPECT_EQ(factory->CreateComponent(sample::kFailingId, &object), -1);
  EXPECT_EQ(factory->CreateComponent(sample::kNoCreatorId, &object), -1);
  EXPECT_EQ(object, &log);
  EXPECT_EQ(stats->creatorCalls, 2);  // tried again after failing
  EXPECT_EQ(log.Texts(), (Lines{Plain(kCC, 118, "not found component. id:sample.unknown"),
                                Tagged(kCC, 111, "CreateComponent failed!!!"),
                                Tagged(kCC, 111, "CreateComponent failed!!!"),
                                Tagged(kCC, 111, "CreateComponent failed!!!")}));
}

TEST_F(FactoryTest, NullArgumentsAreRefusedWithoutTouchingAnything) {
  Register("SampleRegistry");
  LogCapture log;
  void* object = &log;
  EXPECT_EQ(factory->CreateComponent(nullptr, &object), -1);
  EXPECT_EQ(factory->CreateComponent(sample::kCounterId, nullptr), -1);
  EXPECT_EQ(factory->QueryInterface(nullptr, &object), -1);
  EXPECT_EQ(factory->QueryInterface(framework::kComponentFactoryId, nullptr), -1);
  EXPECT_EQ(object, &log);
  EXPECT_EQ(stats->creatorCalls, 0);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(framework::CreateComponentFactory(nullptr), -1);
  EXPECT_EQ(log.Texts(), (Lines{Tagged("framework::CreateComponentFactory", 224,
                                       "QueryInterface ComponentFactory failed!!!!")}));
}

TEST_F(FactoryTest, RegistryFunctionsThatListNothing) {
  LogCapture log;
  Register("EmptyRegistry");
  EXPECT_TRUE(log.Lines().empty());
  Register("NullRegistry");
  EXPECT_EQ(factory->RegistryComponent(nullptr), 0);
  const std::string failed = Tagged(kRC, 126, "Get Component Inifo failed.");
  EXPECT_EQ(log.Texts(), (Lines{failed, failed}));
}

TEST_F(FactoryTest, ComponentThatDoesNotAnswerItsIdStaysRecordedUntilTheFactoryGoes) {
  Register("SilentRegistry");
  void* object = nullptr;
  EXPECT_EQ(factory->CreateComponent(sample::kSilentId, &object), -1);
  EXPECT_EQ(factory->CreateComponent(sample::kSilentId, &object), -1);
  EXPECT_EQ(stats->creatorCalls, 1);  // the instance stays live with a count of 0
  EXPECT_EQ(factory->QueryInterface(sample::kResetId, &object), -1);  // asked, kept
  EXPECT_EQ(stats->destroyed, 0);
  LogCapture log;
  DestroyFactory();
  EXPECT_EQ(stats->destroyed, 1);
  EXPECT_EQ(log.Count("wait release component id:sample.silent. name:Silent"), 1);
}

}  // namespace
