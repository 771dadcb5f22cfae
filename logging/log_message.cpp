#include "logging/log_message.h"

namespace base {

LogMessage::LogMessage(int severity, const LogOutput& output)
    : output_(output), severity_(severity) {}

LogMessage::~LogMessage() {
  if (severity_ < 1 || !output_) return;
  output_(FormatTimeStamp(ReadSystemTicks()) + stream_.str());
}

}  // namespace base
