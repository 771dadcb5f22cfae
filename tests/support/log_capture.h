#pragma once

#include <quendel/log.h>

#include <cctype>
#include <mutex>
#include <string>
#include <vector>

namespace quendel::test {

// True when `line` starts with a well-formed "HH:MM:SS.mmm " stamp.
inline bool HasTimeStamp(const std::string& line) {
  if (line.size() < 13) return false;
  for (int at : {0, 1, 3, 4, 6, 7, 9, 10, 11}) {
    if (!std::isdigit(static_cast<unsigned char>(line[at]))) return false;
  }
  return line[2] == ':' && line[5] == ':' && line[8] == '.' && line[12] == ' ' &&
         line.compare(0, 2, "24") < 0 && line.compare(3, 2, "60") < 0 &&
         line.compare(6, 2, "61") < 0;
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
