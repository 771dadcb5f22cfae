#ifndef QUENDEL_LOGGING_LOG_MESSAGE_H
#define QUENDEL_LOGGING_LOG_MESSAGE_H

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>

namespace base {

using LogOutput = std::function<void(const std::string&)>;

// The process-wide log output: standard output until SetLogoutCallback replaces it.
LogOutput& GetLogoutCallback();

// Writes `line`, a newline and a flush to standard output.
void DefaultLogout(const std::string& line);

// One log line, assembled for the length of one statement and handed to the output,
// behind its time stamp, when the statement ends.
class LogMessage {
 public:
  LogMessage(int severity, const LogOutput& output);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  virtual ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  LogOutput output_;
  std::ostringstream stream_;
  int severity_;
};

// The system clock as 100-nanosecond ticks since 1970-01-01 00:00:00 UTC.
std::int64_t ReadSystemTicks();

// "HH:MM:SS.mmm " of the local time at `ticks`; seconds and milliseconds come from the
// same reading.
std::string FormatTimeStamp(std::int64_t ticks);

}  // namespace base

// Severity values: 1 reports progress, 3 a failed or refused operation.
#define QLOG(severity, function, line)                                 \
  ::base::LogMessage((severity), ::base::GetLogoutCallback()).stream() \
      << "[" << (function) << "][" << (line) << "] "
#define QLOG_INFO(function, line) QLOG(1, function, line)
// Severity 3 without the error tag.
#define QLOG_PLAIN_ERROR(function, line) QLOG(3, function, line)
// Severity 3 with the "[ERROR function]: " tag.
#define QLOG_ERROR(function, line) QLOG(3, function, line) << "[ERROR " << (function) << "]: "

#endif  // QUENDEL_LOGGING_LOG_MESSAGE_H
