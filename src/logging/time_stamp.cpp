#include <cstdint>
#include <cstring>
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

void WriteTwoDigits(int value, char* out) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

// The last whole second this thread converted, and its "HH:MM:SS." text: the same second
// always converts to the same local time while the zone stays, and the conversion costs more
// than the rest of a line. (A change of zone shows from the next second on.) Trivially
// destructible, so that lines logged while the thread ends still find it.
struct SecondCache {
  std::int64_t second = INT64_MIN;
  char text[9] = {};
};
thread_local SecondCache lastSecond;

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

void WriteTimeStamp(std::int64_t ticks, char* out) {
  const std::int64_t seconds = ticks / 10000000;
  SecondCache& cache = lastSecond;
  if (cache.second != seconds) {
    std::tm local{};
    ToLocalTime(static_cast<std::time_t>(seconds), &local);
    WriteTwoDigits(local.tm_hour, cache.text);
    WriteTwoDigits(local.tm_min, cache.text + 3);
    WriteTwoDigits(local.tm_sec, cache.text + 6);
    cache.text[2] = cache.text[5] = ':';
    cache.text[8] = '.';
    cache.second = seconds;
  }
  std::memcpy(out, cache.text, sizeof cache.text);
  const int millis = static_cast<int>((ticks / 10000) % 1000);
  out[9] = static_cast<char>('0' + millis / 100);
  WriteTwoDigits(millis, out + 10);
  out[12] = ' ';
}

std::string FormatTimeStamp(std::int64_t ticks) {
  std::string text(kTimeStampSize, ' ');
  WriteTimeStamp(ticks, text.data());
  return text;
}

}  // namespace base
