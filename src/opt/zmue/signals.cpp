// The ways zmue is stopped from outside: SIGINT/SIGTERM end the process with status 0 once the
// main thread has served its last request and written what the caches held; a fatal signal
// (through the platform's panic handler) ends it after this callback, which takes the mount down.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "fuse2.h"
#include "myfuse.h"
#include "pal_log.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

namespace {

pthread_t g_main_thread;
volatile sig_atomic_t g_stop_signal = 0;
// The read end of a pipe whose write end is closed: standard input replaced by it reads as
// the end of input.
int g_eof_fd = -1;

}  // namespace

void app_signals_init() {
  g_main_thread = pthread_self();
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;
  close(ends[1]);
  g_eof_fd = ends[0];
}

void app_unmount() { myfuse_unmount(nullptr); }

// Runs on whichever thread took the signal, perhaps inside a log call or an allocation: it only
// notes the signal and wakes the main thread. The FUSE loop ends on the stop request. The
// shell's read of standard input ends with EINTR when it is blocked (the forwarded signal
// brings that when another thread took it), or at the end of input that replaces standard
// input when it has not started yet.
void app_sig_handler(int sig) {
  if (sig != SIGINT && sig != SIGTERM) return;
  if (g_stop_signal == 0) g_stop_signal = sig;
  fuse2_request_exit();
  if (g_eof_fd >= 0) dup2(g_eof_fd, STDIN_FILENO);
  if (!pthread_equal(pthread_self(), g_main_thread)) pthread_kill(g_main_thread, sig);
}

int app_stop_signal() { return g_stop_signal; }

int app_stopped() {
  ZLOG(LOG2_DBG, "signal=%d\n", static_cast<int>(g_stop_signal));
  ZLOG(LOG2_DBG, "stop_server ==>\n");
  app_unmount();
  app_stop_server();
  return 0;
}

void painc_callback_handler() {
  ZLOG(LOG2_DBG, "==>\n");
  app_unmount();
}
