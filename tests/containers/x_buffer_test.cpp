#include "quendel/x_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "buffer_test_support.h"

namespace {

using framework::XBuffer;
using quendel::test::CallbackLog;
using quendel::test::Count;
using quendel::test::RecordRelease;

size_t Capacity(const XBuffer& buffer) {
  return static_cast<size_t>(reinterpret_cast<const char*>(buffer.refCount) - buffer.data);
}

TEST(XBufferTest, OwnedBlockKeepsItsCountAfterTheRoundedUpBytes) {
  for (size_t size : {0u, 1u, 3u, 4u, 5u, 8u, 13u}) {
    XBuffer buffer(size);
    ASSERT_NE(buffer.data, nullptr) << size;
    EXPECT_EQ(Capacity(buffer), (size + 3) / 4 * 4) << size;
    EXPECT_EQ(buffer.size, size);
    EXPECT_EQ(Count(buffer), 1);
    EXPECT_EQ(buffer.releaseCallback, nullptr);
  }
  XBuffer zero(size_t{0});
  EXPECT_TRUE(zero.Empty());
  EXPECT_NE(zero.Data(), nullptr);
}

TEST(XBufferTest, DefaultAndBorrowedBuffersHaveNoCount) {
  XBuffer empty;
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(empty.DataSize(), 0u);
  EXPECT_EQ(empty.refCount, nullptr);
  EXPECT_TRUE(empty.Empty());

  char bytes[6] = "abcde";
  XBuffer borrowed(bytes, 5);
  EXPECT_EQ(borrowed.Data(), bytes);
  EXPECT_EQ(borrowed.refCount, nullptr);
  EXPECT_FALSE(borrowed.Empty());
  char x = 'X';
  EXPECT_TRUE(borrowed.Write(&x, 1, 4));
  EXPECT_STREQ(bytes, "abcdX");
}

TEST(XBufferTest, CopiesAndAssignmentsShareTheBlockAndCountIt) {
  XBuffer first(10);
  {
    XBuffer second(first);
    XBuffer third;
    third = second;
    EXPECT_EQ(second.data, first.data);
    EXPECT_EQ(third.refCount, first.refCount);
    EXPECT_EQ(Count(first), 3);

    third = third;  // self
    EXPECT_EQ(Count(first), 3);
    third = first;  // a copy sharing the same block
    EXPECT_EQ(Count(first), 3);
    EXPECT_EQ(third.data, first.data);

    XBuffer other(4);
    second = other;  // leaves first's block
    EXPECT_EQ(Count(first), 2);
    EXPECT_EQ(Count(other), 2);
  }
  EXPECT_EQ(Count(first), 1);
}

TEST(XBufferTest, CreateReusesTheBlockOnlyForTheSoleHolderWhenItFits) {
  XBuffer buffer(5);
  std::memcpy(buffer.data, "12345", 5);
  char* block = buffer.data;
  ASSERT_TRUE(buffer.Create(8));
  EXPECT_EQ(buffer.data, block);
  EXPECT_EQ(buffer.size, 8u);
  EXPECT_EQ(std::memcmp(buffer.data, "12345", 5), 0);
  ASSERT_TRUE(buffer.Create(2));
  EXPECT_EQ(buffer.data, block);

  ASSERT_TRUE(buffer.Create(9));
  EXPECT_EQ(Capacity(buffer), 12u);

  XBuffer copy(buffer);
  std::memcpy(buffer.data, "old", 3);
  ASSERT_TRUE(buffer.Create(4));
  EXPECT_NE(buffer.data, copy.data);
  EXPECT_EQ(Count(copy), 1);
  EXPECT_EQ(Count(buffer), 1);
  EXPECT_EQ(std::memcmp(copy.data, "old", 3), 0);

  char bytes[4] = {};
  XBuffer borrowed(bytes, 4);
  ASSERT_TRUE(borrowed.Create(2));
  EXPECT_NE(borrowed.data, bytes);
  EXPECT_EQ(Count(borrowed), 1);
}

TEST(XBufferTest, WriteStaysInsideTheBytesInUse) {
  XBuffer buffer(8);
  char source[9] = "abcdefgh";
  EXPECT_TRUE(buffer.Write(source, 8, 0));
  EXPECT_TRUE(buffer.Write(source, 3, 5));
  EXPECT_FALSE(buffer.Write(source, 4, 5));
  EXPECT_FALSE(buffer.Write(source, 9, 0));
  EXPECT_FALSE(buffer.Write(source, 0, 0));
  EXPECT_FALSE(buffer.Write(source, 0, 100));
  EXPECT_FALSE(buffer.Write(nullptr, 1, 0));
  // offset + length wraps around to a small number.
  EXPECT_FALSE(buffer.Write(source, SIZE_MAX, 2));
  EXPECT_FALSE(buffer.Write(source, 2, SIZE_MAX));
  EXPECT_EQ(std::string(buffer.data, 8), "abcdeabc");
}

TEST(XBufferTest, WriteHandlesOverlappingRanges) {
  XBuffer buffer(8);
  std::memcpy(buffer.data, "abcdefgh", 8);
  EXPECT_TRUE(buffer.Write(buffer.data, 6, 2));
  EXPECT_EQ(std::string(buffer.data, 8), "ababcdef");
  EXPECT_TRUE(buffer.Write(buffer.data + 2, 6, 0));
  EXPECT_EQ(std::string(buffer.data, 8), "abcdefef");
}

TEST(XBufferTest, WriteWithASizeButNoStorageFails) {
  XBuffer nullView(nullptr, 16);
  char source[4] = {};
  EXPECT_FALSE(nullView.Write(source, 4, 0));
  EXPECT_TRUE(nullView.Empty());
}

TEST(XBufferTest, CallbackRunsOnceForTheLastHolderWithItsSizeAndUser) {
  CallbackLog log;
  {
    XBuffer a(12);
    XBuffer b(a);
    XBuffer c(a);
    c.SetReleaseCallback(RecordRelease, &log);
    ASSERT_TRUE(c.Create(6));  // shared, so c gets a new block and keeps the callback
    XBuffer d(c);
    c.Release();
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(c.releaseCallback, &RecordRelease);  // Release keeps the callback fields
    d.size = 3;                                    // the last holder reports its own size
    char* block = d.data;
    d = a;
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].data, block);
    EXPECT_EQ(log.calls[0].size, 3u);
    EXPECT_EQ(log.calls[0].user, &log);
    EXPECT_EQ(Count(a), 3);  // a, b, d
  }
  EXPECT_EQ(log.calls.size(), 1u);  // a's block had no callback

  {
    XBuffer zero(size_t{0});
    zero.SetReleaseCallback(RecordRelease, &log);
    XBuffer copy(zero);
  }
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[1].size, 0u);

  char bytes[4] = {};
  {
    XBuffer borrowed(bytes, 4);
    borrowed.SetReleaseCallback(RecordRelease, &log);
    XBuffer empty;
    empty.SetReleaseCallback(RecordRelease, &log);
  }
  EXPECT_EQ(log.calls.size(), 2u);
}

