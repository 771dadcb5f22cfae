// The log line format, the process-wide output and its callback, linked statically so that
// the statements and the time stamp can be driven directly.
#include "quendel/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_message.h"
#include "quendel/log_stream.h"
#include "support/log_capture.h"

namespace {

using Lines = std::vector<std::string>;

TEST(LogTest, StatementsWriteStampLocationTagAndTextToTheCallback) {
  quendel::test::LogCapture log;
  QLOG_INFO("framework::Some::Function", 12) << "value:" << 42 << std::string("!") << -7L;
  QLOG_PLAIN_ERROR("framework::Other", 7) << "plain\nsame line";
  QLOG_ERROR("framework::SharedCount::ReleaseShared", 32) << "failed";
  QLOG(base::Severity{0}, "f", 1) << "severities below kInfo are not written";
  QLOG(base::Severity{9}, "f", 1) << static_cast<const char*>(nullptr) << 'c'
                                  << std::string(300, 'y') << 'z';
  EXPECT_EQ(log.Texts(), (Lines{"[framework::Some::Function][12] value:42!-7",
                                "[framework::Other][7] plain\nsame line",
                                "[framework::SharedCount::ReleaseShared][32] [ERROR "
                                "framework::SharedCount::ReleaseShared]: failed",
                                "[f][1] c" + std::string(300, 'y') + "z"}));
}

// A provider's lines, through the one exported entry, have the library's layout.
TEST(LogTest, ProviderLinesHaveTheLibraryLayoutInBothSeverities) {
  quendel::test::LogCapture log;
  const int line = __LINE__ + 1;
  QUENDEL_LOG_INFO() << "text " << 42 << static_cast<const char*>(nullptr) << ' ' << 1.5;
  QUENDEL_LOG_ERROR() << std::string("failed");
  framework::WriteLogLine(framework::kLogError, nullptr, 7, nullptr);
  framework::WriteLogLine(framework::kLogInfo - 1, "f", 1, "below kLogInfo: not written");
  EXPECT_EQ(log.Texts(),
            (Lines{"[TestBody][" + std::to_string(line) + "] text 42 1.5",
                   "[TestBody][" + std::to_string(line + 1) + "] [ERROR TestBody]: failed",
                   "[][7] [ERROR ]: "}));
}

// Each callback gets its user pointer; one that throws loses its line but not the process
// (it runs inside destructors); null restores standard output.
TEST(LogTest, CallbacksGetTheirUserPointerMayThrowAndNullRestoresStandardOutput) {
  int first = 0, second = 0;
  testing::internal::CaptureStdout();
  framework::SetLogoutCallback([](const char*, void* user) { ++*static_cast<int*>(user); }, &first);
  QLOG_INFO("f", 1);
  framework::SetLogoutCallback([](const char*, void* user) { throw ++*static_cast<int*>(user); },
                               &second);
  QLOG_INFO("f", 1) << "dropped";
  QLOG_ERROR("f", 1) << "dropped too";
  framework::SetLogoutCallback(nullptr, nullptr);
  QLOG_INFO("f", 2) << "out";
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(first == 1 && second == 2);
  ASSERT_TRUE(quendel::test::HasTimeStamp(out)) << out;
  EXPECT_EQ(out.substr(13), "[f][2] out\n");
}

// Lines that end just before, at and just past the message's inline room (256 bytes), and one
// of more than twice that in one piece (a heap block sized to the line), arrive whole on either
// output, and neither the text, its terminator nor the newline of standard output lands past
// the message or its block. The message sits in a larger array with guard bytes behind
// it, because a sanitizer sees no overflow that stays inside one object.
TEST(LogTest, LinesAroundTheInlineRoomArriveWholeAndStayInsideTheMessage) {
  constexpr std::size_t kInline = 256;
  constexpr std::size_t kStamp = 13;
  static constexpr unsigned char kGuard = 0xA5;
  alignas(base::LogMessage) unsigned char storage[sizeof(base::LogMessage) + 32];
  const auto log = [&storage](const std::string& text, bool byteByByte) {
    std::fill(std::begin(storage), std::end(storage), kGuard);
    auto* message = new (storage) base::LogMessage(base::Severity::kInfo);
    if (byteByByte) {
      for (char c : text) message->stream() << c;
    } else {
      message->stream() << text;
    }
    message->~LogMessage();
    return std::all_of(storage + sizeof(base::LogMessage), std::end(storage),
                       [](unsigned char byte) { return byte == kGuard; });
  };
  std::vector<std::size_t> lengths = {3 * kInline};
  for (std::size_t length = kInline - 3; length <= kInline + 1; ++length) lengths.push_back(length);
  for (std::size_t length : lengths) {
    SCOPED_TRACE(length);
    // The last byte differs, so that a line cut short shows.
    const std::string text = std::string(length - kStamp - 1, 'x') + 'z';
    for (bool byteByByte : {false, true}) {
      quendel::test::LogCapture capture;
      EXPECT_TRUE(log(text, byteByByte));
      EXPECT_EQ(capture.Texts(), Lines{text});
    }
    testing::internal::CaptureStdout();
    const bool inside = log(text, false);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(inside);
    ASSERT_TRUE(quendel::test::HasTimeStamp(out)) << out;
    EXPECT_EQ(out.substr(kStamp), text + "\n");
  }
}

TEST(LogTest, TimeStampKeepsLeadingZerosInLocalTime) {
#if defined(_WIN32)
  _putenv_s("TZ", "UTC0");
  _tzset();
#else
  setenv("TZ", "UTC0", 1);
  tzset();
#endif
  // 2021-03-04 09:05:03.007 UTC, in 100-nanosecond ticks since 1970.
  EXPECT_EQ(base::FormatTimeStamp(1614848703LL * 10000000 + 7 * 10000 + 9999), "09:05:03.007 ");
  EXPECT_EQ(base::FormatTimeStamp(0), "00:00:00.000 ");
  // 10:20:30.123 the same day: each field's tens digit.
  EXPECT_EQ(base::FormatTimeStamp(1614853230LL * 10000000 + 123 * 10000), "10:20:30.123 ");
  EXPECT_LE(std::abs(base::ReadSystemTicks() / 10000000 - std::time(nullptr)), 2);
}

// Lines logged by several threads at once reach standard output whole, never interleaved.
TEST(LogTest, DefaultOutputNeverSplitsALine) {
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) QLOG_INFO("thread", t) << std::string(40, 'a' + t);
    });
  for (std::thread& thread : threads) thread.join();
  std::istringstream out(testing::internal::GetCapturedStdout());
  int count = 0;
  for (std::string line; std::getline(out, line); ++count)  // the last letter names the thread
    ASSERT_EQ(line.substr(13), "[thread][" + std::to_string(line.back() - 'a') + "] " +
                                   std::string(40, line.back()));
  EXPECT_EQ(count, 1200);
}

// Threads log while the output is replaced: every line reaches one of the outputs, whole and
// with that output's own user pointer.
std::atomic<int> received{0}, broken{0};
int users[2];
template <int k>
void Receive(const char* line, void* user) {
  ++received;
  broken += user != users + k || std::string(line).substr(13) != "[t][1] " + std::string(40, 'x');
}

TEST(LogTest, OutputReplacedWhileThreadsLogLosesNoLine) {
  framework::SetLogoutCallback(Receive<0>, users);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 500; ++i) QLOG_INFO("t", 1) << std::string(40, 'x');
    });
  for (int i = 1; i < 300; ++i)
    i % 2 ? framework::SetLogoutCallback(Receive<1>, users + 1)
          : framework::SetLogoutCallback(Receive<0>, users);
  for (std::thread& thread : threads) thread.join();
  framework::SetLogoutCallback(nullptr, nullptr);
  EXPECT_EQ(received.load(), 1500);
  EXPECT_EQ(broken.load(), 0);
}

}  // namespace
