#include "logging/log_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::vector<std::string> received;

void Collect(const std::string& line) { received.push_back(line); }

// Sets the C runtime's time zone for local time (null: the system's again). The Windows
// runtime has no setenv; "UTC0" reads the same in both runtimes' TZ syntax.
void UseTimeZone(const char* zone) {
#if defined(_WIN32)
  _putenv_s("TZ", zone != nullptr ? zone : "");
  _tzset();
#else
  if (zone != nullptr) {
    setenv("TZ", zone, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

class LogMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    base::GetLogoutCallback() = Collect;
  }
  void TearDown() override { base::GetLogoutCallback() = base::DefaultLogout; }
};

TEST_F(LogMessageTest, StatementsWriteTheLocationPrefixAndTheErrorTag) {
  QLOG_INFO("framework::Some::Function", 12) << "value:" << 42 << std::string("!");
  QLOG_PLAIN_ERROR("framework::Other", 7) << "plain";
  QLOG_ERROR("framework::SharedCount::ReleaseShared", 32)
      << "ReleaseShared failed. shared count == 0";
  QLOG_INFO("f", 1);  // an empty text still has its stamp and prefix
  ASSERT_EQ(received.size(), 4u);
  std::vector<std::string> texts;
  for (const std::string& line : received) texts.push_back(line.substr(13));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "[framework::Some::Function][12] value:42!", "[framework::Other][7] plain",
                       "[framework::SharedCount::ReleaseShared][32] [ERROR "
                       "framework::SharedCount::ReleaseShared]: ReleaseShared failed. shared "
                       "count == 0",
                       "[f][1] "}));
}

TEST_F(LogMessageTest, OnlySeveritiesOfOneOrMoreAreEmitted) {
  QLOG(0, "f", 1) << "zero";
  QLOG(-5, "f", 1) << "negative";
  QLOG(1, "f", 1) << "one";
  QLOG(3, "f", 1) << "three";
  QLOG(9, "f", 1) << "nine";
  ASSERT_EQ(received.size(), 3u);
  EXPECT_NE(received[2].find("nine"), std::string::npos);
}

TEST_F(LogMessageTest, ANewlineStaysInsideTheOneLine) {
  QLOG_INFO("f", 1) << "first\nsecond";
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].substr(13), "[f][1] first\nsecond");
}

TEST_F(LogMessageTest, AMessageKeepsTheOutputItStartedWith) {
  std::vector<std::string> later;
  {
    base::LogMessage message(1, base::GetLogoutCallback());
    message.stream() << "early";
    base::GetLogoutCallback() = [&later](const std::string& line) { later.push_back(line); };
  }
  EXPECT_EQ(received.size(), 1u);
  EXPECT_TRUE(later.empty());
  base::LogMessage silent(1, base::LogOutput());  // an empty output emits nothing
}

TEST(TimeStampTest, FieldsKeepTheirLeadingZeros) {
  UseTimeZone("UTC0");
  // 2021-03-04 09:05:03.007 UTC, in 100-nanosecond ticks since 1970.
  const std::int64_t seconds = 1614848703;
  const std::int64_t ticks = seconds * 10000000 + 7 * 10000 + 9999;
  EXPECT_EQ(base::FormatTimeStamp(ticks), "09:05:03.007 ");
  EXPECT_EQ(base::FormatTimeStamp(seconds * 10000000 + 999 * 10000), "09:05:03.999 ");
  EXPECT_EQ(base::FormatTimeStamp(0), "00:00:00.000 ");
  UseTimeZone(nullptr);
}

TEST(TimeStampTest, TheClockReadsNow) {
  const std::int64_t ticks = base::ReadSystemTicks();
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_LE(std::abs(ticks / 10000000 - now), 2);
}

TEST(DefaultLogoutTest, WritesTheLineANewlineAndFlushes) {
  testing::internal::CaptureStdout();
  base::DefaultLogout("a line");
  base::DefaultLogout("");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "a line\n\n");
}

}  // namespace