TEST(XBufferTest, CallbackOfTheCopyDestroyedLastIsTheOneCalled) {
  CallbackLog first;
  CallbackLog last;
  auto* a = new XBuffer(7);
  a->SetReleaseCallback(RecordRelease, &first);
  auto* b = new XBuffer(*a);  // takes over a's callback
  auto* c = new XBuffer(*a);
  c->SetReleaseCallback(RecordRelease, &last);
  delete a;
  delete b;
  EXPECT_TRUE(first.calls.empty());
  delete c;
  EXPECT_TRUE(first.calls.empty());
  ASSERT_EQ(last.calls.size(), 1u);
  EXPECT_EQ(last.calls[0].size, 7u);
}

TEST(XBufferTest, CloneAndCopyToMakeIndependentOwnedCopies) {
  char bytes[6] = "hello";
  XBuffer borrowed(bytes, 5);
  borrowed.SetReleaseCallback(RecordRelease, nullptr);
  XBuffer clone = borrowed.Clone();
  EXPECT_NE(clone.data, bytes);
  EXPECT_EQ(Count(clone), 1);
  EXPECT_EQ(clone.releaseCallback, nullptr);
  EXPECT_EQ(std::string(clone.data, clone.size), "hello");
  bytes[0] = 'J';
  EXPECT_EQ(clone.data[0], 'h');

  XBuffer empty;
  XBuffer emptyClone = empty.Clone();
  EXPECT_EQ(emptyClone.data, nullptr);
  EXPECT_EQ(emptyClone.refCount, nullptr);

  CallbackLog log;
  XBuffer target(3);
  target.SetReleaseCallback(RecordRelease, &log);
  XBuffer sharer(target);
  borrowed.CopyTo(target);
  EXPECT_EQ(std::string(target.data, target.size), "Jello");
  EXPECT_NE(target.data, sharer.data);
  EXPECT_EQ(target.releaseCallback, &RecordRelease);

  empty.CopyTo(target);
  EXPECT_EQ(target.size, 0u);
}

TEST(XBufferTest, CopyToItselfKeepsTheBytes) {
  XBuffer owned(4);
  std::memcpy(owned.data, "abcd", 4);
  owned.CopyTo(owned);
  EXPECT_EQ(std::string(owned.data, 4), "abcd");

  XBuffer sharer(owned);
  owned.CopyTo(owned);  // must take a block of its own and still copy the bytes
  EXPECT_NE(owned.data, sharer.data);
  EXPECT_EQ(std::string(owned.data, 4), "abcd");

  char bytes[3] = {'x', 'y', 'z'};
  XBuffer borrowed(bytes, 3);
  borrowed.CopyTo(borrowed);
  EXPECT_NE(borrowed.data, bytes);
  EXPECT_EQ(std::string(borrowed.data, 3), "xyz");
}

TEST(XBufferTest, AFailedAllocationLeavesTheBufferEmpty) {
  const size_t unobtainable = size_t{1} << 62;
  // The last sizes would make r + 4 wrap around to a tiny block.
  for (size_t size : {unobtainable, SIZE_MAX / 2 + 1, SIZE_MAX - 7, SIZE_MAX - 4, SIZE_MAX}) {
    XBuffer constructed(size);
    EXPECT_EQ(constructed.data, nullptr) << size;
    EXPECT_EQ(constructed.size, 0u);
    EXPECT_EQ(constructed.refCount, nullptr);
    EXPECT_TRUE(constructed.Empty());

    CallbackLog log;
    XBuffer created(8);
    created.SetReleaseCallback(RecordRelease, &log);
    EXPECT_FALSE(created.Create(size)) << size;
    EXPECT_EQ(log.calls.size(), 1u);  // the old block went
    EXPECT_EQ(created.data, nullptr);
    EXPECT_EQ(created.size, 0u);
    EXPECT_EQ(created.refCount, nullptr);
    EXPECT_EQ(created.releaseCallback, &RecordRelease);
    char byte = 0;
    EXPECT_FALSE(created.Write(&byte, 1, 0));
    EXPECT_TRUE(created.Create(4));  // and it recovers
  }
}

}  // namespace

// Sizes no allocator can serve must come back as null under the sanitizers too, not abort.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
