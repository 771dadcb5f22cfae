#include "components/shared_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "logging/log_message.h"

namespace {

std::vector<std::string> lines;

class SharedCountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lines.clear();
    base::GetLogoutCallback() = [](const std::string& line) { lines.push_back(line.substr(13)); };
  }
  void TearDown() override { base::GetLogoutCallback() = base::DefaultLogout; }
};

TEST_F(SharedCountTest, LastReleaseRunsTheCallbackOnceAndLaterReleasesAreReported) {
  int calls = 0;
  framework::SharedCount count([&calls] { ++calls; });
  EXPECT_EQ(count.AddShared(), 1);
  EXPECT_EQ(count.AddShared(), 2);
  count.ReleaseShared();
  EXPECT_EQ(calls, 0);
  count.ReleaseShared();
  EXPECT_EQ(calls, 1);
  count.ReleaseShared();  // the callback is claimed already: count goes below zero
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(count.Count(), -1);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "[framework::SharedCount::ReleaseShared][32] [ERROR "
                       "framework::SharedCount::ReleaseShared]: ReleaseShared failed. shared "
                       "count == 0"}));
}

TEST_F(SharedCountTest, AReferenceTakenBeforeTheLastReleaseKeepsTheObject) {
  int calls = 0;
  framework::SharedCount count([&calls] { ++calls; });
  count.AddShared();
  count.AddShared();
  count.ReleaseShared();
  EXPECT_EQ(count.AddShared(), 2);
  count.ReleaseShared();
  EXPECT_EQ(calls, 0);
}

TEST_F(SharedCountTest, EmptyCallbackAndDestructionWithoutRelease) {
  {
    framework::SharedCount count(nullptr);
    count.ReleaseShared();
  }
  int calls = 0;
  {
    framework::SharedCount count([&calls] { ++calls; });
    count.AddShared();
  }
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(lines.empty());
}

// Two threads dropping the last two references at once: exactly one runs the callback.
TEST_F(SharedCountTest, RacingLastReleasesClaimTheCallbackOnce) {
  for (int round = 0; round < 500; ++round) {
    std::atomic<int> calls{0};
    framework::SharedCount count([&calls] { calls.fetch_add(1); });
    count.AddShared();
    count.AddShared();
    std::thread other([&count] { count.ReleaseShared(); });
    count.ReleaseShared();
    other.join();
    ASSERT_EQ(calls.load(), 1);
  }
  EXPECT_TRUE(lines.empty());
}

}  // namespace
