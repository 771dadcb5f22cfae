#pragma once

#include <quendel/log.h>

#include <mutex>
#include <regex>
#include <string>
#include <vector>

namespace quendel::test {

// True when `line` starts with a well-formed "HH:MM:SS.mmm " stamp.
inline bool HasTimeStamp(const std::string& line) {
  static const std::regex stamp("([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} ");
  return line.size() >= 13 && std::regex_match(line.substr(0, 13), stamp);
}

// Collects the library's log lines while it lives; standard output again afterwards.
class LogCapture {
 public:
  LogCapture() { framework::SetLogoutCallback(&Receive, this); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  ~LogCapture() { framework::SetLogoutCallback(nullptr, nullptr); }

  // Every line without its stamp; a line without a well-formed stamp equals no expected text.
  std::vector<std::string> Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const std::string& line : lines_) {
      texts.push_back(HasTimeStamp(line) ? line.substr(13) : "<no time stamp> " + line);
    }
    return texts;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  static void Receive(const char* line, void* user) {
    auto* self = static_cast<LogCapture*>(user);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->lines_.emplace_back(line);
  }

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace quendel::test
