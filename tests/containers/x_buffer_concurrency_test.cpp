#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "quendel/x_buffer.h"
#include "quendel/x_image.h"

namespace {

using framework::XBuffer;
using framework::XImage;

constexpr int kThreads = 4;
constexpr int kCopiesPerThread = 200;
constexpr int kRounds = 50;

struct ReleaseTally {
  std::atomic<int> calls{0};
  std::atomic<size_t> lastSize{0};
  std::atomic<int> marksSeen{0};
};

void Tally(char* data, size_t size, void* user) {
  auto* tally = static_cast<ReleaseTally*>(user);
  tally->lastSize = size;
  // Every thread's write must be visible to whichever thread drops the last hold.
  int marks = 0;
  for (int t = 0; t < kThreads; ++t) marks += data[1 + t] == 'a' + t;
  tally->marksSeen = marks;
  tally->calls.fetch_add(1);
}

// Each thread takes copies of `original`, copies and reassigns them among themselves, marks
// its own byte and drops them all; the original goes first, so one of the threads drops
// the last hold.
template <typename T>
void ReleaseFromManyThreads(T* original) {
  std::vector<std::thread> threads;
  std::atomic<bool> go{false};
  std::vector<std::vector<T>> copies(kThreads);
  for (auto& batch : copies) batch.assign(kCopiesPerThread, *original);
  delete original;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&go, &batch = copies[t], t] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 1; i < kCopiesPerThread; ++i) batch[i] = batch[i - 1];
      T extra(batch.back());
      batch.clear();
      extra.data[1 + t] = static_cast<char>('a' + t);
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
}

TEST(XBufferConcurrencyTest, CopiesReleasedOnManyThreadsFreeTheBlockOnce) {
  for (int round = 0; round < kRounds; ++round) {
    ReleaseTally tally;
    auto* buffer = new XBuffer(33);
    buffer->SetReleaseCallback(Tally, &tally);
    ReleaseFromManyThreads(buffer);
    ASSERT_EQ(tally.calls.load(), 1) << round;
    EXPECT_EQ(tally.lastSize.load(), 33u);
    EXPECT_EQ(tally.marksSeen.load(), kThreads);
  }
}

TEST(XBufferConcurrencyTest, ImageCopiesReleasedOnManyThreadsFreeTheBlockOnce) {
  for (int round = 0; round < kRounds; ++round) {
    ReleaseTally tally;
    auto* image = new XImage(8, 6, XImage::PIXEL_FORMAT_PLANAR_420);
    image->SetReleaseCallback(Tally, &tally);
    ReleaseFromManyThreads(image);
    ASSERT_EQ(tally.calls.load(), 1) << round;
    EXPECT_EQ(tally.lastSize.load(), 8u * 6 + 4 * 6);
    EXPECT_EQ(tally.marksSeen.load(), kThreads);
  }
}

// The holder left alone reuses the block in place. The other thread's read must happen
// before that reuse's Write, ordered by the count alone: the wait below is relaxed.
TEST(XBufferConcurrencyTest, ReuseAfterAnotherThreadsLastReleaseWritesAfterItsReads) {
  for (int round = 0; round < kRounds; ++round) {
    XBuffer buffer(8);
    std::memset(buffer.data, 'x', 8);
    auto* copy = new XBuffer(buffer);
    std::atomic<char> seen{0};
    std::thread reader([copy, &seen] {
      seen.store(copy->data[0], std::memory_order_relaxed);
      delete copy;
    });
    while (buffer.refCount->load(std::memory_order_relaxed) != 1) std::this_thread::yield();
    char* const block = buffer.data;
    EXPECT_TRUE(buffer.Create(8));
    EXPECT_EQ(buffer.data, block);
    char byte = 'y';
    EXPECT_TRUE(buffer.Write(&byte, 1, 0));
    reader.join();
    EXPECT_EQ(seen.load(), 'x');
  }
}

}  // namespace
