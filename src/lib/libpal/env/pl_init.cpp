// Platform start and stop: the identity texts of the banner, the process start time, and the
// leak report of the tracked allocator at exit.
#include <cstdint>

#include "pal_env.h"

namespace {

// The processor family this program was built for, as the banner shows it.
constexpr const char *build_cpu_name() {
#if defined(__mips__) && defined(__MIPSEL__)
  return "mipsel";
#elif defined(__mips__)
  return "mips";
#elif defined(__x86_64__)
  return "x86_64";
#elif defined(__i386__)
  return "i386";
#elif defined(__aarch64__)
  return "aarch64";
#elif defined(__arm__)
  return "arm";
#else
  return "unknown";
#endif
}

uint64_t g_start_ms;  // written once by pl_init in the main thread, read afterwards

}  // namespace

int pl_init() {
  g_start_ms = os_get_ms();
  os_get_info();
  return 0;
}

int pl_exit() { return os_mem_get_stats().malloc_count != 0 ? 1 : 0; }

const char *pl_os_name() { return "linux"; }

const char *pl_cpu_name() { return build_cpu_name(); }

uint64_t pl_start_time_ms() { return g_start_ms; }
