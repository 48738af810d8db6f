// The built-in commands that look at or change the shell's own state and the registries:
// show, set, call, pwd, alias, unalias, unset, env, exit and quit.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "pal_env.h"
#include "sh_builtins.h"
#include "sh_state.h"

namespace {

int write_text(sh_ctx *ctx, const std::string &text) { return ctx->write(ctx->channel, text.c_str()); }

// True when the command's words start with an option (its usage is asked for or misspelled).
bool wants_usage(sh_ctx *ctx, int argc, char **argv) {
  return sh_getopt(ctx, argc, argv, "h") != -1;
}

// The "name / help text / -h" usage. exit and quit answer it too: "help exit" asks for a
// usage and must not end the program.
bool printed_usage(sh_ctx *ctx, int argc, char **argv) {
  if (!wants_usage(ctx, argc, argv)) return false;
  ctx->print(ctx->channel, "%s\n%s\n\t-h Display this help\n", argv[0], libsh_cmd_help(argv[0]));
  return true;
}

}  // namespace

int cmd_show(sh_ctx *ctx, int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "-h") != 0) {
    const rvar_item *view = rvar_find(argv[1]);
    if (view == nullptr) {
      ctx->print(ctx->channel, "error: The show variable '%s' does not exist\n", argv[1]);
      return SH_RES_NOT_FOUND;
    }
    if (char *text = view->fn()) {
      ctx->write(ctx->channel, text);
      os_free(text);
    }
    return 0;
  }
  std::string text = std::string(libsh_cmd_help(argv[0])) + "\n";
  for (const rvar_item &v : rvar_items()) text += "show " + v.name + " -- " + v.desc + "\n";
  write_text(ctx, text);
  return 0;
}

int cmd_set(sh_ctx *ctx, int argc, char **argv) {
  if (argc == 3) {
    const dvar_item *option = dvar_find(argv[1]);
    if (option == nullptr) {
      ctx->print(ctx->channel, "error: The set variable '%s' does not exist\n", argv[1]);
      return SH_RES_NOT_FOUND;
    }
    char msg[SH_LINE_SIZE];
    if (dvar_set_value(*option, argv[2], msg, sizeof(msg)) == 0) return 0;
    ctx->print(ctx->channel, "error: %s\n", msg);
    return -1;
  }
  std::string text = std::string(libsh_cmd_help(argv[0])) + "\n";
  for (const dvar_item &d : dvar_items()) {
    text += "set " + d.name + " [" + d.range + "] -- " + d.desc + "\n";
  }
  write_text(ctx, text);
  return (argc == 2 && strcmp(argv[1], "-h") == 0) ? 0 : -1;
}

int cmd_call(sh_ctx *ctx, int argc, char **argv) {
  if (argc >= 2 && strcmp(argv[1], "-h") != 0) {
    const fvar_item *fn = fvar_find(argv[1]);
    if (fn == nullptr) {
      ctx->print(ctx->channel, "error: The call func '%s' does not exist\n", argv[1]);
      return SH_RES_NOT_FOUND;
    }
    return fn->fn(ctx, argc - 1, argv + 1);
  }
  std::string text = std::string(libsh_cmd_help(argv[0])) + "\n";
  for (const fvar_item &f : fvar_items()) text += "call " + f.name + " -- " + f.desc + "\n";
  write_text(ctx, text);
  return argc >= 2 ? 0 : -1;
}

int cmd_pwd(sh_ctx *ctx, int argc, char **argv) {
  if (printed_usage(ctx, argc, argv)) return 0;
  char dir[SH_LINE_SIZE];
  if (getcwd(dir, sizeof(dir)) == nullptr) {
    ctx->print(ctx->channel, "os_getcwd err: [%s]\n", strerror(errno));
    return -1;
  }
  ctx->print(ctx->channel, "%s\n", dir);
  return 0;
}

int cmd_alias(sh_ctx *ctx, int argc, char **argv) {
  if (argc == 1) {
    write_text(ctx, alias_list_text());
    return 0;
  }
  if (wants_usage(ctx, argc, argv)) return 0;
  int result = 0;
  for (int i = 1; i < argc; ++i) {
    char *eq = strchr(argv[i], '=');
    if (eq != nullptr && eq != argv[i]) {
      std::string name(argv[i], eq);
      if (alias_set(name.c_str(), eq + 1, 0) != 0) result = SH_RES_USAGE;
      continue;
    }
    if (const char *value = alias_get(argv[i])) {
      ctx->print(ctx->channel, "%s=%s\n", argv[i], value);
    } else {
      ctx->print(ctx->channel, "%s not found\n", argv[i]);
      result = SH_RES_USAGE;
    }
  }
  return result;
}

int cmd_unalias(sh_ctx *ctx, int argc, char **argv) {
  if (wants_usage(ctx, argc, argv)) return 0;
  int result = 0;
  for (int i = 1; i < argc; ++i) {
    if (alias_remove(argv[i]) == 0) continue;
    ctx->print(ctx->channel, "%s not found\n", argv[i]);
    result = SH_RES_USAGE;
  }
  return result;
}

int cmd_unset(sh_ctx *ctx, int argc, char **argv) {
  if (wants_usage(ctx, argc, argv)) {
    ctx->print(ctx->channel, "unset [var ...]\n%s\n\t-h Display this help\n", libsh_cmd_help(argv[0]));
    return 0;
  }
  if (argc < 2) {
    ctx->print(ctx->channel, "unsetenv: Too few arguments\n");
    return 0;
  }
  for (int i = 1; i < argc; ++i) sh_var_unset(argv[i]);
  return 0;
}

int cmd_env(sh_ctx *ctx, int, char **) {
  std::string text;
  for (const std::string &var : sh_vars()) text += var + "\n";
  write_text(ctx, text);
  return 0;
}

int cmd_exit(sh_ctx *ctx, int argc, char **argv) {
  if (printed_usage(ctx, argc, argv)) return 0;
  ctx->end_reply(ctx->channel);
  sh_run_exit_hook();
  ctx->exit_flag = 1;
  return 0;
}

int cmd_quit(sh_ctx *ctx, int argc, char **argv) {
  if (printed_usage(ctx, argc, argv)) return 0;
  ctx->end_reply(ctx->channel);
  ctx->exit_flag = 1;
  return 0;
}
