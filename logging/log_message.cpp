#include "logging/log_message.h"

namespace base {

LogMessage::LogMessage(int severity, const LogOutput& output)
    : output_(output), severity_(severity) {}

LogMessage::~LogMessage() {
  if (severity_ < 1 || !output_) return;
  // The output is the host's code, called from this destructor: anything it throws would end
  // the process, so the line is dropped instead.
  try {
    output_(FormatTimeStamp(ReadSystemTicks()) + stream_.str());
  } catch (...) {
  }
}

}  // namespace base
