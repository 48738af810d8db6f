// zmue's entry: the application descriptor, the settings that -s edits and the program's keys of
// zmue.ini. The framework does the start-up; main adds the root test and runs the server step.
// Assumes Linux, started from a shell or a service script.
#include <unistd.h>

#include "app_shell.h"
#include "conf.h"
#include "debug_shell.h"
#include "pal_env.h"
#include "pal_log.h"
#include "tframe.h"
#include "vfs.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

static os_opt_kv app_settings[] = {
    {"http_server_port", &g_app.http_server_port, OS_OPT_TYPE_INT, nullptr},
    {"debug_server_port", &g_app.debug_server_port, OS_OPT_TYPE_INT, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int app_conf_file_init(const char *path) {
  conf_ptr conf(conf_load(path));
  if (!conf) {
    ZLOG(LOG2_DBG, "load [%s] failed\n", path);
    return -1;
  }
  g_app.panic_dump_dir = conf_get_string(conf.get(), "debug", "panic_dump_dir", "");
  return 0;
}

char *app_conf_dump_proc() {
  char *text = nullptr;
  if (os_asprintf(&text, "panic_dump_dir=%s\n", g_app.panic_dump_dir.c_str()) < 0) return nullptr;
  return text;
}

// The debug shell with the program's commands and views; the VFS starts its drivers at the first
// mount.
int app_lib_init() {
  if (libsh_init() != 0 || app_shell_register() != 0) return -1;
  debug_shell_param param{">"};
  return debug_shell_init(&param);
}

int app_lib_exit() {
  libvfs_exit();
  libsh_exit();
  ZLOG(LOG2_DBG, "<==\n");
  return 0;
}

static void app_describe() {
  g_app.app_name = "zmue";
  g_app.app_ver = "1.7.2.0";
  g_app.ver_num = (1u << 24) | (7u << 16) | (2u << 8) | 0u;
  g_app.app_ver_date = "2024-3-2";
  g_app.app_desc = "zmp/zmps fuse";
  g_app.app_notice = "Mounts zmp, zmps, ftp and local trees through FUSE; run as root.";
  g_app.app_conf_file = "zmue.ini";
  g_app.opt_get = app_opt_get;
  g_app.conf_file_init = app_conf_file_init;
  g_app.conf_dump_proc = app_conf_dump_proc;
  g_app.sig_handler = app_sig_handler;
  g_app.lib_init = app_lib_init;
  g_app.lib_exit = app_lib_exit;
  g_app.settings = app_settings;
  g_app.need_root = 1;
  g_app.log_cmdline = 1;
  g_app.log_banner = 0;
  g_app.debug_server_port = 0;
  g_app.http_server_port = 0;
}

int main(int argc, char **argv) {
  app_describe();
  app_signals_init();
  if (app_opt_init(argc, argv) != 0) return 1;
  if (geteuid() != 0) return 1;
  os_panic_set_callback(painc_callback_handler);
  int result = app_start_server();
  if (app_stop_signal() != 0) result = app_stopped();
  app_exit();
  return result;
}
