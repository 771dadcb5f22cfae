#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <cstring>

#include "components/sample_interfaces.h"
#include "support/log_capture.h"
#include "support/module_loader.h"

using framework::CTComponentUnknown;
using framework::CTDelegatUnknown;
using framework::CTUnknown;

namespace {

int destroyed = 0;

// A component as a host might write one for itself: one interface, no factory.
struct IProbe : CTUnknown {
  virtual int Measure() = 0;
};
constexpr char kProbeId[] = "test.probe";

class Probe : public IProbe, public CTComponentUnknown {
 public:
  explicit Probe(CTUnknown* owner = nullptr) : CTComponentUnknown(owner, nullptr) {}
  ~Probe() override { ++destroyed; }
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, kProbeId) == 0) {
      return framework::RefComponentInterface(static_cast<IProbe*>(this), object);
    }
    return CTComponentUnknown::DelegatQueryInterface(id, object);
  }
  int Measure() override { return 7; }
  CTUnknown* Controller() { return Owner(); }
  const framework::ComponentInfo* Info() const { return info; }
};

// Stands in for an outer object: counts the calls that reach it.
struct Outer : CTUnknown {
  int queries = 0, addRefs = 0, releases = 0;
  int QueryInterface(const char*, void**) override { return ++queries, -1; }
  int AddRef() override { return ++addRefs; }
  int Release() override { return ++releases, 0; }
};

class ComponentUnknownTest : public ::testing::Test {
 protected:
  void SetUp() override { destroyed = 0; }
};

TEST_F(ComponentUnknownTest, CountsStartAtZeroAndDelegatReleaseAlwaysReturnsZero) {
  auto* probe = new Probe;
  EXPECT_EQ(probe->DelegatAddRef(), 1);
  EXPECT_EQ(probe->DelegatAddRef(), 2);
  EXPECT_EQ(probe->DelegatRelease(), 0);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(probe->DelegatRelease(), 0);  // the last one: destroyed, still 0
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ComponentUnknownTest, NeverReferencedComponentIsDestroyedByOneRelease) {
  auto* probe = new Probe;
  EXPECT_EQ(probe->DelegatRelease(), 0);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ComponentUnknownTest, DirectDestructionRunsNoCallback) {
  quendel::test::LogCapture log;
  auto* probe = new Probe;
  probe->DelegatAddRef();
  delete static_cast<CTComponentUnknown*>(probe);
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ComponentUnknownTest, OwnDelegatingFaceIsTheControllingUnknown) {
  auto* probe = new Probe;
  CTUnknown* controller = probe->Controller();
  EXPECT_EQ(static_cast<void*>(controller),
            static_cast<void*>(static_cast<CTDelegatUnknown*>(probe)));
  // Calls made through CTUnknown's slots reach the Delegat operations.
  EXPECT_EQ(controller->AddRef(), 1);
  void* object = nullptr;
  EXPECT_EQ(controller->QueryInterface(kProbeId, &object), 0);
  EXPECT_EQ(object, static_cast<IProbe*>(probe));
  EXPECT_EQ(controller->AddRef(), 3);
  controller->Release();
  controller->Release();
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(controller->Release(), 0);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ComponentUnknownTest, InterfaceCallsOfAnAggregatedPartGoToTheOuterObject) {
  Outer outer;
  auto* probe = new Probe(&outer);
  EXPECT_EQ(probe->Controller(), &outer);
  IProbe* face = probe;
  face->AddRef();
  face->AddRef();
  face->Release();
  void* object = nullptr;
  face->QueryInterface(kProbeId, &object);
  EXPECT_EQ(outer.addRefs, 2);
  EXPECT_EQ(outer.releases, 1);
  EXPECT_EQ(outer.queries, 1);
  // The part's own count moves only through its delegating face.
  EXPECT_EQ(probe->DelegatAddRef(), 1);
  EXPECT_EQ(probe->DelegatRelease(), 0);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ComponentUnknownTest, BaseAnswersNoInterfaceAndIdsAreCaseSensitive) {
  auto* probe = new Probe;
  void* object = &destroyed;
  EXPECT_EQ(probe->DelegatQueryInterface("TEST.PROBE", &object), -1);
  EXPECT_EQ(object, &destroyed);
  EXPECT_EQ(probe->CTComponentUnknown::DelegatQueryInterface(kProbeId, &object), -1);
  EXPECT_EQ(object, &destroyed);
  probe->DelegatRelease();
}

