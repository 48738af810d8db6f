// The shell's `mount`: serves one mount URL in the shell's thread, which waits until the mount
// is unmounted (from outside, by `umount` from another loop, by a signal or the heartbeat).
#include <cstdio>
#include <cstring>

#include "app_shell.h"
#include "log2.h"
#include "myfuse.h"
#include "pal_log.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

inline constexpr size_t CMD_MOUNT_URL_SIZE = 8192;

int cmd_mount(sh_ctx *ctx, int argc, char **argv) {
  if (argc != 2 || strcmp(argv[1], "-h") == 0) {
    ctx->print(ctx->channel, "mount [url]\n%s\nurl: Mount file path and parameters\n",
               libsh_cmd_help(argv[0]));
    return argc == 2 ? 0 : -1;
  }
  char url[CMD_MOUNT_URL_SIZE];
  snprintf(url, sizeof(url), "%s", argv[1]);
  char err[MYFUSE_ERR_SIZE] = "";
  int ret = myfuse_mount(url, err);
  // The served mount is over: the openfile view must not look at it any more.
  myfuse_set_mount(nullptr, 0);
  ZLOG(LOG2_DBG, "dokan_mount ret=%d\n", ret);
  // A stop signal ended the mount: the shell ends too instead of waiting for the next line.
  if (app_stop_signal() != 0) ctx->exit_flag = 1;
  if (ret < 0) {
    char log_file[4096];
    if (log2_file_path(nullptr, log_file, sizeof(log_file)) != 0) log_file[0] = '\0';
    ctx->print(ctx->channel, "error: %s log_file=[%s]\n", err, log_file);
  }
  return ret;
}
