#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "support/counting_holder.h"
#include "containers/x_vector_test_types.h"

namespace quendel::test {
namespace {

// Elements are read back through the library's at() and the header's operator[] alike.
std::vector<int> ValuesOf(const XVector<XValue>& vector) {
  std::vector<int> values;
  for (std::uint64_t i = 0; i < vector.size(); ++i) values.push_back(ValueOf(vector.at(i)));
  return values;
}

class XValueElementsTest : public ::testing::Test {
 protected:
  // A full vector of `count` counted values 0, 1, ...
  XVector<XValue> Full(int count) {
    XVector<XValue> vector;
    vector.reserve(count);
    for (int i = 0; i < count; ++i) vector.push_back(Counted(i, &log));
    log.clones = 0;
    return vector;
  }

  std::vector<const XValue::Holder*> HoldersOf(const XVector<XValue>& vector) {
    std::vector<const XValue::Holder*> holders;
    for (std::uint64_t i = 0; i < vector.size(); ++i) holders.push_back(vector[i].holder);
    return holders;
  }

  HolderLog log;
};

TEST_F(XValueElementsTest, ReallocationClonesEveryElementAndRvaluePushTakesTheHolder) {
  XVector<XValue> vector = Full(4);
  XValue pushed = Counted(4, &log);
  XValue::Holder* holder = pushed.holder;

  vector.push_back(std::move(pushed));  // full: 4 clones of the old elements, none of this
  EXPECT_TRUE(pushed.Empty());          // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(vector[4].holder, holder);
  EXPECT_EQ(log.clones, 4);
  EXPECT_EQ(log.live, 5);

  vector.push_back(XValue());  // room left: nothing cloned
  EXPECT_EQ(log.clones, 4);
  const XValue five = Counted(5, &log);
  vector.push_back(five);  // full again: the pushed value and the five non-empty elements
  EXPECT_EQ(log.clones, 10);
  vector.shrink_to_fit();
  EXPECT_EQ(log.clones, 16);
  EXPECT_EQ(ValuesOf(vector), (std::vector<int>{0, 1, 2, 3, 4, -1, 5}));

  const XVector<XValue> copy(vector);
  EXPECT_TRUE(copy[5].Empty());
  EXPECT_EQ(log.clones, 22);
}

TEST_F(XValueElementsTest, CountedConstructionAndGrowthGiveEmptyValues) {
  XVector<XValue> vector(5);
  for (std::uint64_t i = 0; i < 5; ++i) EXPECT_TRUE(vector[i].Empty());
  vector.push_back(Counted(9, &log));
  vector.resize(12);
  EXPECT_EQ(ValuesOf(vector), (std::vector<int>{-1, -1, -1, -1, -1, 9, -1, -1, -1, -1, -1, -1}));
  vector.resize(2);
  EXPECT_EQ(log.live, 0);
}

TEST_F(XValueElementsTest, FailedCloneLeavesTheVectorAsItWasAndLeaksNothing) {
  XVector<XValue> vector = Full(4);
  const auto holders = HoldersOf(vector);
  const XValue* block = vector.data();
  XValue extra = Counted(7, &log);
  auto expectUnchanged = [&] {
    EXPECT_EQ(vector.data(), block);
    EXPECT_EQ(vector.capacity(), 4u);
    EXPECT_EQ(HoldersOf(vector), holders);
    EXPECT_EQ(log.live, 5);
  };

  for (int clonesBefore : {0, 2}) {
    SCOPED_TRACE(clonesBefore);
    log.clonesBeforeFailure = clonesBefore;
    EXPECT_THROW(vector.push_back(extra), std::runtime_error);
    expectUnchanged();
    log.clonesBeforeFailure = clonesBefore;
    EXPECT_THROW(vector.resize(9, extra), std::runtime_error);
    expectUnchanged();
    log.clonesBeforeFailure = clonesBefore;
    EXPECT_THROW(vector.resize(9), std::runtime_error);
    expectUnchanged();
    log.clonesBeforeFailure = clonesBefore;
    EXPECT_THROW(vector.reserve(9), std::runtime_error);
    expectUnchanged();
    log.clonesBeforeFailure = clonesBefore;
    XValue::Holder* moving = extra.holder;
    EXPECT_THROW(vector.push_back(std::move(extra)), std::runtime_error);
    EXPECT_EQ(extra.holder, moving);  // NOLINT(bugprone-use-after-move): handed back
    expectUnchanged();
    log.clonesBeforeFailure = clonesBefore;
    EXPECT_THROW(XVector<XValue> copy(vector), std::runtime_error);
    EXPECT_THROW(XVector<XValue> filled(6, extra), std::runtime_error);
    expectUnchanged();
  }

  vector.pop_back();
  log.clonesBeforeFailure = 1;
  EXPECT_THROW(vector.shrink_to_fit(), std::runtime_error);
  EXPECT_EQ(vector.capacity(), 4u);
  EXPECT_EQ(vector.size(), 3u);
  EXPECT_EQ(log.live, 4);
}

TEST_F(XValueElementsTest, FailedCopyAssignmentLeavesTheTargetAsItWas) {
  XVector<XValue> source = Full(12);
  XVector<XValue> target = Full(2);
  target.reserve(10);
  const auto holders = HoldersOf(target);
  const XValue* block = target.data();
  for (int size : {12, 6}) {  // onto a new block, into the old one
    source.resize(size);
    log.clonesBeforeFailure = 5;
    EXPECT_THROW(target = source, std::runtime_error);
    EXPECT_EQ(target.data(), block);
    EXPECT_EQ(target.capacity(), 10u);
    EXPECT_EQ(HoldersOf(target), holders);
    EXPECT_EQ(log.live, 2 + size);
  }
}

TEST_F(XValueElementsTest, OwnElementsCanBePushedResizedWithAndAssigned) {
  XVector<XValue> vector = Full(4);
  vector.push_back(vector[1]);
  vector.resize(8, vector[2]);
  vector.push_back(XValue());
  ASSERT_EQ(vector.size(), vector.capacity());
  // The new element takes the holder before the old elements are copied.
  vector.push_back(std::move(vector[0]));
  EXPECT_EQ(ValuesOf(vector), (std::vector<int>{-1, 1, 2, 3, 1, 2, 2, 2, -1, 0}));

  vector.assign(20, vector[3]);
  EXPECT_EQ(ValuesOf(vector), std::vector<int>(20, 3));
  vector.assign(5, vector[4]);
  EXPECT_EQ(ValuesOf(vector), std::vector<int>(5, 3));
  EXPECT_EQ(log.live, 5);

  // A value living inside an element's holder is gone once that element is overwritten or
  // destroyed: onto a new block, fewer elements, more within the block.
  struct Box {
    XValue inner;
  };
  XVector<XValue> boxes(1);
  for (int count : {3, 2, 3}) {
    boxes[0] = XValue(Box{Counted(count, &log)});
    boxes.assign(count, boxes[0].Get<Box>()->inner);
    EXPECT_EQ(ValuesOf(boxes), std::vector<int>(count, count));
  }
}

TEST_F(XValueElementsTest, AssignmentTakesAVectorHeldByAnElement) {
  const struct {
    int size, capacity, children;
  } cases[] = {{3, 3, 2}, {2, 6, 4}, {1, 1, 3}, {2, 2, 0}};  // fewer, more, new block, none
  for (const auto& c : cases) {
    XVector<XValue> tree = Full(c.size);
    tree.reserve(c.capacity);
    tree[0] = XValue(Full(c.children));
    tree = *tree[0].Get<XVector<XValue>>();
    std::vector<int> expected(c.children);
    for (int i = 0; i < c.children; ++i) expected[i] = i;
    EXPECT_EQ(ValuesOf(tree), expected);
    EXPECT_EQ(log.live, c.children);
  }

  XVector<XValue> tree(1);
  tree[0] = XValue(Full(3));
  tree = std::move(*tree[0].Get<XVector<XValue>>());
  EXPECT_EQ(ValuesOf(tree), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(log.live, 3);
}

TEST(XVectorElementsTest, ScalarOwnElementsSurviveReallocation) {
  XVector<int> numbers(3, 5);
  numbers[2] = 8;
  numbers.push_back(numbers[2]);
  numbers.resize(9, numbers[0]);
  numbers.assign(30, numbers[3]);
  EXPECT_EQ(std::vector<int>(numbers.data(), numbers.data() + numbers.size()),
            std::vector<int>(30, 8));

  XVector<float> zeros(3, 0.0f);
  zeros.assign(2, -0.0f);  // not a zero bit pattern
  EXPECT_TRUE(std::signbit(zeros[1]));
  XVector<char> bytes(4, 'q');
  EXPECT_EQ(std::memcmp(bytes.data(), "qqqq", 4), 0);
}

void CountRelease(char*, size_t, void* user) { ++*static_cast<int*>(user); }

TEST(XVectorElementsTest, BufferElementsShareTheirBlockAndReleaseItOnce) {
  int releases = 0;
  {
    XBuffer buffer(64);
    buffer.SetReleaseCallback(&CountRelease, &releases);
    XVector<XBuffer> buffers;
    for (int i = 0; i < 10; ++i) buffers.push_back(buffer);
    buffers.push_back(std::move(buffer));
    buffers.assign(30, buffers[3]);
    buffers.shrink_to_fit();
    XVector<XBuffer> copy(buffers);
    copy.resize(5);
    for (std::uint64_t i = 0; i < 5; ++i) EXPECT_EQ(copy[i].Data(), buffers[0].Data());
    EXPECT_EQ(buffers[0].refCount->load(), 36);  // the original, 30 and 5 copies
  }
  EXPECT_EQ(releases, 1);
}

TEST(XVectorElementsTest, ImageElementsKeepGeometryAndShareTheirPixels) {
  const XImage image(8, 4, XImage::PIXEL_FORMAT_RGBA);
  XVector<XImage> images(2, image);
  images.push_back(images[0]);
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images[2].Width(), 8u);
  EXPECT_EQ(images[2].planes[0], image.planes[0]);
  EXPECT_EQ(images[2].refCount->load(), 4);
}

TEST(XVectorElementsTest, NestedVectorsAreReplacedByExactCopies) {
  XVector<XVector<int>> outer;
  outer.reserve(2);
  XVector<int> inner(3, 1);
  inner.reserve(20);
  outer.push_back(inner);
  EXPECT_EQ(outer[0].capacity(), 3u);  // a copy allocates exactly
  outer[0].reserve(20);
  outer.push_back(XVector<int>());
  const int* before = outer[0].data();

  outer.push_back(outer[0]);  // full: every inner vector is copied into the new block
  EXPECT_NE(outer[0].data(), before);
  EXPECT_EQ(outer[0].capacity(), 3u);
  EXPECT_EQ(outer[1].data(), nullptr);
  EXPECT_EQ(outer[2].size(), 3u);

  outer.push_back(std::move(inner));
  EXPECT_EQ(inner.capacity(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(outer[3].capacity(), 20u);
  outer.assign(7, outer[3]);
  EXPECT_EQ(outer[6].size(), 3u);
}

struct UntouchableUnknown : framework::CTUnknown {
  int QueryInterface(const char*, void**) override { return ++calls, -1; }
  int AddRef() override { return ++calls; }
  int Release() override { return ++calls; }
  int calls = 0;
};

TEST(XVectorElementsTest, PointerElementsAreNeverReleasedOrFreed) {
  UntouchableUnknown component;
  char text[] = "kept";
  {
    XVector<CTUnknown*> components(3, &component);
    components.push_back(components[0]);
    components.assign(10, &component);
    XVector<char*> texts(2, text);
    texts.push_back(text);
    const XVector<char*> copy(texts);
    EXPECT_EQ(copy[2], text);
  }
  EXPECT_EQ(component.calls, 0);
  EXPECT_STREQ(text, "kept");
}

}  // namespace
}  // namespace quendel::test
