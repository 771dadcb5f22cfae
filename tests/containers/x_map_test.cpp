#include "quendel/x_map.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/log_capture.h"

using framework::XMap;
using framework::XValue;
using quendel::test::LogCapture;

// Modules hold maps by pointer-sized value; nothing may be copied or moved out from under them.
static_assert(sizeof(XMap) == sizeof(void*));
static_assert(!std::is_copy_constructible_v<XMap> && !std::is_copy_assignable_v<XMap>);
static_assert(!std::is_move_constructible_v<XMap> && !std::is_move_assignable_v<XMap>);
static_assert(std::is_same_v<decltype(std::declval<const XMap&>().GetValue("")), XValue*>);

namespace {

struct HolderCounts {
  int clones = 0;
  int destructions = 0;
};

// Counts every holder operation the map causes; can be told to fail its Clone.
class CountingHolder final : public XValue::Holder {
 public:
  CountingHolder(int value, HolderCounts* counts, bool failClone)
      : value(value), counts_(counts), failClone_(failClone) {}
  ~CountingHolder() override { ++counts_->destructions; }

  Holder* Clone() const override {
    if (failClone_) throw std::runtime_error("clone failed");
    ++counts_->clones;
    return new CountingHolder(value, counts_, false);
  }
  const char* TypeName() const override { return "CountingHolder"; }

  const int value;

 private:
  HolderCounts* counts_;
  bool failClone_;
};

std::string Refusal(int line, const std::string& key) {
  return "[framework::XMap::Impl::SetValue][" + std::to_string(line) +
         "] XMap SetValue failed. found key:" + key;
}

class XMapTest : public ::testing::Test {
 protected:
  XValue Counted(int value) { return XValue(new CountingHolder(value, &counts, false)); }
  XValue FailingClone(int value) { return XValue(new CountingHolder(value, &counts, true)); }

  static int ValueOf(const XValue* stored) {
    return static_cast<const CountingHolder*>(stored->holder)->value;
  }

