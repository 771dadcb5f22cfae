// XMap against a std::map (results, clones, destructions, fixed addresses, refusal lines), and
// values read back by type, also values and holders made in another module.
#include <map>

#include "containers/values_module.h"
#include "quendel/x_map.h"
#include "support/counting_holder.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/module_loader.h"
#include "support/property.h"

namespace quendel::test {
namespace {

using framework::XMap, framework::XValue, framework::XVector;

void RunMapModel(Bytes& input) {
  HolderLog holders;
  {
    LogCapture log;
    XMap map;
    // Each key's value (-1: empty) and where it was stored: it stays there until removed.
    std::map<std::string, std::pair<int, const XValue*>> model;
    while (input.More()) {
      // Case and emptiness tell keys apart; 4 is the null key; numbered keys make it rehash.
      const char* const kKeys[] = {"", "k", "K", "key", ""};
      const std::uint32_t pick = input.Below(24), op = input.Below(5);
      const std::string name = pick < 5 ? kKeys[pick] : "n" + std::to_string(pick);
      const char* key = pick == 4 ? nullptr : name.c_str();
      const auto found = key != nullptr ? model.find(name) : model.end();
      const bool present = found != model.end(), inserts = key != nullptr && !present;
      const int value = static_cast<int>(input.Below(4)) - 1;
      XValue arg = value < 0 ? XValue() : Counted(value, &holders);
      XValue::Holder* const held = arg.holder;
      const HolderLog before = holders;
      int clones = 0, destroyed = 0;
      std::vector<std::string> expected;
      if (op <= 1) {  // a set stores a clone or takes the holder over; refused, nothing changes
        op == 0 ? map.SetValue(key, std::as_const(arg)) : map.SetValue(key, std::move(arg));
        clones = op == 0 && inserts && value >= 0;
        // NOLINTNEXTLINE(bugprone-use-after-move)
        MODEL_CHECK(arg.holder == (op == 1 && inserts ? nullptr : held));
        if (inserts) model[name] = {value, map.GetValue(key)};
        if (!inserts) expected.push_back(MapRefusal(op == 0 ? 30 : 22, name));
      }
      if (op == 2)  // a pointer lookup, also through a const map
        MODEL_CHECK((value < 1 ? map.GetValue(key) : std::as_const(map).GetValue(key)) ==
                    (present ? found->second.second : nullptr));
      if (op == 3) {  // a copy lookup copy-assigns only what it finds
        MODEL_CHECK(map.GetValue(key, arg) == present);
        MODEL_CHECK(present ? ValueOf(arg) == found->second.first : arg.holder == held);
        clones = present && found->second.first >= 0, destroyed = present && value >= 0;
      }
      if (op == 4) {  // a removal destroys the value once; an absent or null key is no error
        map.RemoveAt(key);
        if (present) destroyed = found->second.first >= 0, model.erase(found);
      }
      MODEL_CHECK(holders.clones == before.clones + clones);
      MODEL_CHECK(holders.destructions == before.destructions + destroyed);
      MODEL_CHECK(log.Texts() == expected);
      log.Clear();
      int live = !arg.Empty();
      for (const auto& [stored, entry] : model) {
        const XValue* at = map.GetValue(stored.c_str());
        MODEL_CHECK_MSG(at == entry.second && ValueOf(*at) == entry.first, stored);
        live += entry.first >= 0;
      }
      MODEL_CHECK(holders.live == live);
    }
  }
  MODEL_CHECK(holders.live == 0);
}

#if !defined(QUENDEL_FUZZING)
// A holder that keeps the default TypeName: copied, moved and destroyed, never read back.
struct Untyped final : XValue::Holder {
  Holder* Clone() const override { return new Untyped; }
};

// Not the provider's Local, although both are "Local" in an anonymous namespace.
struct Local {
  double number;
};

TEST(XValueTest, ValuesReadBackOnlyAsTheirTypeAlsoWhenAnotherModuleMadeThem) {
  XValue number(42), untyped(new Untyped);
  *number.Get<int>() = 43;
  XValue copy(number);  // copied and moved, never held inside another value
  const XValue moved(std::move(copy)), copied(untyped), taken(std::move(untyped));
  EXPECT_TRUE(moved.Get<int>() && *moved.Get<int>() == 43);
  EXPECT_TRUE(copy.Empty() && untyped.Empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(!moved.Get<long>() && !copied.Get<int>() && !taken.Get<int>());
  EXPECT_EQ(taken.holder->TypeName(), nullptr);  // the default

  // Loaded first: the provider's holder code must outlive every value it made.
  LoadedModule module("values_provider");
  auto makeValues = module.Get<values_module::MakeValuesFunction>("MakeValues");
  auto readLocal = module.Get<values_module::ReadLocalFunction>("ReadLocal");
  auto fill = module.Get<values_module::FillMapFunction>("FillMap");
  auto liveProbes = module.Get<values_module::LiveProbesFunction>("LiveProbes");
  auto* canUnload = module.Get<const QuendelCanUnloadFunc*>(QUENDEL_CAN_UNLOAD_SYMBOL);
  ASSERT_TRUE(makeValues && readLocal && fill && liveProbes && canUnload) << module.Error();
  {
    XVector<XValue> values(1, XValue(Local{1.5}));
    const XVector<XValue> copies((makeValues(&values), values));
    const auto* sample = copies.size() == 4 ? copies[1].Get<values_module::Sample>() : nullptr;
    ASSERT_TRUE(sample && copies[2].Get<std::string>() && copies[0].Get<Local>());
    EXPECT_TRUE(sample->unit == "mm" && copies[0].Get<Local>()->number == 1.5);
    EXPECT_EQ(*copies[2].Get<std::string>(), "made there");
    EXPECT_EQ(readLocal(&copies[3]), 11);
#if defined(__GNUC__) && !defined(__clang__)
    // Only GCC tells module-local types of the same name apart.
    EXPECT_TRUE(copies[3].Get<Local>() == nullptr && readLocal(&copies[0]) == -1);
#endif
    XMap map;
    fill(&map);
    XValue count, probe;  // clones made by the provider
    ASSERT_TRUE(map.GetValue("count", count) && map.GetValue("probe", probe) && count.Get<int>());
    EXPECT_EQ(*count.Get<int>(), 3);
    map.RemoveAt("probe");
    EXPECT_EQ(liveProbes(), 1);
    fill(&map);  // only the probe is set again
    fill(&map);  // all refused: the provider frees the probe it made
    EXPECT_EQ(liveProbes(), 2);
    EXPECT_EQ((*canUnload)(), 0);  // values whose holders it made are held here
  }
  EXPECT_EQ(liveProbes(), 0);
  EXPECT_EQ((*canUnload)(), 1);
}
#endif

}  // namespace
}  // namespace quendel::test

QUENDEL_PROPERTY_TEST(MapModel, quendel::test::RunMapModel);
