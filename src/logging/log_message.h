#ifndef QUENDEL_LOGGING_LOG_MESSAGE_H
#define QUENDEL_LOGGING_LOG_MESSAGE_H

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace base {

// Hands one finished line to the process-wide output: the host's callback, or standard output
// until SetLogoutCallback installs one. `line` holds `size` bytes, a terminating zero, and room
// for one byte more (standard output appends the newline there). Never throws: a line the
// output throws on is dropped.
void WriteLine(char* line, std::size_t size) noexcept;

// The system clock as 100-nanosecond ticks since 1970-01-01 00:00:00 UTC.
std::int64_t ReadSystemTicks();

// The local time at `ticks` as "HH:MM:SS.mmm " (kTimeStampSize bytes, no terminator);
// seconds and milliseconds come from the same reading.
constexpr std::size_t kTimeStampSize = 13;
void WriteTimeStamp(std::int64_t ticks, char* out);
std::string FormatTimeStamp(std::int64_t ticks);

// One log line, assembled for the length of one statement and handed to the output, behind
// its time stamp, when the statement ends. The text is written into the message itself (on
// the stack) and moves to the heap only when it outgrows that.
// How grave a line is. Lines below kInfo are not written.
enum class Severity { kInfo = 1, kError = 3 };

class LogMessage {
 public:
  explicit LogMessage(Severity severity) : severity_(severity) {}
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  LogMessage& stream() { return *this; }

  LogMessage& operator<<(std::string_view text) { return Append(text.data(), text.size()); }
  // A null text is written as nothing.
  LogMessage& operator<<(const char* text) {
    return text != nullptr ? Append(text, std::strlen(text)) : *this;
  }
  LogMessage& operator<<(char c) { return Append(&c, 1); }
  template <typename Integer, typename = std::enable_if_t<std::is_integral_v<Integer> &&
                                                          !std::is_same_v<Integer, bool> &&
                                                          !std::is_same_v<Integer, char>>>
  LogMessage& operator<<(Integer value) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return Append(digits, static_cast<std::size_t>(end - digits));
  }

 private:
  // Two bytes beyond the text stay free: the terminator and the newline of standard output.
  static constexpr std::size_t kSpare = 2;
  static constexpr std::size_t kInline = 256;

  LogMessage& Append(const char* text, std::size_t size) {
    if (size > capacity_ - size_ - kSpare) Grow(size);
    std::memcpy(data_ + size_, text, size);
    size_ += size;
    return *this;
  }
  void Grow(std::size_t more);

  Severity severity_;
  std::size_t size_ = kTimeStampSize;  // the stamp is written in front at the end
  std::size_t capacity_ = kInline;
  char* data_ = inline_;
  std::unique_ptr<char[]> heap_;
  char inline_[kInline];
};

}  // namespace base

// A log statement. `function` and `shownLine` become the "[function][line] " that starts the
// line: fixed parts of the output, which hosts may parse, so each site passes named constants
// rather than its own position in the source.
#define QLOG(severity, function, shownLine) \
  ::base::LogMessage((severity)).stream() << "[" << (function) << "][" << (shownLine) << "] "
// Progress.
#define QLOG_INFO(function, shownLine) QLOG(::base::Severity::kInfo, function, shownLine)
// A failed or refused operation, without the error tag.
#define QLOG_PLAIN_ERROR(function, shownLine) QLOG(::base::Severity::kError, function, shownLine)
// A failed or refused operation, with the "[ERROR function]: " tag.
#define QLOG_ERROR(function, shownLine) \
  QLOG_PLAIN_ERROR(function, shownLine) << "[ERROR " << (function) << "]: "

#endif  // QUENDEL_LOGGING_LOG_MESSAGE_H
