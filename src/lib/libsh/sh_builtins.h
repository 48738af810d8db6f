// Handlers of the built-in commands, listed in the built-in table of sh_cmds.cpp.
// Private to the shell library.
#pragma once

#include "libsh.h"

int cmd_show(sh_ctx *ctx, int argc, char **argv);
int cmd_set(sh_ctx *ctx, int argc, char **argv);
int cmd_call(sh_ctx *ctx, int argc, char **argv);
int cmd_pwd(sh_ctx *ctx, int argc, char **argv);
int cmd_alias(sh_ctx *ctx, int argc, char **argv);
int cmd_unalias(sh_ctx *ctx, int argc, char **argv);
int cmd_unset(sh_ctx *ctx, int argc, char **argv);
int cmd_echo(sh_ctx *ctx, int argc, char **argv);
int cmd_env(sh_ctx *ctx, int argc, char **argv);
int cmd_source(sh_ctx *ctx, int argc, char **argv);
int cmd_exit(sh_ctx *ctx, int argc, char **argv);
int cmd_quit(sh_ctx *ctx, int argc, char **argv);
int cmd_help(sh_ctx *ctx, int argc, char **argv);
