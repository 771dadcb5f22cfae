#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <cstring>
#include <utility>

#include "components/sample_interfaces.h"
#include "support/log_capture.h"
#include "support/module_loader.h"

using framework::CTComponentFactory;
using framework::CTUnknown;
using framework::TRef;

namespace {

struct IProbe : CTUnknown {
  QUENDEL_INTERFACE_ID(IProbe, "test.probe");
  virtual int Refs() const = 0;
};

// Counts references without ever freeing itself, so that every count, including one that
// goes below zero by a release too many, stays observable.
struct Probe : IProbe {
  int refs = 1;    // the test's own
  int lowest = 1;  // the smallest count any release left
  int QueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, kInterfaceId) != 0) return -1;
    *object = static_cast<IProbe*>(this);
    AddRef();
    return 0;
  }
  int AddRef() override { return ++refs; }
  int Release() override {
    if (--refs < lowest) lowest = refs;
    return 0;
  }
  int Refs() const override { return refs; }
};

TEST(RefTest, CopiesTakeAReferenceAndDestructionDropsIt) {
  Probe probe;
  {
    TRef<IProbe> a(&probe);
    EXPECT_EQ(probe.refs, 2);
    TRef<IProbe> b(a);
    EXPECT_EQ(probe.refs, 3);
    TRef<IProbe> c;
    c = b;
    EXPECT_EQ(probe.refs, 4);
    EXPECT_TRUE(a == c && c.Get() == &probe);
  }
  EXPECT_EQ(probe.refs, 1);
}

TEST(RefTest, MovesLeaveTheCountAloneAndEmptyTheSource) {
  Probe probe;
  TRef<IProbe> a(&probe);
  TRef<IProbe> b(std::move(a));
  EXPECT_EQ(probe.refs, 2);
  EXPECT_FALSE(a);
  TRef<IProbe> c;
  c = std::move(b);
  EXPECT_EQ(probe.refs, 2);
  EXPECT_TRUE(b == nullptr);
  TRef<CTUnknown> base(std::move(c));  // to a base interface, still without a count
  EXPECT_EQ(probe.refs, 2);
  EXPECT_FALSE(c);
  base.Reset();
  EXPECT_EQ(probe.refs, 1);
}

TEST(RefTest, AssignmentToItselfNeverLetsTheCountReachZero) {
  Probe probe;
  TRef<IProbe> a = TRef<IProbe>::Adopt(&probe);  // the only reference
  TRef<IProbe>& same = a;
  a = same;
  a = std::move(same);
  EXPECT_EQ(a.Get(), &probe);
  EXPECT_EQ(probe.refs, 1);
  EXPECT_EQ(probe.lowest, 1);  // a real component would have been destroyed at zero
}

TEST(RefTest, ResetAndNullAssignmentReleaseOnceAndOnlyOnce) {
  Probe probe;
  TRef<IProbe> a(&probe);
  a.Reset();
  EXPECT_EQ(probe.refs, 1);
  a.Reset();
  EXPECT_EQ(probe.refs, 1);
  TRef<IProbe> b(&probe);
  b = nullptr;
  b = nullptr;
  EXPECT_EQ(probe.refs, 1);
}

TEST(RefTest, AdoptTakesOverAReferenceAndDetachGivesItBack) {
  Probe probe;
  probe.AddRef();  // taken by some call on the holder's behalf
  {
    TRef<IProbe> adopted = TRef<IProbe>::Adopt(&probe);
    EXPECT_EQ(probe.refs, 2);
    IProbe* raw = adopted.Detach();
    EXPECT_EQ(raw, &probe);
    EXPECT_FALSE(adopted);
    EXPECT_EQ(probe.refs, 2);
    raw->Release();
  }
  EXPECT_EQ(probe.refs, 1);
}

TEST(RefTest, OutReleasesWhatItHeldAndReceivesTheCallsReference) {
  Probe probe;
  Probe other;
  TRef<IProbe> ref(&other);
  EXPECT_EQ(probe.QueryInterface("test.probe", ref.Out()), 0);
  EXPECT_EQ(other.refs, 1);
  EXPECT_EQ(ref.Get(), &probe);
  EXPECT_EQ(probe.refs, 2);
  // A refused query stores nothing: the reference is gone and the TRef stays empty.
  EXPECT_EQ(probe.QueryInterface("test.absent", ref.Out()), -1);
  EXPECT_FALSE(ref);
  EXPECT_EQ(probe.refs, 1);
}

