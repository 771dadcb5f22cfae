// A provider's line through the statements the library's own lines use, so that stamp,
// layout and output are the same by construction.
#include "logging/log_message.h"
#include "quendel/log.h"

namespace framework {

void WriteLogLine(int severity, const char* function, int line, const char* text) {
  if (severity < kLogInfo) return;
  // The statements write a null function or text as nothing. Only a text past the message's
  // own room allocates; when that fails the message still goes out, without the text.
  try {
    if (severity >= kLogError) {
      QLOG_ERROR(function, line) << text;
    } else {
      QLOG_INFO(function, line) << text;
    }
  } catch (...) {
  }
}

}  // namespace framework
