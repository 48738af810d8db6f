// Start and end of the shell library: variables from the environment, the default aliases, and
// the registries with the library's own views, functions and the log-level option.
#include "pal_log.h"
#include "sh_state.h"

static const char kLogTag[] = "mish2";

int libsh_init() {
  ZLOG(LOG2_DBG, "==>\n");
  sh_registry_free();
  sh_last_line_clear();
  int failed = init_envv();
  alias_init();
  failed |= sh_views_register();
  failed |= sh_funcs_register();
  return failed ? -1 : 0;
}

void libsh_exit() {
  ZLOG(LOG2_DBG, "==>\n");
  alias_free();
  sh_vars_free();
  sh_registry_free();
  sh_last_line_clear();
}
