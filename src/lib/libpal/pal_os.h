// Operating-system services: paths of the running program, file and directory helpers,
// daemonizing, the fatal-signal (panic) set-up and the -s settings table.
#pragma once

#include <cstddef>

inline constexpr int OS_PATH_SIZE = 4096;

// Directory of the running executable (cut at its last slash or backslash); 0 or -1.
int os_exe_get_dir(char *out, size_t size);
// Backslashes to "/", runs of "/" collapsed; in place, returns text.
char *os_path_normalize(char *text);
bool os_path_is_absolute(const char *path);  // begins with "/" (or a drive letter and ":")
bool os_file_exists(const char *path);       // exists and is not a directory
bool os_dir_exists(const char *path);
int os_mkdirs(const char *path, unsigned mode);  // creates missing parents; 0 or -1 (errno set)

// Fork twice, new session, SIGHUP ignored, umask 0, standard descriptors on /dev/null.
int os_daemonize();

// Panic handling for SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV.
using os_panic_callback = void (*)();
int os_panic_install();                     // installs the handler
void os_panic_set_callback(os_panic_callback cb);
// Core files into dir after a fatal signal (root only; empty dir: none). 0, or -1.
int os_painc_set_dump_dir(const char *dir, const char *app_name);
// Unlimited core size, dir remembered, core pattern "<dir>/%e-%p-%t-%c.core" written.
int os_panic_init_core_dump(const char *dir);
// Version text of the panic's "appver:" line (the framework passes app_ver).
void os_panic_set_app_ver(const char *app_ver);
// Text supplied by the log core for the first panic line (set by the log core, may be empty).
void os_panic_set_context_text(const char *(*provider)());

// One row of a -s settings table; the table ends with a row whose key is null.
inline constexpr int OS_OPT_TYPE_INT = 14;
struct os_opt_kv {
  const char *key;
  void *target;   // int* for OS_OPT_TYPE_INT, else char** receiving an owned copy
  int type;
  char *pending;  // value given with -s, owned, null when not set
};

int os_opt_kv_get(os_opt_kv *table, const char *arg);
// Converts every pending value into its target, then frees the pending values.
void os_opt_kv_apply(os_opt_kv *table);
