#include <gtest/gtest.h>

#include <string>

#include "containers/x_map_module_values.h"
#include "quendel/x_map.h"
#include "support/log_capture.h"
#include "support/module_loader.h"

using framework::XMap;
using framework::XValue;
using quendel::test::LoadedModule;
using quendel::test::LogCapture;
using quendel::test::ProviderPath;
using xmap_module::Reading;

namespace {

TEST(XMapModuleTest, ValuesMadeInAProviderAreReadCopiedAndFreedInTheHost) {
  // Declared before the map: the provider's holder code must outlive every value it made.
  LoadedModule module(ProviderPath("x_map_values_provider"));
  ASSERT_TRUE(module.Loaded()) << module.Error();
  auto fill = module.Get<xmap_module::FillFunction>(xmap_module::kFillSymbol);
  auto liveProbes = module.Get<xmap_module::LiveProbesFunction>(xmap_module::kLiveProbesSymbol);
  ASSERT_NE(fill, nullptr);
  ASSERT_NE(liveProbes, nullptr);

  {
    XMap map;
    fill(&map);

    ASSERT_NE(map.GetValue("count"), nullptr);
    ASSERT_NE(map.GetValue("count")->Get<int>(), nullptr);
    EXPECT_EQ(*map.GetValue("count")->Get<int>(), 3);
    EXPECT_EQ(map.GetValue("count")->Get<double>(), nullptr);
    ASSERT_NE(map.GetValue("label")->Get<std::string>(), nullptr);
    EXPECT_EQ(*map.GetValue("label")->Get<std::string>(), "sensor");
    const Reading* reading = map.GetValue("reading")->Get<Reading>();
    ASSERT_NE(reading, nullptr);
    EXPECT_EQ(reading->unit, "C");
    EXPECT_EQ(reading->value, 21.5);
    EXPECT_TRUE(map.GetValue("nothing")->Empty());

    // Copies out are the provider's clones, independent of the stored values.
    XValue label;
    ASSERT_TRUE(map.GetValue("label", label));
    *label.Get<std::string>() += " 2";
    EXPECT_EQ(*map.GetValue("label")->Get<std::string>(), "sensor");
    EXPECT_EQ(*label.Get<std::string>(), "sensor 2");

    EXPECT_EQ(liveProbes(), 1);
    {
      XValue probe;
      ASSERT_TRUE(map.GetValue("probe", probe));
      EXPECT_EQ(liveProbes(), 2);
    }
    EXPECT_EQ(liveProbes(), 1);
    map.RemoveAt("probe");
    EXPECT_EQ(liveProbes(), 0);

    {
      LogCapture log;
      fill(&map);  // only "probe" is absent now
      EXPECT_EQ(log.Count("XMap SetValue failed. found key:"), 4);
      EXPECT_EQ(liveProbes(), 1);
      fill(&map);  // nothing is absent: the new probe is refused and dropped by the provider
      EXPECT_EQ(log.Count("XMap SetValue failed. found key:"), 9);
      EXPECT_EQ(liveProbes(), 1);
    }
  }
  EXPECT_EQ(liveProbes(), 0);
}

}  // namespace
