// The banner: one line naming the program, platform, version and date, logged for daemons
// (whose standard error goes nowhere) and printed for people unless -q came first.
// Needs g_app's names and the platform names set by app_opt_init.
#include <cstdio>
#include <string>

#include "pal_env.h"
#include "pal_log.h"
#include "tframe.h"

static const char kLogTag[] = "pal";

static const char *app_text_or_empty(const char *text) { return text != nullptr ? text : ""; }

std::string app_banner_text() {
  char line[APP_BANNER_SIZE];
  snprintf(line, sizeof(line), "%s-%s-%s v%s (%s) - %s", app_text_or_empty(g_app.app_name),
           app_text_or_empty(g_app.os_name), app_text_or_empty(g_app.cpu_name),
           app_text_or_empty(g_app.app_ver), app_text_or_empty(g_app.app_ver_date),
           app_text_or_empty(g_app.app_desc));
  return line;
}

void app_baner() {
  std::string banner = app_banner_text();
  if (g_app.log_banner) {
    ZLOG(LOG2_DBG, "%s\n", banner.c_str());
    if (g_app.log_cmdline) {
      ZLOG(LOG2_DBG | LOG2_NET, "cmdline=[%s] os=[%s]\n", g_app.cmdline, os_get_info());
    }
  }
  if (g_app.quiet) return;
  fprintf(stderr, "%s\n", banner.c_str());
  if (g_app.app_notice != nullptr) fprintf(stderr, "%s\n", g_app.app_notice);
}
