// Read-only views of a log context for the debug shell, and the shell's "log.level" setting.
// The shell registers them; the log core does not know the shell.
#include <cstdio>
#include <cstring>

#include "log2.h"
#include "log_ctx.h"
#include "pal_env.h"

char *log2_last_lines_dup(log2_ctx *ctx) {
  ctx = log_ctx_or_default(ctx);
  std::lock_guard<std::mutex> guard(ctx->lock);
  return os_strdup(ctx->last_lines.text().c_str());
}

int log2_file_path(log2_ctx *ctx, char *out, size_t size) {
  ctx = log_ctx_or_default(ctx);
  std::lock_guard<std::mutex> guard(ctx->lock);
  const std::string &path = ctx->file.path();
  if (size == 0 || path.size() >= size) return -1;
  memcpy(out, path.c_str(), path.size() + 1);
  return 0;
}

const char *log2_level_setting_get() {
  int level = 0;
  if (log2_ioctl(nullptr, LOG2_IOCTL_GET_LEVEL, &level, sizeof level) != 0) return "";
  return log2_level_name(level);
}

int log2_level_setting_set(const char *value, char *msg, size_t size) {
  if (log2_ioctl(nullptr, LOG2_IOCTL_SET_LEVEL_NAME, const_cast<char *>(value ? value : ""), 0) == 0)
    return 0;
  if (msg && size) snprintf(msg, size, "invalid param [%s]\n", value ? value : "");
  return -1;
}
