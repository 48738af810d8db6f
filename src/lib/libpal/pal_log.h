// The one log entry point of every module. The platform library only forwards each call:
// the log core (liblog) installs itself as the sink when it is linked into the program;
// until then (and in programs without it) lines go plainly to standard error.
#pragma once

#include <cstdarg>
#include <cstdint>

// Levels: lower is more severe. A call is written when its level is at most the configured one.
inline constexpr uint32_t LOG2_CRIT = 2;
inline constexpr uint32_t LOG2_ERR = 3;
inline constexpr uint32_t LOG2_WARN = 4;
inline constexpr uint32_t LOG2_NOTI = 5;
inline constexpr uint32_t LOG2_INFO = 6;
inline constexpr uint32_t LOG2_DBG = 7;
inline constexpr uint32_t LOG2_VERB = 8;

// Bits above the level byte of the level argument.
inline constexpr uint32_t LOG2_ERRNO = 0x100;        // append the description of the caller's errno
inline constexpr uint32_t LOG2_NOEXIT = 0x200;       // a critical line does not end the process
inline constexpr uint32_t LOG2_NET = 0x400;          // also send the binary record to the network collector
inline constexpr uint32_t LOG2_RECORD_ONLY = 0x800;  // build line and record, write no text sink

using pal_log_sink_fn = int (*)(uint32_t level, const char *tag, const char *file, int line,
                                const char *func, const char *fmt, va_list ap);

// Installs the sink that receives every call; nullptr restores the standard-error fallback.
void pal_log_set_sink(pal_log_sink_fn sink);

// Returns the length of the written line, 0 when filtered.
int pal_log_printf(uint32_t level, const char *tag, const char *file, int line, const char *func,
                   const char *fmt, ...) __attribute__((format(printf, 6, 7)));
int pal_log_vprintf(uint32_t level, const char *tag, const char *file, int line, const char *func,
                    const char *fmt, va_list ap);

// Each source file names its module once: static const char kLogTag[] = "vfs";
#define ZLOG(level, ...) pal_log_printf((level), kLogTag, __FILE__, __LINE__, __func__, __VA_ARGS__)

// A failed internal assertion is logged and the code goes on; the value is the test's result.
#define ZASSERT(expr) \
  ((expr) ? true : (ZLOG(LOG2_ERR, "expr[%s]: assert failed\n", #expr), false))
