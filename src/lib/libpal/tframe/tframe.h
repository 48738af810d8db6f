// Application framework: the start-up and shut-down order every program of this system shares.
// A program fills g_app (names, callbacks, settings table) and calls app_opt_init from main; the
// framework runs in the main thread only and ends the process itself for the one-shot modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pal_os.h"

inline constexpr size_t APP_CMDLINE_SIZE = 4096;  // joined command line, with its terminator
inline constexpr size_t APP_BANNER_SIZE = 256;    // banner line, with its terminator

struct app_info {
  // --- descriptor, filled by the program before app_opt_init ---
  const char *app_name = nullptr;      // required
  const char *app_ver = nullptr;       // required
  const char *app_ver_date = nullptr;  // required
  const char *app_desc = nullptr;      // required
  const char *app_notice = nullptr;    // printed under the banner when set
  char cmdline[APP_CMDLINE_SIZE] = {};  // filled by the framework
  const char *os_name = "";             // filled by the framework from the platform library
  const char *cpu_name = "";
  uint32_t ver_num = 0;                  // version packed one byte per part, major first
  const char *app_conf_file = nullptr;  // required unless -c names a file
  int stop_flag = 0;  // set once by the stop path (a signal handler); read without a lock

  // Sends the -e commands to a running instance's debug shell; may be left unset.
  int (*shell_connet_cmd)(const char *host, int port, const char *commands) = nullptr;
  int (*opt_get)(int argc, char **argv) = nullptr;  // parses the command line
  int (*conf_file_init)(const char *path) = nullptr;  // reads the program's own keys
  char *(*conf_dump_proc)() = nullptr;  // the -p text, allocated with os_malloc; freed here
  void (*sig_handler)(int sig) = nullptr;  // SIGINT and SIGTERM
  int (*lib_init)() = nullptr;
  int (*lib_exit)() = nullptr;

  // --- option state, filled by the option callback and the configuration file ---
  os_opt_kv *settings = nullptr;  // the -s table, ends with a null key
  std::string conf_path;          // -c, else computed next to the executable
  std::string log_level;          // -l
  std::string log_file;           // -o
  int quiet = 0;                  // -q
  int dump_conf = 0;              // -p
  int need_root = 0;
  int log_cmdline = 0;            // log the command line with the banner
  int log_banner = 0;             // log the banner line
  std::string send_cmds;          // -e
  int debug_server_port = 0;
  int http_server_port = 0;
  std::string panic_dump_dir;     // from the configuration file
};

extern app_info g_app;

// The whole start sequence; 0, or -1 when no option callback is installed.
[[nodiscard]] int app_opt_init(int argc, char **argv);
// Log, configuration, settings, banner, one-shot modes, root check, core-file set-up; 0.
int app_opt_set();
// Library-exit callback, option texts, thread registry, log and platform library.
void app_exit();
// Logs the banner when asked and prints it with the notice line unless quiet.
void app_baner();
// The banner line "name-os-cpu vversion (date) - description", cut to APP_BANNER_SIZE - 1.
std::string app_banner_text();
