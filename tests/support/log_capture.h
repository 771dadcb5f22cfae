#pragma once

#include <quendel/log.h>

#include <cctype>
#include <mutex>
#include <string>
#include <vector>

namespace quendel::test {

// True when `line` starts with a well-formed "HH:MM:SS.mmm " stamp.
inline bool HasTimeStamp(const std::string& line) {
  auto field = [&line](std::size_t at, std::size_t digits, int max) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return false;
      value = value * 10 + (line[i] - '0');
    }
    return value <= max;
  };
  return field(0, 2, 23) && line[2] == ':' && field(3, 2, 59) && line[5] == ':' &&
         field(6, 2, 60) && line[8] == '.' && field(9, 3, 999) && line.size() > 12 &&
         line[12] == ' ';
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
  // How many lines contain `fragment`.
  int Count(const std::string& fragment) const {
    int found = 0;
    for (const std::string& text : Texts()) found += text.find(fragment) != std::string::npos;
    return found;
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