TEST(RefTest, QueryRefByDeclaredIdOnPresentAndAbsentInterfaces) {
  Probe probe;
  TRef<IProbe> found = framework::QueryRef<IProbe>(&probe);
  EXPECT_EQ(found.Get(), &probe);
  EXPECT_EQ(probe.refs, 2);
  TRef<IProbe> again = framework::QueryRef<IProbe>(found);
  EXPECT_EQ(probe.refs, 3);
  EXPECT_FALSE(framework::QueryRef<IProbe>(&probe, "TEST.PROBE"));
  EXPECT_FALSE(framework::QueryRef<sample::ICounter>(&probe, sample::kCounterId));
  EXPECT_FALSE(framework::QueryRef<IProbe>(static_cast<Probe*>(nullptr)));
  EXPECT_FALSE(framework::QueryRef<IProbe>(TRef<IProbe>()));
  EXPECT_EQ(probe.refs, 3);
}

// Components of a real factory: the last TRef to go destroys the instance, and the factory
// itself is held like any interface although its CTUnknown base is private.
class RefFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << module.Error();
    stats = module.Get<sample::StatsFunc>("SampleStats")();
    *stats = {};
    ASSERT_TRUE(factory);
    factory->RegistryComponent(module.Get<framework::ComponentRegistryFunc>("SampleRegistry"));
  }
  void TearDown() override {
    factory.Reset();
    module.Get<void (*)()>("SampleFreeRejected")();
  }

  quendel::test::LoadedModule module{quendel::test::ProviderPath("sample_provider")};
  sample::Stats* stats = nullptr;
  TRef<CTComponentFactory> factory = framework::CreateFactoryRef();
};

TEST_F(RefFactoryTest, LastReferenceToGoDestroysTheInstance) {
  auto counter = framework::CreateRef<sample::ICounter>(factory, sample::kCounterId);
  ASSERT_TRUE(counter);
  auto same = framework::CreateRef<sample::ICounter>(factory, sample::kCounterId);
  EXPECT_EQ(same, counter);
  auto reset = framework::QueryRef<sample::IReset>(counter, sample::kResetId);
  ASSERT_TRUE(reset);
  EXPECT_EQ(counter->AddRef(), 4);
  counter->Release();
  counter.Reset();
  same.Reset();
  EXPECT_EQ(stats->destroyed, 0);
  quendel::test::LogCapture log;
  reset.Reset();
  EXPECT_EQ(stats->destroyed, 1);
  EXPECT_EQ(log.Count("release component. "), 1);
}

TEST_F(RefFactoryTest, FactoryIsHeldAndQueriedThroughItsOwnId) {
  TRef<CTComponentFactory> copy = factory;
  EXPECT_EQ(factory->AddRef(), 3);
  factory->Release();
  auto queried = framework::QueryRef<CTComponentFactory>(factory);
  EXPECT_EQ(queried, factory);
  EXPECT_EQ(factory->AddRef(), 4);
  factory->Release();

  // The typed out-pointer of CreateComponentFactory gives a separate factory.
  TRef<CTComponentFactory> other;
  EXPECT_EQ(framework::CreateComponentFactory(other.Out()), 0);
  ASSERT_TRUE(other);
  EXPECT_NE(other, factory);
  EXPECT_EQ(other->AddRef(), 2);
  other->Release();
}

TEST_F(RefFactoryTest, CreateRefOfAnUnknownIdIsEmptyAndLogged) {
  quendel::test::LogCapture log;
  EXPECT_FALSE(framework::CreateRef<sample::ICounter>(factory, "sample.unknown"));
  EXPECT_EQ(log.Count("not found component. id:sample.unknown"), 1);
  EXPECT_FALSE(
      framework::CreateRef<sample::ICounter>(TRef<CTComponentFactory>(), sample::kCounterId));
  EXPECT_FALSE(framework::CreateRef<sample::ICounter>(factory, sample::kFailingId));
}

}  // namespace
