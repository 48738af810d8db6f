// The library's own `show` views: program and system information, memory counters, the newest
// log lines and the current values of the `set` options; and the log level as a `set` option.
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <string>

#include "log2.h"
#include "pal_env.h"
#include "sh_state.h"
#include "sh_views.h"
#include "tframe.h"

namespace {

std::string line_of(const char *key, const std::string &value) {
  return std::string(key) + "=" + value + "\n";
}

char *view_info() {
  char hw[256];
  uint64_t now = os_get_ms();
  std::string text;
  text += line_of("ver", g_app.app_ver ? g_app.app_ver : "");
  text += line_of("ver_date", g_app.app_ver_date ? g_app.app_ver_date : "");
  text += line_of("start_time", sh_duration_text(now - pl_start_time_ms()));
  text += line_of("is_root", geteuid() == 0 ? "1" : "0");
  text += line_of("log_level", log2_level_setting_get());
  // The structured-log pipe server is not started by this program.
  text += line_of("bsv_pipe_name", "");
  text += line_of("cpu_endian", std::endian::native == std::endian::little ? "little" : "big");
  text += line_of("os_info", os_get_info());
  text += line_of("hw_info", os_get_hw_info(hw, sizeof(hw)));
  text += line_of("os_start_time", sh_duration_text(os_uptime_ms()));
  return os_strdup(text.c_str());
}

char *view_memory() { return os_mem_stats_text(); }

char *view_llog() { return log2_last_lines_dup(nullptr); }

char *view_dvar() {
  std::string text;
  for (const dvar_item &d : dvar_items()) text += d.name + "=" + dvar_value(d) + "\n";
  return os_strdup(text.c_str());
}

}  // namespace

std::string sh_duration_text(uint64_t ms) {
  uint64_t secs = ms / 1000;
  unsigned days = static_cast<unsigned>(secs / 86400);
  unsigned rest = static_cast<unsigned>(secs % 86400);
  char text[64];
  int n = 0;
  if (days > 0) n = snprintf(text, sizeof(text), "%u day%s ", days, days == 1 ? "" : "s");
  snprintf(text + n, sizeof(text) - n, "%02u:%02u:%02u", rest / 3600, rest / 60 % 60, rest % 60);
  return text;
}

int sh_views_register() {
  const dvar_entry level{LOG2_LEVEL_SETTING_NAME, DVAR_TYPE_ENUM, LOG2_LEVEL_SETTING_RANGE,
                         LOG2_LEVEL_SETTING_HELP, log2_level_setting_set, log2_level_setting_get,
                         nullptr, 0};
  int failed = 0;
  failed |= dvar_mgr_add(level);
  failed |= rvar_mgr_add("info", "View program running global info", view_info);
  failed |= rvar_mgr_add("memory", "View program memory stats", view_memory);
  failed |= rvar_mgr_add("llog", "show last log", view_llog);
  failed |= rvar_mgr_add("dvar", "View program Dynamic variable", view_dvar);
  return failed ? -1 : 0;
}
