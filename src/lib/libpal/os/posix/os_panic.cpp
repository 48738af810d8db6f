// Fatal-signal handling: log the signal, let the program unmount through its callback, then end
// with status 254, or, when core files are enabled, let the signal end the process with a core.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "pal_log.h"
#include "pal_os.h"

static const char kLogTag[] = "pal";

namespace {

constexpr int kFatalSignals[] = {SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV};
constexpr int kPanicExitStatus = 254;
constexpr size_t kCorePatternMax = 1023;
const char kCorePatternFile[] = "/proc/sys/kernel/core_pattern";
// The handler's lines are critical, but the process must live on to unmount and end itself.
constexpr uint32_t kPanicLevel = LOG2_CRIT | LOG2_NOEXIT;

// Written once before the server step, only read afterwards (also by the signal handler).
struct panic_state {
  os_panic_callback callback = nullptr;
  const char *(*context_text)() = nullptr;
  const char *app_ver = "";
  char dump_dir[OS_PATH_SIZE] = "";
  bool core_dump_enabled = false;
};
panic_state g_panic;

void panic_handler(int sig) {
  const char *context = g_panic.context_text ? g_panic.context_text() : nullptr;
  ZLOG(kPanicLevel, "[%s]", context ? context : "");
  ZLOG(kPanicLevel, "signo=%d [%s]\n", sig, strsignal(sig));
  ZLOG(kPanicLevel, "appver: %s\n", g_panic.app_ver);
  if (g_panic.callback) g_panic.callback();
  if (!g_panic.core_dump_enabled) _exit(kPanicExitStatus);

  if (os_mkdirs(g_panic.dump_dir, 0755) != 0) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "mkdir [%s] error:", g_panic.dump_dir);
  }
  // Default action and the signal raised again (it is blocked until the handler returns): a
  // recurring fault, an abort() and a signal sent by kill all end in a core file this way.
  signal(sig, SIG_DFL);
  raise(sig);
}

bool write_core_pattern(const char *pattern) {
  const int fd = open(kCorePatternFile, O_WRONLY | O_TRUNC);
  if (fd < 0) return false;
  const size_t len = strlen(pattern);
  const bool written = write(fd, pattern, len) == static_cast<ssize_t>(len);
  const bool closed = close(fd) == 0;
  return written && closed;
}

}  // namespace

int os_panic_install() {
  struct sigaction sa {};
  sa.sa_handler = panic_handler;
  sigemptyset(&sa.sa_mask);
  int result = 0;
  for (int sig : kFatalSignals) {
    if (sigaction(sig, &sa, nullptr) != 0) result = -1;
  }
  return result;
}

void os_panic_set_callback(os_panic_callback cb) { g_panic.callback = cb; }

void os_panic_set_context_text(const char *(*provider)()) { g_panic.context_text = provider; }

void os_panic_set_app_ver(const char *app_ver) { g_panic.app_ver = app_ver ? app_ver : ""; }

int os_panic_init_core_dump(const char *dir) {
  if (!dir || !*dir) return -1;
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  if (setrlimit(RLIMIT_CORE, &unlimited) != 0) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "setrlimit error: ");
    return -1;
  }
  snprintf(g_panic.dump_dir, sizeof g_panic.dump_dir, "%s", dir);
  char pattern[kCorePatternMax + 1];
  snprintf(pattern, sizeof pattern, "%s/%%e-%%p-%%t-%%c.core", dir);
  ZLOG(LOG2_VERB, "buf=%s\n", pattern);
  if (!write_core_pattern(pattern)) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "write /proc/sys/kernel/core_pattern error:");
  }
  g_panic.core_dump_enabled = true;
  return 0;
}

int os_painc_set_dump_dir(const char *dir, const char *app_name) {
  ZLOG(LOG2_VERB, "[%s][%s]==>\n", dir ? dir : "", app_name ? app_name : "");
  if (geteuid() != 0) return -1;
  if (!dir || !*dir) return 0;
  return os_panic_init_core_dump(dir);
}
