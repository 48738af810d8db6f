// The server step: mount the URL that the options assembled, or serve standard input when none
// was given. It blocks in the main thread for the whole life of the mount or of the input.
// Assumes the framework already set up the log and the configuration.
#include "debug_shell.h"
#include "myfuse.h"
#include "pal_log.h"
#include "pal_os.h"
#include "tframe.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

int app_start_server() {
  ZLOG(LOG2_VERB, "==>\n");
  const char *cmd = app_mount_cmd();
  ZLOG(LOG2_VERB, "cmd=[%s]\n", cmd);
  if (cmd[0] != '\0') {
    char err[MYFUSE_ERR_SIZE] = "";
    if (myfuse_mount(cmd, err) >= 0) return 0;
    ZLOG(LOG2_ERR, "error=%s\n", err);
    return -1;
  }
  debug_shell_stdio_loop();
  ZLOG(LOG2_VERB, "<==\n");
  return 0;
}

int app_stop_server() {
  ZLOG(LOG2_DBG, "==>\n");
  if (!g_app.stop_flag) g_app.stop_flag = 1;
  return 0;
}
