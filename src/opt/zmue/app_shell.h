// The program's part of the debug shell: the mount and umount commands, the views that show
// the configuration and the open files of the mount, and the exit hook. Start-up only.
#pragma once

#include "libsh.h"

// Mounts the URL in the shell's thread and returns when that mount has ended.
int cmd_mount(sh_ctx *ctx, int argc, char **argv);
int cmd_umount(sh_ctx *ctx, int argc, char **argv);

// Registers the program's commands, views and exit hook with the shell library; 0 or -1.
int app_shell_register();
