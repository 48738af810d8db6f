// The two command tables (the program's, then the built-ins), their lookup and `help`.
// Names compare exactly and case-sensitively.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sh_builtins.h"
#include "sh_state.h"

namespace {

struct sh_cmd_table {
  const sh_cmd *cmds;
  size_t count;
};

const sh_cmd kBuiltins[] = {
    {"show", cmd_show, "Show the status of the program"},
    {"set", cmd_set, "Set public options"},
    {"call", cmd_call, "call application commands"},
    {"pwd", cmd_pwd, "Print working directory"},
    {"alias", cmd_alias, "Define or display alias"},
    {"unalias", cmd_unalias, "Delete the alias set by alias"},
    {"unset", cmd_unset, "Cancel environment variable"},
    {"echo", cmd_echo, "Echo the STRING(s) to output"},
    {"env", cmd_env, "Display all variables"},
    {"source", cmd_source, "Exec commands from file"},
    {"exit", cmd_exit, "Exit the service program"},
    {"quit", cmd_quit, "Quit the current session"},
    {"help", cmd_help, "Display this text"},
    {"?", cmd_help, "Synonym for `help'"},
};

constexpr sh_cmd_table kBuiltinTable{kBuiltins, sizeof(kBuiltins) / sizeof(kBuiltins[0])};
sh_cmd_table g_app_cmds{nullptr, 0};
void (*g_exit_hook)() = nullptr;

const sh_cmd *find_in(sh_cmd_table table, const char *name) {
  for (size_t i = 0; i < table.count; ++i) {
    if (strcmp(table.cmds[i].name, name) == 0) return &table.cmds[i];
  }
  return nullptr;
}

void list_table(std::string &text, sh_cmd_table table) {
  char line[SH_PRINT_SIZE];
  for (size_t i = 0; i < table.count; ++i) {
    snprintf(line, sizeof(line), "%-10s\t%s\n", table.cmds[i].name, table.cmds[i].help);
    text += line;
  }
}

}  // namespace

void libsh_set_app_cmds(const sh_cmd *cmds, size_t count) { g_app_cmds = {cmds, cmds ? count : 0}; }
void libsh_set_exit_hook(void (*hook)()) { g_exit_hook = hook; }

const sh_cmd *sh_find_cmd(const char *name) {
  if (name == nullptr) return nullptr;
  if (const sh_cmd *cmd = find_in(g_app_cmds, name)) return cmd;
  return find_in(kBuiltinTable, name);
}

const char *libsh_cmd_help(const char *name) {
  const sh_cmd *cmd = sh_find_cmd(name);
  return cmd ? cmd->help : "get cmd help failed";
}

void sh_run_exit_hook() {
  if (g_exit_hook != nullptr) g_exit_hook();
}

// "help name" asks the command itself for its usage, as "name -h" would.
int cmd_help(sh_ctx *ctx, int argc, char **argv) {
  if (argc >= 2) {
    if (const sh_cmd *cmd = sh_find_cmd(argv[1])) {
      std::vector<std::string> words = {argv[1], "-h"};
      return sh_run_cmd(ctx, *cmd, words);
    }
  }
  std::string text;
  list_table(text, g_app_cmds);
  list_table(text, kBuiltinTable);
  text += "\nFor more information, type 'help command' for each command.\n";
  text += "e.g. help pwd\n";
  ctx->write(ctx->channel, text.c_str());
  return 0;
}
