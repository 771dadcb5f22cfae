#include <cstdint>
#include <cstdio>
#include <ctime>

#include "logging/log_message.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace base {
namespace {

bool ToLocalTime(std::time_t seconds, std::tm* local) {
#if defined(_WIN32)
  return localtime_s(local, &seconds) == 0;
#else
  return localtime_r(&seconds, local) != nullptr;
#endif
}

}  // namespace

std::int64_t ReadSystemTicks() {
#if defined(_WIN32)
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t since1601 =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const std::uint64_t kTicks1601To1970 = 116444736000000000ULL;
  return static_cast<std::int64_t>(since1601 - kTicks1601To1970);
#else
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 10000000 + now.tv_nsec / 100;
#endif
}

std::string FormatTimeStamp(std::int64_t ticks) {
  const std::time_t seconds = static_cast<std::time_t>(ticks / 10000000);
  const int millis = static_cast<int>((ticks / 10000) % 1000);
  std::tm local{};
  ToLocalTime(seconds, &local);
  char text[64] = {0};
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min,
                local.tm_sec, millis);
  return text;
}

}  // namespace base