TEST_F(ComponentUnknownTest, RefComponentInterfaceStoresThePointerAndTakesOneReference) {
  auto* probe = new Probe;
  void* object = nullptr;
  EXPECT_EQ(framework::RefComponentInterface(static_cast<IProbe*>(probe), &object), 0);
  EXPECT_EQ(object, static_cast<IProbe*>(probe));
  EXPECT_EQ(probe->DelegatAddRef(), 2);
  probe->DelegatRelease();
  static_cast<IProbe*>(object)->Release();
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ComponentUnknownTest, RefComponentInterfaceRejectsNullPointers) {
  quendel::test::LogCapture log;
  void* object = &destroyed;
  EXPECT_EQ(framework::RefComponentInterface(nullptr, &object), -1);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(framework::RefComponentInterface(nullptr, nullptr), -1);
  auto* probe = new Probe;
  EXPECT_EQ(framework::RefComponentInterface(static_cast<IProbe*>(probe), nullptr), -1);
  EXPECT_EQ(probe->DelegatAddRef(), 1);  // nothing was taken
  probe->DelegatRelease();
  const std::string expected =
      "[framework::RefComponentInterface][216] [ERROR framework::RefComponentInterface]: "
      "RefComponentInterface ref is null!!!!";
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{expected, expected}));
}

TEST_F(ComponentUnknownTest, SetInfoOnlyStoresThePointer) {
  auto* probe = new Probe;
  EXPECT_EQ(probe->Info(), nullptr);
  framework::ComponentInfo info;
  probe->SetInfo(&info);
  EXPECT_EQ(probe->Info(), &info);
  probe->DelegatRelease();  // no factory: simply deleted
  EXPECT_EQ(destroyed, 1);
}

// The exported layout: vtable pointer, then the implementation pointer, then `info`.
TEST_F(ComponentUnknownTest, FieldsSitAtTheirExportedOffsets) {
  framework::ComponentInfo info;
  auto offset = [&info](const void* field) {
    return static_cast<const char*>(field) - reinterpret_cast<const char*>(&info);
  };
  EXPECT_EQ(offset(&info.name), 8);
  EXPECT_EQ(offset(&info.id), 16);
  EXPECT_EQ(offset(&info.version), 24);
  EXPECT_EQ(offset(&info.type), 32);
  EXPECT_EQ(offset(&info.description), 40);
  EXPECT_EQ(offset(&info.creator), 48);
  auto* probe = new Probe;
  probe->SetInfo(&info);
  auto* base = static_cast<CTComponentUnknown*>(probe);
  void* const* words = reinterpret_cast<void* const*>(base);
  EXPECT_NE(words[1], nullptr);
  EXPECT_EQ(words[2], &info);
  probe->DelegatRelease();
}

// Components built in another module, constructed, counted and destroyed across the boundary.
TEST_F(ComponentUnknownTest, ProviderComponentsLiveAndDieAcrossTheModuleBoundary) {
  quendel::test::LoadedModule module(quendel::test::ProviderPath("sample_provider"));
  ASSERT_TRUE(module.Loaded()) << module.Error();
  auto create = module.Get<sample::CreateDirectFunc>("SampleCreateCounter");
  sample::Stats* stats = module.Get<sample::StatsFunc>("SampleStats")();
  const sample::Stats before = *stats;

  CTComponentUnknown* counter = create(nullptr);
  void* object = nullptr;
  ASSERT_EQ(counter->DelegatQueryInterface(sample::kCounterId, &object), 0);
  auto* face = static_cast<sample::ICounter*>(object);
  EXPECT_EQ(face->Increment(), 1);
  EXPECT_EQ(face->AddRef(), 2);
  face->Release();
  EXPECT_EQ(stats->destroyed, before.destroyed);
  face->Release();
  EXPECT_EQ(stats->constructed, before.constructed + 1);
  EXPECT_EQ(stats->destroyed, before.destroyed + 1);

  // Aggregated by an outer object of this module.
  Outer outer;
  CTComponentUnknown* part = create(&outer);
  ASSERT_EQ(part->DelegatQueryInterface(sample::kCounterId, &object), 0);
  EXPECT_EQ(outer.addRefs, 1);  // the reference went to the outer object
  EXPECT_EQ(part->DelegatRelease(), 0);
  EXPECT_EQ(stats->destroyed, before.destroyed + 2);
}

}  // namespace
