#ifndef QUENDEL_LOG_STREAM_H
#define QUENDEL_LOG_STREAM_H

/// \file
/// A provider's own log lines, written with operator<<.
#include <locale>
#include <sstream>
#include <string>
#include <type_traits>

#include "quendel/log.h"

namespace framework {

/// One log line of a provider, assembled with operator<< in the provider's own module and
/// handed whole to WriteLogLine, once, when the statement ends. Nothing but the finished text
/// crosses into the library, so any type the standard streams print may be written. Numbers
/// are printed in the classic locale, as the library prints its own; a null C string is
/// written as nothing.
class LogStream {
 public:
  /// A line of `severity` (kLogInfo, kLogError) that shows `function` and `line`.
  LogStream(int severity, const char* function, int line)
      : severity_(severity), function_(function), line_(line) {
    text_.imbue(std::locale::classic());
  }
  LogStream(const LogStream&) = delete;
  LogStream& operator=(const LogStream&) = delete;
  /// Writes the line. A destructor must not throw: a line that cannot be assembled is lost.
  ~LogStream() {
    try {
      const std::string text = text_.str();
      WriteLogLine(severity_, function_, line_, text.c_str());
    } catch (...) {
    }
  }

  /// Appends `value` as the standard streams print it.
  template <typename Value>
  LogStream& operator<<(const Value& value) {
    if constexpr (std::is_convertible_v<const Value&, const char*>) {
      // A null pointer would put the stream in a failed state and lose the rest of the line.
      const char* const text = value;
      if (text != nullptr) text_ << text;
    } else {
      text_ << value;
    }
    return *this;
  }

 private:
  int severity_;
  const char* function_;
  int line_;
  std::ostringstream text_;
};

}  // namespace framework

/// A provider's log statements: `QUENDEL_LOG_INFO() << "loaded " << count;`. The line shows
/// the enclosing function as __func__ names it, the unqualified name without class, namespace
/// or parameters ("Apply"; "operator()" inside a lambda), and the source line of the statement.
/// For another name or line, construct framework::LogStream with them.
#define QUENDEL_LOG_INFO() ::framework::LogStream(::framework::kLogInfo, __func__, __LINE__)
/// The same with the error tag: "[ERROR function]: " before the text.
#define QUENDEL_LOG_ERROR() ::framework::LogStream(::framework::kLogError, __func__, __LINE__)

#endif  // QUENDEL_LOG_STREAM_H
