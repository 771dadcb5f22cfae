// The shared count of XBuffer and XImage across threads (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "quendel/x_image.h"

namespace {

using framework::XBuffer;
using framework::XImage;

struct Tally {
  std::atomic<int> calls{0}, marks{0};
  std::atomic<size_t> size{0};
};

void Count(char* data, size_t size, void* user) {
  auto* tally = static_cast<Tally*>(user);
  // Every thread's write must be visible to the one that frees the block.
  for (int t = 0; t < 4; ++t) tally->marks += data[t] == 'a' + t;
  tally->size = size;
  ++tally->calls;
}

// Four threads pass copies around and drop them, each marking its byte last; the original
// goes first, so one of them drops the last hold.
template <typename Make>
void FreedOnceFromFourThreads(Make make, size_t size) {
  using T = decltype(make());
  for (int round = 0; round < 50; ++round) {
    Tally tally;
    std::vector<std::vector<T>> copies(4);
    {
      T original = make();
      original.SetReleaseCallback(Count, &tally);
      for (auto& batch : copies) batch.assign(100, original);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&batch = copies[t], t] {
        for (size_t i = 1; i < batch.size(); ++i) batch[i] = batch[i - 1];
        T last(batch.back());
        batch.clear();
        last.data[t] = static_cast<char>('a' + t);
      });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(tally.calls, 1);
    EXPECT_EQ(tally.size, size);
    EXPECT_EQ(tally.marks, 4);
  }
}

TEST(XBufferConcurrencyTest, CopiesDroppedOnFourThreadsFreeTheBlockOnce) {
  FreedOnceFromFourThreads([] { return XBuffer(33); }, 33);
  FreedOnceFromFourThreads([] { return XImage(8, 6, XImage::PIXEL_FORMAT_PLANAR_420); }, 72);
}

// The holder left alone reuses the block; the other thread's read must come before that
// reuse's write, ordered by the count alone (the wait below is relaxed).
TEST(XBufferConcurrencyTest, ReuseAfterAnotherThreadsLastReleaseComesAfterItsRead) {
  for (int round = 0; round < 50; ++round) {
    XBuffer buffer(8);
    buffer.data[0] = 'x';
    auto* copy = new XBuffer(buffer);
    char seen = 0;
    std::thread reader([copy, &seen] {
      seen = copy->data[0];
      delete copy;
    });
    while (buffer.refCount->load(std::memory_order_relaxed) != 1) std::this_thread::yield();
    char* const block = buffer.data;
    ASSERT_TRUE(buffer.Create(8));
    EXPECT_EQ(buffer.data, block);
    char byte = 'y';
    EXPECT_TRUE(buffer.Write(&byte, 1, 0));
    reader.join();
    EXPECT_EQ(seen, 'x');
  }
}

}  // namespace