  HolderCounts counts;
};

TEST_F(XMapTest, CopyingSetInsertsOneCloneAndRefusesAPresentKey) {
  XMap map;
  const XValue first = Counted(1);
  map.SetValue("key", first);
  EXPECT_EQ(counts.clones, 1);
  XValue* stored = map.GetValue("key");
  ASSERT_NE(stored, nullptr);
  ASSERT_NE(stored->holder, first.holder);
  XValue::Holder* storedHolder = stored->holder;

  const XValue second = Counted(2);
  LogCapture log;
  map.SetValue("key", second);

  EXPECT_EQ(log.Texts(), std::vector<std::string>{Refusal(30, "key")});
  EXPECT_EQ(counts.clones, 1);
  EXPECT_EQ(counts.destructions, 0);
  EXPECT_EQ(map.GetValue("key"), stored);
  EXPECT_EQ(stored->holder, storedHolder);
  EXPECT_EQ(ValueOf(stored), 1);
}

TEST_F(XMapTest, MovingSetTakesTheHolderAndOnRefusalLeavesTheArgumentAlone) {
  XMap map;
  XValue first = Counted(1);
  XValue::Holder* firstHolder = first.holder;
  map.SetValue("key", std::move(first));
  EXPECT_TRUE(first.Empty());
  EXPECT_EQ(map.GetValue("key")->holder, firstHolder);

  XValue second = Counted(2);
  XValue::Holder* secondHolder = second.holder;
  LogCapture log;
  map.SetValue("key", std::move(second));

  EXPECT_EQ(log.Texts(), std::vector<std::string>{Refusal(22, "key")});
  EXPECT_EQ(second.holder, secondHolder);
  EXPECT_EQ(map.GetValue("key")->holder, firstHolder);
  EXPECT_EQ(counts.clones, 0);
  EXPECT_EQ(counts.destructions, 0);
}

TEST_F(XMapTest, EmptyValuesAreStoredAndCopiedOutAsEmpty) {
  XMap map;
  const XValue empty;
  map.SetValue("copied", empty);
  map.SetValue("moved", XValue());
  for (const char* key : {"copied", "moved"}) {
    XValue* stored = map.GetValue(key);
    ASSERT_NE(stored, nullptr) << key;
    EXPECT_TRUE(stored->Empty()) << key;
  }

  XValue out = Counted(5);
  EXPECT_TRUE(map.GetValue("copied", out));
  EXPECT_TRUE(out.Empty());
  EXPECT_EQ(counts.destructions, 1);
  EXPECT_EQ(counts.clones, 0);
}

TEST_F(XMapTest, CopyOutClonesTheStoredValueAndDestroysThePreviousOne) {
  XMap map;
  map.SetValue("key", Counted(1));
  XValue out = Counted(2);

  EXPECT_TRUE(map.GetValue("key", out));

  EXPECT_EQ(counts.clones, 1);
  EXPECT_EQ(counts.destructions, 1);
  EXPECT_NE(out.holder, map.GetValue("key")->holder);
  EXPECT_EQ(ValueOf(&out), 1);
  EXPECT_EQ(ValueOf(map.GetValue("key")), 1);
}

TEST_F(XMapTest, AbsentKeyIsNeitherFoundNorAddedAndOutIsUntouched) {
  XMap map;
  const XMap& constMap = map;
  EXPECT_EQ(map.GetValue("absent"), nullptr);
  EXPECT_EQ(constMap.GetValue("absent"), nullptr);

  XValue out = Counted(7);
  XValue::Holder* outHolder = out.holder;
  EXPECT_FALSE(map.GetValue("absent", out));
  EXPECT_EQ(out.holder, outHolder);
  EXPECT_EQ(counts.clones, 0);
  EXPECT_EQ(counts.destructions, 0);

  LogCapture log;
  map.RemoveAt("absent");
  map.SetValue("absent", Counted(8));  // not refused: the lookups added nothing
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(XMapTest, RemoveAtDestroysTheValueOnceAndFreesTheKey) {
  XMap map;
  map.SetValue("key", Counted(1));
  map.RemoveAt("key");
  EXPECT_EQ(counts.destructions, 1);
  EXPECT_EQ(map.GetValue("key"), nullptr);

  LogCapture log;
  map.SetValue("key", Counted(2));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(ValueOf(map.GetValue("key")), 2);
}

TEST_F(XMapTest, KeysAreCopiedExactBytesUpToTheNul) {
  XMap map;
  char buffer[] = "abc";
  map.SetValue(buffer, XValue(1));
  buffer[0] = 'x';
  EXPECT_NE(map.GetValue("abc"), nullptr);
  EXPECT_EQ(map.GetValue("xbc"), nullptr);

  map.SetValue("", XValue(2));
  map.SetValue("Key", XValue(3));
  map.SetValue("key", XValue(4));
  EXPECT_EQ(*map.GetValue("")->Get<int>(), 2);
  EXPECT_EQ(*map.GetValue("Key")->Get<int>(), 3);
  EXPECT_EQ(*map.GetValue("key")->Get<int>(), 4);
  EXPECT_EQ(map.GetValue("KEY"), nullptr);
  EXPECT_EQ(*map.GetValue("abc\0def")->Get<int>(), 1);
}

TEST_F(XMapTest, PointerFromAConstMapChangesTheValueInPlaceAndSurvivesRehashing) {
  XMap map;
  map.SetValue("anchor", XValue(0));
  const XMap& constMap = map;
  XValue* anchor = constMap.GetValue("anchor");
  *anchor = XValue(std::string("kept"));

  for (int i = 0; i < 20000; ++i) map.SetValue(("key" + std::to_string(i)).c_str(), XValue(i));

  EXPECT_EQ(map.GetValue("anchor"), anchor);
  EXPECT_EQ(*anchor->Get<std::string>(), "kept");
  EXPECT_EQ(*map.GetValue("key19999")->Get<int>(), 19999);
}

TEST_F(XMapTest, DestroyingTheMapDestroysEachStoredHolderOnce) {
  {
    XMap map;
    for (int i = 0; i < 100; ++i) map.SetValue(("value" + std::to_string(i)).c_str(), Counted(i));
    for (int i = 0; i < 10; ++i) map.SetValue(("empty" + std::to_string(i)).c_str(), XValue());
    map.RemoveAt("value0");
    EXPECT_EQ(counts.destructions, 1);
  }
  EXPECT_EQ(counts.destructions, 100);
  EXPECT_EQ(counts.clones, 0);
}

TEST_F(XMapTest, FailingCloneLeavesTheNewKeyEmptyAndTheOutValueUnchanged) {
  XMap map;
  const XValue failing = FailingClone(3);
  EXPECT_THROW(map.SetValue("key", failing), std::runtime_error);
  XValue* stored = map.GetValue("key");
  ASSERT_NE(stored, nullptr);
  EXPECT_TRUE(stored->Empty());

  map.SetValue("source", FailingClone(4));
  XValue out = Counted(5);
  XValue::Holder* outHolder = out.holder;
  EXPECT_THROW(map.GetValue("source", out), std::runtime_error);
  EXPECT_EQ(out.holder, outHolder);
  EXPECT_EQ(counts.destructions, 0);
}

TEST_F(XMapTest, NullKeyIsRefusedNeverFoundAndNeverRemoves) {
  XMap map;
  const XMap& constMap = map;
  map.SetValue("", Counted(1));

  LogCapture log;
  const XValue copied = Counted(2);
  map.SetValue(nullptr, copied);
  XValue moved = Counted(3);
  XValue::Holder* movedHolder = moved.holder;
  map.SetValue(nullptr, std::move(moved));
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{Refusal(30, ""), Refusal(22, "")}));
  EXPECT_EQ(moved.holder, movedHolder);

  EXPECT_EQ(map.GetValue(nullptr), nullptr);
  EXPECT_EQ(constMap.GetValue(nullptr), nullptr);
  XValue out = Counted(4);
  XValue::Holder* outHolder = out.holder;
  EXPECT_FALSE(map.GetValue(nullptr, out));
  EXPECT_EQ(out.holder, outHolder);

  map.RemoveAt(nullptr);
  ASSERT_NE(map.GetValue(""), nullptr);
  EXPECT_EQ(ValueOf(map.GetValue("")), 1);
  EXPECT_EQ(counts.clones, 0);
  EXPECT_EQ(counts.destructions, 0);
}

}  // namespace
