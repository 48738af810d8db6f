// The log call: filter, prefix, message, then every enabled sink under the context lock.
// This file also installs the core as the platform's log sink and as the panic handler's text
// source, from a static initialiser, so that linking the library is all a program has to do.
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bsvf.h"
#include "log2.h"
#include "log_ctx.h"
#include "log_level.h"
#include "log_line.h"
#include "log_redact.h"
#include "pal_env.h"
#include "pal_os.h"
#include "pal_verr.h"

namespace {

std::atomic<log2_ctx *> g_default_ctx{nullptr};

const char *base_name(const char *path) {
  const char *base = path;
  for (const char *p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

void append_prefix(log_line &out, uint32_t flags, const char *file, int line, const char *func) {
  if (flags & (LOG2_TAG_TIME | LOG2_TAG_TIME_MS)) {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    if (flags & LOG2_TAG_TIME)
      out.appendf("%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
    else
      out.appendf("%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_usec / 1000));
  }
  if ((flags & LOG2_TAG_TID) && !out.full())
    out.appendf("[%u] ", static_cast<unsigned>(os_gettid()));
  if ((flags & LOG2_TAG_TID_NAME) && !out.full()) {
    char name[64];
    out.appendf("[%s] ", os_thread_name_get(name, sizeof name));
  }
  if ((flags & LOG2_TAG_FILE) && !out.full()) out.appendf("[%s:%d] ", base_name(file ? file : ""), line);
  if ((flags & LOG2_TAG_FUNC) && func && !out.full()) out.appendf("%s(): ", func);
}

void write_console(int level, uint32_t flags, const log_line &full) {
  const char *colour = (flags & LOG2_TAG_COLOUR) ? log_level_colour(level) : nullptr;
  if (colour)
    fprintf(stderr, "%s%s%s", colour, full.text, "\033[0m");
  else
    fwrite(full.text, 1, full.len, stderr);
  fflush(stderr);
}

// A capture log file receives the record instead of the text line. The writer is taken out
// under the lock and written outside it, since the capture file logs its own failures.
void write_capture(log2_ctx *ctx, const bsv_log_record &record) {
  std::shared_ptr<bsvf_pcap> capture;
  long max_size = 0;
  {
    std::lock_guard<std::mutex> guard(ctx->lock);
    if (!ctx->file_on) return;
    capture = ctx->file.capture();
    max_size = ctx->file.max_size();
  }
  if (capture) (void)bsvf_pcap_write(capture.get(), record.data, record.len, max_size);  // logged inside
}

void write_out(log2_ctx *ctx, int level, uint32_t flags, const char *tag, const log_line &full,
               const log_line &func_line) {
  char cut_tag[256];
  snprintf(cut_tag, sizeof cut_tag, "%s", tag ? tag : "");
  std::lock_guard<std::mutex> guard(ctx->lock);
  if (ctx->hook_low && ctx->hook_high)
    (level >= static_cast<int>(LOG2_NOTI) ? ctx->hook_high : ctx->hook_low)(level, cut_tag, full.text,
                                                          static_cast<int>(full.len));
  if (ctx->console_on) write_console(level, flags, full);
  if (ctx->file_on) (void)ctx->file.write(level, cut_tag, func_line.text, func_line.len);  // traced inside
  if (ctx->syslog_on) ctx->syslog.write(level, cut_tag, full.text, full.len, flags);
  ctx->last_lines.append(full.text, full.len);
}

// Everything after the filter: the message is already formatted into msg.
int log_message(log2_ctx *ctx, uint32_t level_arg, int saved_errno, const char *tag,
                const char *file, int line, const char *func, log_line &msg) {
  const int level = static_cast<int>(level_arg & 0xff);
  const uint32_t flags = ctx->flags.load(std::memory_order_relaxed);
  // URLs are logged whole in many places (mount, command line, errors): their passwords not.
  log_redact(msg);
  log_line full;
  append_prefix(full, flags, file, line, func);
  full.append(msg.text, msg.len);
  log_line func_line;
  if ((flags & LOG2_TAG_FUNC) && func) func_line.appendf("%s(): ", func);
  func_line.append(msg.text, msg.len);
  if (level_arg & LOG2_ERRNO) {
    const char *reason = os_errno_str(saved_errno);
    for (log_line *part : {&full, &func_line, &msg}) part->appendf("%s\n", reason);
  }
  bsv_log_record record;
  if (bsv_log_write(level_arg, tag, file, line, func, msg.text, &record) > 0) write_capture(ctx, record);
  if (!(level_arg & LOG2_RECORD_ONLY)) {
    full.end_with_line_feed();
    func_line.end_with_line_feed();
    write_out(ctx, level, flags, tag, full, func_line);
    if (level == static_cast<int>(LOG2_CRIT) && !(level_arg & LOG2_NOEXIT)) exit(1);
  }
  return static_cast<int>(full.len);
}

bool filtered(log2_ctx *ctx, uint32_t level_arg) {
  return static_cast<int>(level_arg & 0xff) > ctx->level.load(std::memory_order_relaxed);
}

int sink_vprintf(uint32_t level, const char *tag, const char *file, int line, const char *func,
                 const char *fmt, va_list ap) {
  return log2_vprintf(nullptr, level, tag, file, line, func, fmt, ap);
}

// For the first line of a panic report: the last line logged. The lock is only tried, since the
// faulting thread may hold it.
const char *panic_context_text() {
  static char text[512];
  text[0] = '\0';
  log2_ctx *ctx = g_default_ctx.load();
  if (ctx && ctx->lock.try_lock()) {
    char last[480];
    snprintf(text, sizeof text, "last log: %s", ctx->last_lines.last_line(last, sizeof last));
    ctx->lock.unlock();
  }
  return text;
}

[[maybe_unused]] const bool g_sink_installed = [] {
  pal_log_set_sink(&sink_vprintf);
  os_panic_set_context_text(&panic_context_text);
  return true;
}();

}  // namespace

// Named by the library's link option so that this object, and with it the initialiser above,
// is part of every program that links the library.
extern "C" {
int log2_core_linked = 1;
}

log2_ctx *log_default_ctx() {
  static log2_ctx *const ctx = [] {
    auto *created = new log2_ctx();
    g_default_ctx.store(created);
    return created;
  }();
  return ctx;
}

int log2_vprintf(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
                 const char *func, const char *fmt, va_list ap) {
  const int saved_errno = errno;
  ctx = log_ctx_or_default(ctx);
  if (filtered(ctx, level)) return 0;
  log_line msg;
  msg.vappendf(fmt, ap);
  const int n = log_message(ctx, level, saved_errno, tag, file, line, func, msg);
  errno = saved_errno;
  return n;
}

int log2_printf(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
                const char *func, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int n = log2_vprintf(ctx, level, tag, file, line, func, fmt, ap);
  va_end(ap);
  return n;
}

int log2_puts(log2_ctx *ctx, uint32_t level, const char *tag, const char *file, int line,
              const char *func, const char *text) {
  const int saved_errno = errno;
  ctx = log_ctx_or_default(ctx);
  if (filtered(ctx, level)) return 0;
  log_line msg;
  msg.append(text ? text : "");
  const int n = log_message(ctx, level, saved_errno, tag, file, line, func, msg);
  errno = saved_errno;
  return n;
}

int log2_printf_default(uint32_t level, const char *tag, const char *file, int line,
                        const char *func, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int n = log2_vprintf(nullptr, level, tag, file, line, func, fmt, ap);
  va_end(ap);
  return n;
}

int log2_printf_errno(int eno, uint32_t level, const char *tag, const char *file, int line,
                      const char *func, const char *fmt, ...) {
  if (level & LOG2_ERRNO) errno = eno;
  va_list ap;
  va_start(ap, fmt);
  const int n = log2_vprintf(nullptr, level, tag, file, line, func, fmt, ap);
  va_end(ap);
  return n;
}
