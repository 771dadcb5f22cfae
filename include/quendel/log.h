#ifndef QUENDEL_LOG_H
#define QUENDEL_LOG_H

#include "quendel/export.h"

namespace framework {

// Signature of a host's log sink: one finished line (time stamp included, no trailing
// newline), valid only during the call, and the host's user pointer unchanged.
using LogoutCallback = void (*)(const char* line, void* user);

// Sends every later log line of the library to `callback` instead of standard output; a null
// callback restores standard output. It may be called while other threads log: each line goes
// whole to the old output or to the new one. A line that another thread was already writing
// may still reach the old callback after this returns, so what the old `user` points to must
// outlive the threads' logging, not just this call. A callback may log and may call this.
QUENDEL_API void SetLogoutCallback(LogoutCallback callback, void* user);

}  // namespace framework

#endif  // QUENDEL_LOG_H
