// The option-driven half of start-up: signals, log, configuration file, -s settings, banner, the
// one-shot modes (-p, -e) that end the process here, the root check and the core-file directory.
// Runs once in the main thread, after the program's option callback filled g_app.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "log2.h"
#include "pal_env.h"
#include "pal_log.h"
#include "tframe.h"

static const char kLogTag[] = "pal";

inline constexpr size_t APP_DUMP_DIR_SIZE = 8192;  // panic dump directory, with its terminator

static int app_log_text(log2_ctx *ctx, int cmd, const std::string &text) {
  return log2_ioctl(ctx, cmd, const_cast<char *>(text.c_str()), static_cast<int>(text.size() + 1));
}

static void app_install_sig_handler() {
  if (g_app.sig_handler == nullptr) return;
  struct sigaction action = {};
  action.sa_handler = g_app.sig_handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

static std::string app_conf_file_name() {
  if (g_app.app_conf_file == nullptr) {
    ZLOG(LOG2_ERR, "expr[%s]: assert failed\n", "g_app.app_conf_file!=NULL");
    return "";
  }
  return g_app.app_conf_file;
}

// The configuration file may be written with backslashes or as a "file://" URL.
static bool app_conf_file_exists(const std::string &path) {
  std::string plain = path;
  for (char &c : plain) {
    if (c == '\\') c = '/';
  }
  static const char kFileScheme[] = "file://";
  if (plain.compare(0, sizeof(kFileScheme) - 1, kFileScheme) == 0) {
    plain.erase(0, sizeof(kFileScheme) - 1);
  }
  return os_file_exists(plain.c_str());
}

static void app_log_settings() {
  if (g_app.settings == nullptr) return;
  for (const os_opt_kv *row = g_app.settings; row->key != nullptr; row++) {
    if (row->type == OS_OPT_TYPE_INT) {
      ZLOG(LOG2_VERB, "%s=%d\n", row->key, *static_cast<const int *>(row->target));
    } else {
      const char *text = *static_cast<char *const *>(row->target);
      ZLOG(LOG2_VERB, "%s=%s\n", row->key, text != nullptr ? text : "");
    }
  }
}

[[noreturn]] static void app_conf_dump() {
  if (g_app.conf_dump_proc == nullptr) {
    ZLOG(LOG2_ERR, "g_app.conf_dump_proc = NULL!\n");
    exit(0);
  }
  char *text = g_app.conf_dump_proc();
  if (text != nullptr) {
    printf("%s", text);
    os_free(text);
  }
  exit(0);
}

// No caller of this framework may reach through a missing connect callback: say so plainly.
[[noreturn]] static void app_send_cmds() {
  app_log_text(nullptr, LOG2_IOCTL_SET_LEVEL_NAME, "info");
  if (g_app.shell_connet_cmd == nullptr) {
    fprintf(stderr, "%s: -e: sending commands to 127.0.0.1:%d is not supported by this build\n",
            g_app.app_name != nullptr ? g_app.app_name : "", g_app.debug_server_port);
    exit(0);
  }
  g_app.shell_connet_cmd("127.0.0.1", g_app.debug_server_port, g_app.send_cmds.c_str());
  exit(0);
}

// A relative directory is taken beside the executable; core files need root (checked inside).
static void app_set_dump_dir(const std::string &exe_dir) {
  std::string dir = g_app.panic_dump_dir;
  if (!dir.empty() && !os_path_is_absolute(dir.c_str())) dir = exe_dir + '/' + dir;
  if (dir.size() > APP_DUMP_DIR_SIZE - 1) dir.resize(APP_DUMP_DIR_SIZE - 1);
  os_painc_set_dump_dir(dir.c_str(), g_app.app_name);
}

int app_opt_set() {
  app_install_sig_handler();

  char exe_dir[OS_PATH_SIZE] = "";
  if (os_exe_get_dir(exe_dir, sizeof(exe_dir)) != 0) exe_dir[0] = '\0';

  app_log_text(nullptr, LOG2_IOCTL_SET_LEVEL_NAME, "info");
  app_log_text(nullptr, LOG2_IOCTL_SET_FLAGS_TEXT, "time|tid|func");
  if (g_app.conf_path.empty()) {
    g_app.conf_path = std::string(exe_dir) + '/' + app_conf_file_name();
  }
  log2_ctx *log = log2_init(g_app.conf_path.c_str(), nullptr);
  if (!g_app.log_file.empty()) {
    app_log_text(log, LOG2_IOCTL_FILE_OPEN, g_app.log_file);
    log2_ioctl(log, LOG2_IOCTL_FILE_ON, log2_arg(1), sizeof(int));
  }
  if (!g_app.log_level.empty()) app_log_text(log, LOG2_IOCTL_SET_LEVEL_NAME, g_app.log_level);

  if (g_app.lib_init != nullptr) g_app.lib_init();

  if (!app_conf_file_exists(g_app.conf_path)) {
    std::string name = app_conf_file_name();
    ZLOG(LOG2_VERB, "Load default %s\n", name.c_str());
    g_app.conf_path = name;
  }
  if (g_app.conf_file_init != nullptr) g_app.conf_file_init(g_app.conf_path.c_str());

  if (g_app.settings != nullptr) os_opt_kv_apply(g_app.settings);
  app_log_settings();

  app_baner();
  if (g_app.dump_conf) app_conf_dump();
  if (!g_app.send_cmds.empty()) app_send_cmds();

  if (g_app.need_root && geteuid() != 0) {
    ZLOG(LOG2_WARN, "%s privileges are required to run the program\n", "root");
  }
  app_set_dump_dir(exe_dir);
  return 0;
}
