// Control commands of a log context, and its creation and release. Commands that touch a sink
// take the context lock; level and tag mask are plain words.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bsvf.h"
#include "log2.h"
#include "log_ctx.h"
#include "log_trace.h"

static const char kLogTag[] = "tag";

namespace {

intptr_t number_of(void *arg) { return reinterpret_cast<intptr_t>(arg); }
const char *text_of(void *arg) { return arg ? static_cast<const char *>(arg) : ""; }

int set_level_name(log2_ctx *ctx, const char *name) {
  const int level = log2_level_from_name(name);
  if (level < 0) return -1;
  ctx->level.store(level, std::memory_order_relaxed);
  return 0;
}

int set_syslog_url(log2_ctx *ctx, const char *url) {
  log_syslog_target target;
  if (log_syslog_parse(url, &target) != 0) {
    log2_printf(ctx, LOG2_DBG, kLogTag, __FILE__, __LINE__, __func__, "url_parser %s failed\n", url);
    return -1;
  }
  std::lock_guard<std::mutex> guard(ctx->lock);
  ctx->syslog.configure(target);
  return 0;
}

int open_collector(log2_ctx *ctx, const char *url) {
  if (log_bsv_udp_open(url) != 0) return -1;
  std::lock_guard<std::mutex> guard(ctx->lock);
  ctx->opened_collector = true;
  return 0;
}

int set_switch(log2_ctx *ctx, bool log2_ctx::*sink, void *arg) {
  std::lock_guard<std::mutex> guard(ctx->lock);
  ctx->*sink = number_of(arg) != 0;
  return 0;
}

int set_hook(log2_ctx *ctx, log2_line_hook log2_ctx::*slot, void *arg) {
  std::lock_guard<std::mutex> guard(ctx->lock);
  ctx->*slot = reinterpret_cast<log2_line_hook>(arg);
  return 0;
}

// Closes the sinks that hold system resources; the context stays usable for the console.
void close_sinks(log2_ctx *ctx) {
  bool collector = false;
  {
    std::lock_guard<std::mutex> guard(ctx->lock);
    ctx->syslog.close();
    ctx->file.close();
    ctx->file_on = false;
    ctx->syslog_on = false;
    collector = ctx->opened_collector;
    ctx->opened_collector = false;
  }
  if (collector) bsvf_net_close();  // waits for its opening thread, so not under the lock
}

}  // namespace

log2_ctx *log2_create() { return new log2_ctx(); }

int log2_ioctl(log2_ctx *ctx, int cmd, void *arg, int size) {
  ctx = log_ctx_or_default(ctx);
  switch (cmd) {
    case LOG2_IOCTL_SET_LEVEL:
      ctx->level.store(static_cast<int>(number_of(arg)), std::memory_order_relaxed);
      return 0;
    case LOG2_IOCTL_SET_FLAGS:
      ctx->flags.store(static_cast<uint32_t>(number_of(arg)), std::memory_order_relaxed);
      return 0;
    case LOG2_IOCTL_SET_LEVEL_NAME:
      return set_level_name(ctx, text_of(arg));
    case LOG2_IOCTL_SET_FLAGS_TEXT:
      ctx->flags.store(log2_flags_from_text(text_of(arg)), std::memory_order_relaxed);
      return 0;
    case LOG2_IOCTL_SET_HOOK_HIGH:
      return set_hook(ctx, &log2_ctx::hook_high, arg);
    case LOG2_IOCTL_SET_HOOK_LOW:
      return set_hook(ctx, &log2_ctx::hook_low, arg);
    case LOG2_IOCTL_GET_LEVEL:
      if (!arg || size < static_cast<int>(sizeof(int))) return -1;
      *static_cast<int *>(arg) = ctx->level.load(std::memory_order_relaxed);
      return 0;
    case LOG2_IOCTL_FILE_OPEN: {
      std::lock_guard<std::mutex> guard(ctx->lock);
      return ctx->file.open(text_of(arg));
    }
    case LOG2_IOCTL_FILE_DIR: {
      std::lock_guard<std::mutex> guard(ctx->lock);
      return ctx->file.set_dir(text_of(arg));
    }
    case LOG2_IOCTL_FILE_SIZE: {
      std::lock_guard<std::mutex> guard(ctx->lock);
      ctx->file.set_max_size(static_cast<long>(number_of(arg)));
      return 0;
    }
    case LOG2_IOCTL_RECORD_NET_OPEN:
      return open_collector(ctx, text_of(arg));
    case LOG2_IOCTL_SYSLOG_URL:
      return set_syslog_url(ctx, text_of(arg));
    case LOG2_IOCTL_CONSOLE_ON:
      return set_switch(ctx, &log2_ctx::console_on, arg);
    case LOG2_IOCTL_FILE_ON:
      return set_switch(ctx, &log2_ctx::file_on, arg);
    case LOG2_IOCTL_SYSLOG_ON:
      return set_switch(ctx, &log2_ctx::syslog_on, arg);
    default:
      fprintf(stderr, "Invalid command code\n");
      return -1;
  }
}

void log2_exit(log2_ctx *ctx) {
  log2_ctx *default_ctx = log_default_ctx();
  if (!ctx || ctx == default_ctx) {
    static std::atomic<bool> closed{false};
    if (closed.exchange(true)) return;
    close_sinks(default_ctx);
    return;
  }
  close_sinks(ctx);
  delete ctx;
}
