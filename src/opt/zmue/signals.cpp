// The ways zmue is stopped from outside: SIGINT/SIGTERM end the process with status 0, a fatal
// signal (through the platform's panic handler) ends it after this callback. Both first take the
// mount down so that no dead mount point is left behind.
#include <signal.h>

#include <cstdlib>

#include "myfuse.h"
#include "pal_log.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

void app_unmount() { myfuse_unmount(nullptr); }

// Runs on whichever thread took the signal. It logs, unmounts and exits right there; should that
// thread have been inside a log call, the log lock is already held and this handler waits on it.
void app_sig_handler(int sig) {
  ZLOG(LOG2_DBG, "signal=%d\n", sig);
  signal(sig, SIG_DFL);
  if (sig != SIGINT && sig != SIGTERM) return;
  ZLOG(LOG2_DBG, "stop_server ==>\n");
  app_unmount();
  app_stop_server();
  exit(0);
}

void painc_callback_handler() {
  ZLOG(LOG2_DBG, "==>\n");
  app_unmount();
}
