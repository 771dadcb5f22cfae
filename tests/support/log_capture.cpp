#include "support/log_capture.h"

#include <cctype>

#include "quendel/log.h"

namespace quendel::test {

LogCapture::LogCapture() { framework::SetLogoutCallback(&LogCapture::Receive, this); }

LogCapture::~LogCapture() { framework::SetLogoutCallback(nullptr, nullptr); }

void LogCapture::Receive(const char* line, void* user) {
  auto* self = static_cast<LogCapture*>(user);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->lines_.emplace_back(line);
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<std::string> LogCapture::Texts() const {
  std::vector<std::string> texts;
  for (const std::string& line : Lines()) {
    // A line without a well-formed stamp cannot equal any expected text.
    texts.push_back(HasTimeStamp(line) ? line.substr(13) : "<no time stamp> " + line);
  }
  return texts;
}

int LogCapture::Count(const std::string& fragment) const {
  int found = 0;
  for (const std::string& line : Lines()) found += line.find(fragment) != std::string::npos;
  return found;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

bool HasTimeStamp(const std::string& line) {
  if (line.size() < 13) return false;
  auto digits = [&](std::size_t at, std::size_t n, int max) {
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
      value = value * 10 + (line[i] - '0');
    }
    return value <= max;
  };
  return digits(0, 2, 23) && line[2] == ':' && digits(3, 2, 59) && line[5] == ':' &&
         digits(6, 2, 60) && line[8] == '.' && digits(9, 3, 999) && line[12] == ' ';
}

}  // namespace quendel::test
