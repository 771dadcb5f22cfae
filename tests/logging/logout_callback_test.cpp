#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace {

struct Sink {
  std::vector<std::string> lines;
  std::vector<void*> users;
};

void Receive(const char* line, void* user) {
  auto* sink = static_cast<Sink*>(user);
  sink->lines.emplace_back(line);
  sink->users.push_back(user);
}

// Any library statement will do; this one needs no set-up.
void LogOneError() {
  void* object = nullptr;
  framework::RefComponentInterface(nullptr, &object);
}

const char kErrorText[] =
    "[framework::RefComponentInterface][216] [ERROR framework::RefComponentInterface]: "
    "RefComponentInterface ref is null!!!!";

TEST(LogoutCallbackTest, DefaultOutputIsStandardOutputOneLineEach) {
  testing::internal::CaptureStdout();
  LogOneError();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(quendel::test::HasTimeStamp(out)) << out;
  EXPECT_EQ(out.substr(13), std::string(kErrorText) + "\n");
}

TEST(LogoutCallbackTest, CallbackReceivesEachLineAndTheUserPointerUnchanged) {
  Sink first, second;
  testing::internal::CaptureStdout();
  framework::SetLogoutCallback(Receive, &first);
  LogOneError();
  LogOneError();
  framework::SetLogoutCallback(Receive, &second);  // replaces the first
  LogOneError();
  framework::SetLogoutCallback(nullptr, nullptr);  // standard output again
  const std::string quiet = testing::internal::GetCapturedStdout();
  EXPECT_EQ(quiet, "");

  ASSERT_EQ(first.lines.size(), 2u);
  EXPECT_EQ(second.lines.size(), 1u);
  EXPECT_EQ(first.users, (std::vector<void*>{&first, &first}));
  EXPECT_EQ(second.users, (std::vector<void*>{&second}));
  for (const std::string& line : first.lines) {
    EXPECT_TRUE(quendel::test::HasTimeStamp(line));
    EXPECT_EQ(line.substr(13), kErrorText);  // no trailing newline
  }

  testing::internal::CaptureStdout();
  LogOneError();
  EXPECT_NE(testing::internal::GetCapturedStdout(), "");
}

// The host's callback runs inside destructors (a message's, a component's last release): what
// it throws is dropped with its line, and the library goes on.
TEST(LogoutCallbackTest, ACallbackThatThrowsLosesItsLineButNotTheProcess) {
  int calls = 0;
  framework::SetLogoutCallback(
      [](const char*, void* user) {
        ++*static_cast<int*>(user);
        throw std::runtime_error("host sink failed");
      },
      &calls);
  framework::CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);
  void* object = nullptr;
  EXPECT_EQ(factory->CreateComponent("absent", &object), -1);
  LogOneError();
  factory->Release();  // two lines from the destructor
  framework::SetLogoutCallback(nullptr, nullptr);
  EXPECT_EQ(calls, 4);
}

}  // namespace
