// Process-wide state of the shell library shared by its source files: aliases, shell variables,
// the three registries, the command tables and the last command line. Private to the library.
// Written at start-up in the main thread, then used by one shell loop at a time (no lock).
#pragma once

#include <string>
#include <vector>

#include "libsh.h"

// --- aliases (sh_alias.cpp) ---
void alias_init();  // the default aliases
void alias_free();
// 0 removed (a permanent one hidden), -1 not in the table.
int alias_remove(const char *name);
// Visible aliases bucket by bucket as "name=value" lines.
std::string alias_list_text();

// --- shell variables (sh_vars.cpp) ---
int init_envv();  // from the process environment; -1 when a copy failed
void sh_vars_free();
void sh_var_set(const std::string &name, const std::string &value);
bool sh_var_unset(const std::string &name);
const std::vector<std::string> &sh_vars();  // "NAME=value" texts

// --- registries (sh_registry.cpp) ---
struct rvar_item {
  std::string name;
  std::string desc;
  rvar_fn fn;
};
struct fvar_item {
  std::string name;
  std::string desc;
  fvar_fn fn;
};
struct dvar_item {
  std::string name;
  int type;
  std::string range;
  std::string desc;
  int (*set)(const char *value, char *msg, size_t size);
  const char *(*get)();
  char *value;
  size_t value_size;
};

void sh_registry_free();
const std::vector<rvar_item> &rvar_items();
const std::vector<fvar_item> &fvar_items();
const std::vector<dvar_item> &dvar_items();
const rvar_item *rvar_find(const char *name);
const fvar_item *fvar_find(const char *name);
const dvar_item *dvar_find(const char *name);
// The option's current value ("" when it has neither getter nor value).
const char *dvar_value(const dvar_item &item);
// 0, or -1 with the reason in msg (no line feed at its end).
int dvar_set_value(const dvar_item &item, const char *value, char *msg, size_t size);

// --- command tables (sh_cmds.cpp) ---
// Program's table first, then the built-ins; null when in neither.
const sh_cmd *sh_find_cmd(const char *name);
void sh_run_exit_hook();
// Runs one command with its words, option parser reset.
int sh_run_cmd(sh_ctx *ctx, const sh_cmd &cmd, std::vector<std::string> &words);

// --- last command line (sh_exec.cpp) ---
void sh_last_line_clear();

// --- registrations of the library's own views, functions and options ---
int sh_views_register();  // sh_views.cpp
int sh_funcs_register();  // sh_funcs.cpp
