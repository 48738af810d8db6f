// Forwards every log call to the installed sink. Without one (a program or test that links no
// log core) the message goes to standard error up to the info level, and a critical line still
// ends the process, so the severity contract holds either way.
#include "pal_log.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<pal_log_sink_fn> g_sink{nullptr};

int fallback_vprintf(uint32_t level, const char *tag, const char *func, const char *fmt,
                     va_list ap) {
  const uint32_t lv = level & 0xff;
  if (lv > 6 || (level & 0x800)) return 0;
  const int saved = errno;
  char msg[8192];
  vsnprintf(msg, sizeof msg, fmt, ap);
  const int n = fprintf(stderr, "[%s] %s(): %s", tag ? tag : "", func ? func : "", msg);
  errno = saved;
  if (lv == 2 && !(level & 0x200)) exit(1);
  return n < 0 ? 0 : n;
}

}  // namespace

void pal_log_set_sink(pal_log_sink_fn sink) { g_sink.store(sink); }

int pal_log_vprintf(uint32_t level, const char *tag, const char *file, int line, const char *func,
                    const char *fmt, va_list ap) {
  if (pal_log_sink_fn sink = g_sink.load()) return sink(level, tag, file, line, func, fmt, ap);
  return fallback_vprintf(level, tag, func, fmt, ap);
}

int pal_log_printf(uint32_t level, const char *tag, const char *file, int line, const char *func,
                   const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int n = pal_log_vprintf(level, tag, file, line, func, fmt, ap);
  va_end(ap);
  return n;
}
