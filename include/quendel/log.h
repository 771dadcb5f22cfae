#ifndef QUENDEL_LOG_H
#define QUENDEL_LOG_H

/// \file
/// The process-wide log output: where the lines go, and a provider's own lines.
#include "quendel/export.h"

namespace framework {

/// Signature of a host's log sink: one finished line (time stamp included, no trailing
/// newline), valid only during the call, and the host's user pointer unchanged.
using LogoutCallback = void (*)(const char* line, void* user);

/// Sends every later log line of the library to `callback` instead of standard output; a null
/// callback restores standard output. It may be called while other threads log: each line goes
/// whole to the old output or to the new one. A line that another thread was already writing
/// may still reach the old callback after this returns, so what the old `user` points to must
/// outlive the threads' logging, not just this call. A callback may log and may call this.
QUENDEL_API void SetLogoutCallback(LogoutCallback callback, void* user);

/// Severities of WriteLogLine: the values the library's own lines carry. An informative line.
constexpr int kLogInfo = 1;
/// An error line: it carries the tag "[ERROR function]: ".
constexpr int kLogError = 3;

/// Writes one line of a provider through the process-wide output, laid out as the library's
/// own: the time stamp, "[function][line] ", from kLogError up the tag "[ERROR function]: ",
/// then `text`. Below kLogInfo nothing is written. A null function or text is written as
/// empty. The line goes out whole, never mixed with another thread's. Never throws: without
/// memory for a long text the line goes out without it. quendel/log_stream.h builds the text
/// with operator<<.
QUENDEL_API void WriteLogLine(int severity, const char* function, int line, const char* text);

}  // namespace framework

#endif  // QUENDEL_LOG_H
