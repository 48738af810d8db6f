// The shell library: runs the command lines that a shell server reads (";" pieces, one level of
// aliases, NAME=value variables, the repeat of the last line), the built-in commands, and the
// registries through which other parts add views (`show`), functions (`call`) and options (`set`).
// Start-up registers everything from the main thread; afterwards one shell loop at a time uses it.
#pragma once

#include <cstddef>
#include <cstdint>

// --- shell context ----------------------------------------------------------------------------
// Modes of the server loop that owns a context.
inline constexpr uint32_t SH_MODE_STDIO = 0;
inline constexpr uint32_t SH_MODE_NET = 1;
inline constexpr uint32_t SH_MODE_PIPE = 3;

inline constexpr size_t SH_LINE_SIZE = 4096;   // a command line, with its terminator
inline constexpr size_t SH_PRINT_SIZE = 8192;  // one formatted print, with its terminator
inline constexpr size_t SH_WORD_SIZE = 256;    // alias names and NAME=value parts

// Results of commands besides 0 and a count.
inline constexpr int SH_RES_USAGE = 1;       // usage or not-found of alias, unalias, echo, source
inline constexpr int SH_RES_NOT_FOUND = -12;  // command, view, function or option unknown

// The per-command option parser (flags only), reset before every command.
struct sh_opt_state {
  int optind = 1;  // next word to look at
  int sp = 1;      // next letter inside that word
  int optopt = 0;  // the letter returned last
};

// Filled by the shell server; the output functions get back the server's channel.
struct sh_ctx {
  uint32_t mode = SH_MODE_STDIO;
  int exit_flag = 0;  // set by exit and quit; the loop ends after the current line
  void *channel = nullptr;
  int (*print)(void *channel, const char *fmt, ...) __attribute__((format(printf, 2, 3))) = nullptr;
  int (*write)(void *channel, const char *text) = nullptr;
  int (*end_reply)(void *channel) = nullptr;  // one NUL byte after every command
  sh_opt_state opt;
};

// Returns the next option letter of argv, '?' for a letter not in optstring, -1 when the
// options end (at the first word that does not start with "-", or at "--").
int sh_getopt(sh_ctx *ctx, int argc, char **argv, const char *optstring);

// --- commands -----------------------------------------------------------------------------------
using sh_cmd_fn = int (*)(sh_ctx *ctx, int argc, char **argv);  // argv[0] is the command name

struct sh_cmd {
  const char *name;
  sh_cmd_fn handler;
  const char *help;  // one line; also stands for "%s" in the command's usage text
};

// The program's own commands, searched before the built-ins; the table must outlive the shell.
void libsh_set_app_cmds(const sh_cmd *cmds, size_t count);
// Called by `exit` before the loop ends (the program unmounts and stops its server there).
void libsh_set_exit_hook(void (*hook)());
// Help text of a command (program's first); "get cmd help failed" for an unknown name.
const char *libsh_cmd_help(const char *name);

int libsh_init();
void libsh_exit();

// Runs one command line; the result of the last command run (a negative one ends the line).
int exec_commands(sh_ctx *ctx, const char *line);

// --- registries ---------------------------------------------------------------------------------
// Each keeps registration order; a name added twice is refused (-1) with a log line.
using rvar_fn = char *(*)();  // a view's text, new (os_malloc), or null for none
using fvar_fn = int (*)(sh_ctx *ctx, int argc, char **argv);  // argv[0] is the function name

[[nodiscard]] int rvar_mgr_add(const char *name, const char *desc, rvar_fn fn);
[[nodiscard]] int fvar_mgr_add(const char *name, const char *desc, fvar_fn fn);

inline constexpr int DVAR_TYPE_ENUM = 1;  // value must be one of the "|"-separated range words
inline constexpr int DVAR_TYPE_TEXT = 0;

// A `set` option. Either the setter takes values (0, or -1 with a reason in msg), or, without
// one, the value buffer receives them (value_size bytes, cut); the getter, else the value, is read.
struct dvar_entry {
  const char *name;
  int type;
  const char *range;
  const char *desc;
  int (*set)(const char *value, char *msg, size_t size);
  const char *(*get)();
  char *value;
  size_t value_size;
};

[[nodiscard]] int dvar_mgr_add(const dvar_entry &entry);

// --- aliases -----------------------------------------------------------------------------------------
inline constexpr unsigned SH_ALIAS_PERMANENT = 0x1;  // unalias hides it instead of removing it

// Defines or replaces an alias; 0, or -1 for an empty name or a name or value too long.
int alias_set(const char *name, const char *value, unsigned flags);
// The expansion of a visible alias, or null.
const char *alias_get(const char *name);
