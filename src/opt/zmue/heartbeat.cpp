// The heartbeat thread "check": every pass (ten sleep steps) it probes a mount that has been
// idle for the idle threshold, and unmounts when the probe fails or the VFS reports the mount
// broken. Assumes the VFS serialises driver calls against the FUSE thread.
#include "heartbeat.h"

#include "fuse2.h"
#include "myfuse.h"
#include "pal_env.h"
#include "pal_log.h"
#include "pal_url.h"

#include <atomic>
#include <unistd.h>

static const char kLogTag[] = "zmue";

namespace {

// Written by the starting thread (and tests), read by the heartbeat thread.
std::atomic<int> g_stop{0};
std::atomic<uint64_t> g_idle_ms{HEARTBEAT_IDLE_MS};
std::atomic<uint32_t> g_step_ms{HEARTBEAT_STEP_MS};
os_thread *g_thread = nullptr;  // owned by the thread that starts and stops the heartbeat

int heartbeat_main(void *arg) { return check_heartbeat_thread(static_cast<VfsMount *>(arg)); }

}  // namespace

int check_heartbeat_thread(VfsMount *mount) {
  ZLOG(LOG2_DBG, "==>\n");
  for (;;) {
    uint64_t last = vfs_get_active_time(mount);
    uint64_t now = os_get_ms();
    if (now - last >= g_idle_ms.load()) {
      VfsVolInfo info{};
      if (vfs_statvol(mount, &info) < 0) break;
    }
    if (vfs_need_exit(mount) == 1) {
      ZLOG(LOG2_DBG, "vfs_error_need_exit...\n");
      break;
    }
    for (int step = 0; step < 10; ++step) {
      if (g_stop.load()) {
        ZLOG(LOG2_DBG, "<==\n");
        return 0;
      }
      usleep(g_step_ms.load() * 1000);
    }
  }
  myfuse_remove_mount_point();
  // An application that still holds a file keeps a detached mount's device open, so the kernel
  // never ends the request loop: wake it to end.
  fuse2_wake_loop();
  ZLOG(LOG2_DBG, "<==\n");
  return 0;
}

int heartbeat_start(const char *url, VfsMount *mount) {
  if (url_get_type(url) == URL_TYPE_FILE) return 0;
  heartbeat_stop();
  // Cleared before the thread exists, so that a stop right after the start is not lost.
  g_stop = 0;
  g_thread = os_thread_init("check", heartbeat_main, mount, 0);
  if (g_thread == nullptr) {
    ZLOG(LOG2_ERR, "os_thread_init check failed\n");
    return -1;
  }
  return 1;
}

void heartbeat_stop() {
  if (g_thread == nullptr) return;
  g_stop = 1;
  if (os_thread_wait(g_thread, static_cast<int>(g_step_ms.load()) * 4 + 1000) != 0) {
    ZLOG(LOG2_WARN, "check thread did not stop\n");
  }
  os_thread_free(g_thread);
  g_thread = nullptr;
}

void heartbeat_set_timing(uint64_t idle_ms, uint32_t step_ms) {
  g_idle_ms = idle_ms;
  g_step_ms = step_ms;
}
