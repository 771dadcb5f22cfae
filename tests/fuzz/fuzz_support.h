#ifndef QUENDEL_TESTS_FUZZ_FUZZ_SUPPORT_H
#define QUENDEL_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <quendel/log.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/log_lines.h"

// A failed check aborts, which libFuzzer reports as a crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                    \
  do {                                                                           \
    if (!(condition)) ::quendel::fuzz::Fail(#condition, __FILE__, __LINE__, ""); \
  } while (false)
#define FUZZ_CHECK_MSG(condition, message)                                            \
  do {                                                                                \
    if (!(condition)) ::quendel::fuzz::Fail(#condition, __FILE__, __LINE__, message); \
  } while (false)

namespace quendel::fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line,
                              const std::string& message) {
  std::fprintf(stderr, "%s:%d: model check failed: %s %s\n", file, line, condition,
               message.c_str());
  std::abort();
}

// Collects the library's log lines without their time stamps. Installed once per process,
// before anything logs.
class LogRecorder {
 public:
  LogRecorder() { framework::SetLogoutCallback(&Receive, this); }
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;

  // The lines since the last call.
  std::vector<std::string> Take() {
    std::vector<std::string> taken;
    taken.swap(lines_);
    return taken;
  }

 private:
  static void Receive(const char* line, void* user) {
    std::string text(line);
    // "HH:MM:SS.mmm " in front of every line.
    FUZZ_CHECK_MSG(
        text.size() >= 13 && text[2] == ':' && text[5] == ':' && text[8] == '.' && text[12] == ' ',
        text);
    static_cast<LogRecorder*>(user)->lines_.push_back(text.substr(13));
  }

  std::vector<std::string> lines_;
};

// The line a logging statement writes after the time stamp, in its plain or tagged form.
using quendel::test::PlainLine;
using quendel::test::TaggedLine;

// QUENDEL_FUZZ_TRACE=1 in the environment prints each step, to follow a crashing input.
inline bool Tracing() {
  static const bool on = std::getenv("QUENDEL_FUZZ_TRACE") != nullptr;
  return on;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string joined;
  for (const auto& line : lines) joined += "\n  " + line;
  return joined;
}

}  // namespace quendel::fuzz

#endif  // QUENDEL_TESTS_FUZZ_FUZZ_SUPPORT_H
