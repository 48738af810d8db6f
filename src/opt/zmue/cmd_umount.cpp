// The shell's `umount`: takes the current mount down; the shell that mounted it then returns
// from its `mount`.
#include <cstring>

#include "app_shell.h"
#include "myfuse.h"
#include "pal_log.h"

static const char kLogTag[] = "zmue";

int cmd_umount(sh_ctx *ctx, int argc, char **argv) {
  if (argc >= 2 && strcmp(argv[1], "-h") == 0) {
    ctx->print(ctx->channel, "umount %s\n", libsh_cmd_help(argv[0]));
    return 0;
  }
  int ret = myfuse_unmount(nullptr);
  ZLOG(LOG2_DBG, "dokan_unmount ret=%d\n", ret);
  ctx->print(ctx->channel, "OK\n");
  return 0;
}
