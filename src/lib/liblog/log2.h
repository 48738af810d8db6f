// The log core: one call filters by level, formats a line with a configurable prefix and writes it
// to the console, a size-bounded log file and a syslog server, keeping the newest lines in memory.
// Levels and level-argument bits are the platform's (pal_log.h); linking this library is enough
// for every ZLOG call of the program to land in the default context.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "pal_log.h"

// Tag mask bits: which parts prefix a line.
enum : uint32_t {
  LOG2_TAG_TID = 0x01,       // "[%u] " thread id
  LOG2_TAG_TIME = 0x02,      // "%02d:%02d:%02d " local time
  LOG2_TAG_FUNC = 0x04,      // "%s(): " function name
  LOG2_TAG_FILE = 0x18,      // "[%s:%d] " base name of the source file and line
  LOG2_TAG_COLOUR = 0x20,    // console colours
  LOG2_TAG_TIME_MS = 0x40,   // "%02d:%02d:%02d.%03d " local time with milliseconds
  LOG2_TAG_TID_NAME = 0x80,  // "[%s] " thread name
};

inline constexpr uint32_t LOG2_DEFAULT_FLAGS = 0x27;
inline constexpr int LOG2_DEFAULT_LEVEL = LOG2_DBG;
inline constexpr int LOG2_LINE_SIZE = 8192;        // prefix, message and function-line buffers
inline constexpr int LOG2_LAST_LINES_SIZE = 1024;  // including the terminating NUL
inline constexpr long LOG2_FILE_SIZE_DEFAULT = 0x200000;
inline constexpr long LOG2_FILE_SIZE_MIN = 1024;       // command 22 raises smaller values to this
inline constexpr long LOG2_CONF_FILE_SIZE_MIN = 2048;  // the configuration refuses smaller values

// Commands of log2_ioctl. Numbers travel in arg as (void *)(intptr_t)n, see log2_arg.
enum : int {
  LOG2_IOCTL_SET_LEVEL = 1,
  LOG2_IOCTL_SET_FLAGS = 2,
  LOG2_IOCTL_SET_LEVEL_NAME = 3,
  LOG2_IOCTL_SET_FLAGS_TEXT = 4,
  LOG2_IOCTL_SET_HOOK_HIGH = 5,  // arg: log2_line_hook for levels 5 and above
  LOG2_IOCTL_SET_HOOK_LOW = 6,   // arg: log2_line_hook for levels below 5
  LOG2_IOCTL_GET_LEVEL = 7,      // arg: int*, size at least 4
  LOG2_IOCTL_FILE_OPEN = 20,
  LOG2_IOCTL_FILE_DIR = 21,
  LOG2_IOCTL_FILE_SIZE = 22,
  LOG2_IOCTL_RECORD_NET_OPEN = 23,  // arg: structured-record collector URL (udp:// or udps://)
  LOG2_IOCTL_SYSLOG_URL = 24,
  LOG2_IOCTL_CONSOLE_ON = 40,
  LOG2_IOCTL_FILE_ON = 42,
  LOG2_IOCTL_SYSLOG_ON = 43,
};

inline void *log2_arg(intptr_t number) { return reinterpret_cast<void *>(number); }

// Receives every written line when both line hooks are set (the one for the line's level).
using log2_line_hook = void (*)(int level, const char *tag, const char *line, int len);

struct log2_ctx;  // opaque; null in every call means the default context

// The log call. Returns the length of the full line, 0 when filtered.
int log2_printf(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
                const char *func, const char *fmt, ...) __attribute__((format(printf, 7, 8)));
int log2_vprintf(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
                 const char *func, const char *fmt, va_list ap);
// Same with a finished text instead of a format.
int log2_puts(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
              const char *func, const char *text);
// Default-context wrappers; the second stores eno into errno first when level has LOG2_ERRNO.
int log2_printf_default(uint32_t level, const char *tag, const char *file, int line,
                        const char *func, const char *fmt, ...)
    __attribute__((format(printf, 6, 7)));
int log2_printf_errno(int eno, uint32_t level, const char *tag, const char *file, int line,
                      const char *func, const char *fmt, ...) __attribute__((format(printf, 7, 8)));

// Configures from section "log" (or "log_<name>") of an INI file. The first call configures and
// returns the default context, later calls a new one (release it with log2_exit).
log2_ctx *log2_init(const char *conf_file, const char *name);
// A new context with the defaults: level 7, tags 0x27, console only.
log2_ctx *log2_create();
// 0, or -1 ("Invalid command code\n" on standard error for an unknown command).
int log2_ioctl(log2_ctx *ctx, int cmd, void *arg, int size);
// Closes syslog, file and the record collector this context opened. A created context is freed;
// the default one is closed once and stays usable for the console, since other threads may
// still be logging through it.
void log2_exit(log2_ctx *ctx);

// Level helpers. The name lookup is exact and case-sensitive: -1 and
// "error: invalid level [%s]\n" on standard error otherwise. Unknown numbers give "unkown(%d)".
int log2_level_from_name(const char *name);
const char *log2_level_name(int level);
const char *log2_level_label(int level);  // label in the log file: "ERROR", "DEBUG", ...
// "log.verb=8\nlog.dbg=7\n...log.crit=2" into out; returns out.
char *log2_level_list(char *out, size_t size);

// Parses "time|tid|func"-style tag words into a mask (unknown words reported and ignored).
uint32_t log2_flags_from_text(const char *text);

// The newest lines as a new text (release with os_free), and the full path of the log file that
// was opened last (empty before any); 0 or -1 when out is too small.
char *log2_last_lines_dup(log2_ctx *ctx);
[[nodiscard]] int log2_file_path(log2_ctx *ctx, char *out, size_t size);

// The shell's "log.level" setting over the default context.
inline constexpr char LOG2_LEVEL_SETTING_NAME[] = "log.level";
inline constexpr char LOG2_LEVEL_SETTING_RANGE[] = "verb|dbg|info|noti|warn|err|crit";
inline constexpr char LOG2_LEVEL_SETTING_HELP[] = "Set log output level";
const char *log2_level_setting_get();
// 0; or -1 with "invalid param [%s]\n" in msg (level unchanged).
int log2_level_setting_set(const char *value, char *msg, size_t size);

