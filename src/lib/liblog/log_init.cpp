// Log set-up from the program's INI file: section "log" (or "log_<name>"), keys applied in a
// fixed order so that the directory is known before the file opens and the level before any
// configured sink writes. Empty values are skipped.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "conf.h"
#include "log2.h"
#include "log_ctx.h"
#include "log_trace.h"

static const char kLogTag[] = "tag";

namespace {

void apply_file_size(log2_ctx *ctx, const char *value) {
  const int size = atoi(value);
  if (size < LOG2_CONF_FILE_SIZE_MIN) {
    log2_printf(ctx, LOG2_WARN, kLogTag, __FILE__, __LINE__, __func__,
                "log2_ioctl log.file_size=%d (must>=%d error)\n", size,
                static_cast<int>(LOG2_CONF_FILE_SIZE_MIN));
    return;
  }
  log_trace("log2_ioctl log.file_size=%d\n", size);
  (void)log2_ioctl(ctx, LOG2_IOCTL_FILE_SIZE, log2_arg(size), 0);
}

void apply_key(log2_ctx *ctx, const char *key, const char *value) {
  if (strcmp(key, "debug") == 0) {
    if (strcmp(value, "1") == 0) log_trace_enable(true);
  } else if (strcmp(key, "level") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_SET_LEVEL_NAME, const_cast<char *>(value), 0);
  } else if (strcmp(key, "flags") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_SET_FLAGS_TEXT, const_cast<char *>(value), 0);
  } else if (strcmp(key, "syslog") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_SYSLOG_URL, const_cast<char *>(value), 0);
    (void)log2_ioctl(ctx, LOG2_IOCTL_SYSLOG_ON, log2_arg(1), 0);
  } else if (strcmp(key, "bsvlog") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_RECORD_NET_OPEN, const_cast<char *>(value), 0);
  } else if (strcmp(key, "file_dir") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_FILE_DIR, const_cast<char *>(value), 0);
  } else if (strcmp(key, "file_mode") == 0) {
    std::lock_guard<std::mutex> guard(ctx->lock);
    ctx->file.set_mode(value);
  } else if (strcmp(key, "file") == 0) {
    (void)log2_ioctl(ctx, LOG2_IOCTL_FILE_OPEN, const_cast<char *>(value), 0);
    (void)log2_ioctl(ctx, LOG2_IOCTL_FILE_ON, log2_arg(1), 0);
  } else if (strcmp(key, "file_size") == 0) {
    apply_file_size(ctx, value);
  }
}

void configure(log2_ctx *ctx, const char *conf_file, const char *name) {
  if (getenv("ZMDBGLOG")) log_trace_enable(true);
  log_trace("conf_file=%s\n", conf_file ? conf_file : "");
  if (!conf_file || !*conf_file) return;
  conf_ptr conf(conf_load(conf_file));
  if (!conf) {
    log_trace("conf_load %s failed\n", conf_file);
    return;
  }
  const std::string section = name && *name ? std::string("log_") + name : std::string("log");
  static const char *const kKeys[] = {"debug",    "level",     "flags", "syslog",   "bsvlog",
                                      "file_dir", "file_mode", "file",  "file_size"};
  for (const char *key : kKeys) {
    const char *value = conf_get_string(conf.get(), section.c_str(), key, "");
    log_trace("log.%s=%s\n", key, value);
    if (*value) apply_key(ctx, key, value);
  }
}

}  // namespace

log2_ctx *log2_init(const char *conf_file, const char *name) {
  static std::atomic<bool> default_taken{false};
  log2_ctx *ctx = default_taken.exchange(true) ? log2_create() : log_default_ctx();
  configure(ctx, conf_file, name);
  return ctx;
}
