// The process clocks: time of day in milliseconds and microseconds, and the system uptime.
// Every time-out and activity check in the program is a difference of two os_get_ms readings.
#include <sys/sysinfo.h>
#include <sys/time.h>

#include <cstdint>

#include "pal_env.h"

namespace {

constexpr uint64_t kUnreadable = UINT64_MAX;

}  // namespace

uint64_t os_get_ms() {
  timeval tv{};
  if (gettimeofday(&tv, nullptr) != 0) return kUnreadable;
  return static_cast<uint64_t>(tv.tv_sec) * 1000 + static_cast<uint64_t>(tv.tv_usec) / 1000;
}

uint64_t os_get_us() {
  timeval tv{};
  if (gettimeofday(&tv, nullptr) != 0) return kUnreadable;
  return static_cast<uint64_t>(tv.tv_sec) * 1000000 + static_cast<uint64_t>(tv.tv_usec);
}

uint64_t os_uptime_ms() {
  struct sysinfo si {};
  if (sysinfo(&si) != 0) return 0;
  return static_cast<uint64_t>(si.uptime) * 1000;
}
