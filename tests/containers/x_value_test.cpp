#include "quendel/x_value.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "support/counting_holder.h"

using framework::XValue;
using quendel::test::Counted;
using quendel::test::HolderLog;
using quendel::test::ValueOf;

namespace {

struct Local {
  int number;
};

TEST(XValueTest, CopiesCloneBeforeTheOldHolderGoesAndEmptyValuesCallNothing) {
  HolderLog log;
  {
    const XValue empty;
    XValue copy(empty);
    EXPECT_TRUE(copy.Empty());
    EXPECT_EQ(log.clones + log.destructions, 0);

    const XValue source = Counted(2, &log);
    copy = source;
    XValue target = Counted(1, &log);
    target = source;
    EXPECT_NE(target.holder, source.holder);
    EXPECT_EQ(ValueOf(target), 2);
    EXPECT_EQ(log.clones, 2);
    EXPECT_EQ(log.destructions, 1);

    const XValue& alias = target;
    XValue::Holder* before = target.holder;
    target = alias;  // the value survives in a fresh holder
    EXPECT_NE(target.holder, before);
    EXPECT_EQ(ValueOf(target), 2);
    EXPECT_EQ(log.destructions, 2);

    target = empty;
    EXPECT_TRUE(target.Empty());
    EXPECT_EQ(log.destructions, 3);
    EXPECT_EQ(log.live, 2);
  }
  EXPECT_EQ(log.live, 0);
}

TEST(XValueTest, ThrowingCloneLeavesTheDestinationAsItWas) {
  HolderLog log;
  XValue target = Counted(1, &log);
  const XValue source = Counted(2, &log);
  XValue::Holder* before = target.holder;

  log.clonesBeforeFailure = 0;
  EXPECT_THROW(target = source, std::runtime_error);
  EXPECT_EQ(target.holder, before);
  EXPECT_THROW(XValue copy(source), std::runtime_error);
  EXPECT_EQ(log.live, 2);
}

TEST(XValueTest, MovesHandTheHolderOverWithoutCallingIt) {
  HolderLog log;
  XValue source = Counted(3, &log);
  XValue::Holder* holder = source.holder;

  XValue moved(std::move(source));
  EXPECT_EQ(moved.holder, holder);
  EXPECT_TRUE(source.Empty());  // NOLINT(bugprone-use-after-move)

  XValue target = Counted(4, &log);
  target = std::move(moved);
  EXPECT_EQ(target.holder, holder);
  EXPECT_TRUE(moved.Empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(log.clones, 0);
  EXPECT_EQ(log.destructions, 1);  // the 4 that target held

  XValue& self = target;
  target = std::move(self);
  EXPECT_EQ(target.holder, holder);
}

TEST(XValueTest, TypedValuesAreReadOnlyAsTheirOwnType) {
  XValue number(42);
  ASSERT_NE(number.Get<int>(), nullptr);
  EXPECT_EQ(*number.Get<int>(), 42);
  EXPECT_EQ(number.Get<long>(), nullptr);
  EXPECT_EQ(XValue().Get<int>(), nullptr);
  EXPECT_TRUE(XValue(static_cast<XValue::Holder*>(nullptr)).Empty());

  // Copying from a non-const value is a copy, not a value holding a value.
  XValue copy(number);
  ASSERT_NE(copy.Get<int>(), nullptr);
  *copy.Get<int>() = 1;
  EXPECT_EQ(*number.Get<int>(), 42);

  const XValue text(std::string("abc"));
  ASSERT_NE(text.Get<std::string>(), nullptr);
  EXPECT_EQ(*text.Get<std::string>(), "abc");

  const XValue local(Local{5});
  ASSERT_NE(local.Get<Local>(), nullptr);
  EXPECT_EQ(local.Get<Local>()->number, 5);
}

// A module's own holder written to the two operations the library relies on.
class PlainHolder final : public XValue::Holder {
 public:
  explicit PlainHolder(HolderLog* log) : log_(log) { ++log_->live; }
  ~PlainHolder() override { --log_->live; }
  Holder* Clone() const override { return ++log_->clones, new PlainHolder(log_); }

 private:
  HolderLog* log_;
};

TEST(XValueTest, AHolderWithoutATypeNameIsCopiedMovedAndDestroyedButNeverReadBack) {
  HolderLog log;
  {
    const XValue value(new PlainHolder(&log));
    XValue copy(value);
    XValue moved(std::move(copy));
    copy = moved;
    EXPECT_EQ(value.holder->TypeName(), nullptr);
    EXPECT_EQ(moved.Get<int>(), nullptr);
    EXPECT_EQ(log.clones, 2);
    EXPECT_EQ(log.live, 3);
  }
  EXPECT_EQ(log.live, 0);
}

}  // namespace
