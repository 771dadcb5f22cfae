#include "quendel/x_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "buffer_test_support.h"

namespace {

using framework::XBuffer;
using quendel::test::CallbackLog;
using quendel::test::Count;
using quendel::test::RecordRelease;

size_t Capacity(const XBuffer& buffer) {
  return static_cast<size_t>(reinterpret_cast<const char*>(buffer.refCount) - buffer.data);
}

TEST(XBufferTest, BlockKeepsItsCountAfterTheRoundedUpBytesAndCopiesShareIt) {
  for (size_t size : {0u, 1u, 4u, 5u, 13u}) {
    XBuffer buffer(size);
    ASSERT_NE(buffer.data, nullptr) << size;
    EXPECT_EQ(Capacity(buffer), (size + 3) / 4 * 4) << size;
    EXPECT_EQ(Count(buffer), 1);
  }
  EXPECT_TRUE(XBuffer(size_t{0}).Empty());

  XBuffer first(10);
  {
    XBuffer second(first);
    XBuffer third;
    third = second;
    EXPECT_EQ(Count(first), 3);
    const XBuffer& self = third;
    third = self;
    third = first;  // already shares the block
    EXPECT_EQ(Count(first), 3);
    second = XBuffer(4);
    EXPECT_EQ(Count(first), 2);
  }
  EXPECT_EQ(Count(first), 1);
}

TEST(XBufferTest, CreateReusesTheBlockOnlyForTheSoleHolderWhenItFits) {
  XBuffer buffer(5);
  std::memcpy(buffer.data, "12345", 5);
  char* block = buffer.data;
  ASSERT_TRUE(buffer.Create(8));
  EXPECT_EQ(buffer.data, block);
  EXPECT_EQ(std::memcmp(buffer.data, "12345", 5), 0);
  ASSERT_TRUE(buffer.Create(9));
  EXPECT_EQ(Capacity(buffer), 12u);

  XBuffer copy(buffer);
  std::memcpy(buffer.data, "old", 3);
  ASSERT_TRUE(buffer.Create(4));
  EXPECT_NE(buffer.data, copy.data);
  EXPECT_EQ(Count(copy), 1);
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
  EXPECT_FALSE(buffer.Write(source, 0, 0));
  EXPECT_FALSE(buffer.Write(nullptr, 1, 0));
  EXPECT_FALSE(buffer.Write(source, SIZE_MAX, 2));  // offset + length wraps around
  EXPECT_FALSE(buffer.Write(source, 2, SIZE_MAX));
  EXPECT_EQ(std::string(buffer.data, 8), "abcdeabc");

  EXPECT_TRUE(buffer.Write(buffer.data, 6, 2));  // overlapping ranges
  EXPECT_EQ(std::string(buffer.data, 8), "ababcdea");

  XBuffer nullView(nullptr, 16);  // a size without storage
  EXPECT_FALSE(nullView.Write(source, 4, 0));
}

TEST(XBufferTest, CallbackRunsOnceForTheLastHolderWithItsSizeAndUser) {
  CallbackLog first;
  CallbackLog last;
  {
    auto* a = new XBuffer(7);
    a->SetReleaseCallback(RecordRelease, &first);
    XBuffer b(*a);  // takes over a's callback
    XBuffer c(*a);
    c.SetReleaseCallback(RecordRelease, &last);
    delete a;
    c.size = 3;  // the last holder reports its own size
    char* block = c.data;
    b.Release();
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(b.releaseCallback, &RecordRelease);  // Release keeps the callback fields
    c = XBuffer(1);
    ASSERT_EQ(last.calls.size(), 1u);
    EXPECT_EQ(last.calls[0].data, block);
    EXPECT_EQ(last.calls[0].size, 3u);
    EXPECT_EQ(last.calls[0].user, &last);
  }
  EXPECT_TRUE(first.calls.empty());
  EXPECT_EQ(last.calls.size(), 1u);  // the assigned block came without a callback

  {
    XBuffer zero(size_t{0});
    zero.SetReleaseCallback(RecordRelease, &last);
    char bytes[4] = {};
    XBuffer borrowed(bytes, 4);
    borrowed.SetReleaseCallback(RecordRelease, &first);
    XBuffer empty;
    empty.SetReleaseCallback(RecordRelease, &first);
  }
  ASSERT_EQ(last.calls.size(), 2u);
  EXPECT_EQ(last.calls[1].size, 0u);
  EXPECT_TRUE(first.calls.empty());
}

void ThrowingRelease(char* data, size_t size, void* user) {
  RecordRelease(data, size, user);
  throw std::runtime_error("host callback failed");
}

TEST(XBufferTest, AThrowingCallbackIsDroppedAndTheBlockStillFreed) {
  CallbackLog log;
  {
    XBuffer destroyed(8);
    destroyed.SetReleaseCallback(ThrowingRelease, &log);
    XBuffer released(4);
    released.SetReleaseCallback(ThrowingRelease, &log);
    released.Release();
    EXPECT_EQ(released.data, nullptr);
    EXPECT_EQ(log.calls.size(), 1u);
  }
  EXPECT_EQ(log.calls.size(), 2u);  // and no leak under the sanitizers and valgrind
}

TEST(XBufferTest, CloneAndCopyToMakeIndependentCopies) {
  char bytes[6] = "hello";
  XBuffer borrowed(bytes, 5);
  borrowed.SetReleaseCallback(RecordRelease, nullptr);
  XBuffer clone = borrowed.Clone();
  EXPECT_EQ(Count(clone), 1);
  EXPECT_EQ(clone.releaseCallback, nullptr);
  bytes[0] = 'J';
  EXPECT_EQ(std::string(clone.data, clone.size), "hello");
  EXPECT_EQ(XBuffer().Clone().data, nullptr);

  XBuffer target(3);
  target.SetReleaseCallback(RecordRelease, nullptr);
  XBuffer sharer(target);
  borrowed.CopyTo(target);
  EXPECT_EQ(std::string(target.data, target.size), "Jello");
  EXPECT_NE(target.data, sharer.data);
  EXPECT_EQ(target.releaseCallback, &RecordRelease);

  XBuffer keep(target);
  target.CopyTo(target);  // onto itself while shared: a block of its own, same bytes
  EXPECT_NE(target.data, keep.data);
  EXPECT_EQ(std::string(target.data, target.size), "Jello");

  // From a buffer without data: released, as Clone gives it, not sized and uninitialised.
  for (const XBuffer& empty : {XBuffer(), XBuffer(nullptr, 1 << 20), XBuffer(size_t{0})}) {
    ASSERT_TRUE(target.Create(5));
    empty.CopyTo(target);
    EXPECT_EQ(target.data, nullptr);
    EXPECT_EQ(target.size, 0u);
    EXPECT_EQ(target.releaseCallback, &RecordRelease);
  }
}

TEST(XBufferTest, AFailedAllocationLeavesTheBufferEmpty) {
  // 2^62 no allocator serves; the others would make r + 4 wrap around to a tiny block.
  for (size_t size : {size_t{1} << 62, SIZE_MAX - 7, SIZE_MAX - 4, SIZE_MAX}) {
    XBuffer constructed(size);
    EXPECT_EQ(constructed.data, nullptr) << size;
    EXPECT_EQ(constructed.size, 0u);
    EXPECT_EQ(constructed.refCount, nullptr);

    CallbackLog log;
    XBuffer created(8);
    created.SetReleaseCallback(RecordRelease, &log);
    EXPECT_FALSE(created.Create(size)) << size;
    EXPECT_EQ(log.calls.size(), 1u);  // the old block went
    EXPECT_EQ(created.data, nullptr);
    EXPECT_EQ(created.size, 0u);
    EXPECT_EQ(created.releaseCallback, &RecordRelease);
    char byte = 0;
    EXPECT_FALSE(created.Write(&byte, 1, 0));
  }
}

}  // namespace

// Sizes no allocator can serve must come back as null under the sanitizers too, not abort.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
