#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_message.h"

namespace {

// Lines logged by several threads at once reach standard output whole, never interleaved.
TEST(LogConcurrencyTest, DefaultOutputNeverSplitsALine) {
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        QLOG_INFO("thread", t) << std::string(40, static_cast<char>('a' + t)) << '|' << i;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::istringstream out(testing::internal::GetCapturedStdout());
  int count = 0;
  for (std::string line; std::getline(out, line); ++count) {
    ASSERT_GE(line.size(), 13u + 40u);
    const std::string text = line.substr(13);
    const char mark = text[text.find("] ") + 2];
    const std::string prefix = "[thread][" + std::to_string(mark - 'a') + "] ";
    ASSERT_EQ(text.rfind(prefix, 0), 0u) << line;
    ASSERT_EQ(text.substr(prefix.size(), 40), std::string(40, mark)) << line;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
