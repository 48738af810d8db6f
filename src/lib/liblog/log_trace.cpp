// Trace print of the log core: off by default, one flag for the whole process.
// Called from any thread and from inside sink writes, so it takes no lock of its own.
#include "log_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<bool> g_trace_on{false};
}  // namespace

void log_trace_enable(bool on) { g_trace_on.store(on, std::memory_order_relaxed); }

bool log_trace_enabled() { return g_trace_on.load(std::memory_order_relaxed); }

void log_trace(const char *fmt, ...) {
  if (!log_trace_enabled()) return;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fflush(stderr);
}
