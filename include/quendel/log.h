#ifndef QUENDEL_LOG_H
#define QUENDEL_LOG_H

#include "quendel/export.h"

namespace framework {

// Signature of a host's log sink: one finished line (time stamp included, no trailing
// newline), valid only during the call, and the host's user pointer unchanged.
using LogoutCallback = void (*)(const char* line, void* user);

// Sends every later log line of the library to `callback` instead of standard output.
// Install it once, before any thread logs. A null callback restores standard output.
QUENDEL_API void SetLogoutCallback(LogoutCallback callback, void* user);

}  // namespace framework

#endif  // QUENDEL_LOG_H
