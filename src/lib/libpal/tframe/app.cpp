// Start and stop of a program built on the framework: platform set-up, the joined command line,
// the fatal-signal handler, then the program's option callback and the option-driven set-up.
// Runs in the main thread before any other thread exists.
#include <algorithm>
#include <cstring>

#include "bsvf.h"
#include "log2.h"
#include "pal_env.h"
#include "pal_log.h"
#include "tframe.h"

static const char kLogTag[] = "pal";

app_info g_app;

// The arguments joined by single blanks; whatever does not fit is cut.
static void app_join_cmdline(int argc, char **argv) {
  std::string line;
  for (int i = 0; i < argc; i++) {
    if (i > 0) line += ' ';
    line += argv[i];
  }
  size_t len = std::min(line.size(), sizeof(g_app.cmdline) - 1);
  memcpy(g_app.cmdline, line.data(), len);
  g_app.cmdline[len] = '\0';
}

// The asserts name the fields the way the program writes them.
static void app_check_descriptor() {
  struct required {
    const char *value;
    const char *text;
  };
  const required fields[] = {
      {g_app.app_name, "g_app.app_name!=NULL"},
      {g_app.app_desc, "g_app.app_desc!=NULL"},
      {g_app.app_ver, "g_app.app_ver!=NULL"},
      {g_app.app_ver_date, "g_app.app_ver_date!=NULL"},
  };
  for (const required &field : fields) {
    if (field.value == nullptr) ZLOG(LOG2_ERR, "expr[%s]: assert failed\n", field.text);
  }
}

int app_opt_init(int argc, char **argv) {
  pl_init();
  os_thread_name_set("main");
  g_app.os_name = pl_os_name();
  g_app.cpu_name = pl_cpu_name();
  app_check_descriptor();
  app_join_cmdline(argc, argv);
  os_panic_install();
  os_panic_set_app_ver(g_app.app_ver);
  bsvf_set_app_ver(g_app.app_ver);
  if (g_app.opt_get == nullptr) {
    ZLOG(LOG2_ERR, "expr[%s]: assert failed\n", "g_app.opt_get!=NULL");
    return -1;
  }
  g_app.opt_get(argc, argv);
  return app_opt_set();
}

void app_exit() {
  if (g_app.lib_exit != nullptr) g_app.lib_exit();
  for (std::string *text : {&g_app.conf_path, &g_app.log_level, &g_app.log_file, &g_app.send_cmds,
                             &g_app.panic_dump_dir}) {
    std::string().swap(*text);
  }
  os_thread_name_exit();
  log2_exit(nullptr);
  pl_exit();
}
