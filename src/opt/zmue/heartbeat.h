// The heartbeat thread "check": keeps an idle remote mount's link alive by probing the back
// end, and unmounts the FUSE mount point when the probe fails or the VFS marks the mount
// broken. One per process; it runs beside the FUSE request loop.
#pragma once

#include "vfs.h"

#include <cstdint>

inline constexpr uint64_t HEARTBEAT_IDLE_MS = 120000;  // probe after this long without activity
inline constexpr uint32_t HEARTBEAT_STEP_MS = 500;     // a pass sleeps ten of these steps

// Starts the thread for mount unless url names a local directory: 1 started, 0 not needed,
// -1 the thread could not be created.
int heartbeat_start(const char *url, VfsMount *mount);
// The thread's body; returns when the mount was unmounted or the heartbeat stopped. 0.
int check_heartbeat_thread(VfsMount *mount);
// Ends the thread without unmounting (waits at most about one step). Safe when none runs.
void heartbeat_stop();

// Tests only: shorter idle threshold and sleep step than the constants above.
void heartbeat_set_timing(uint64_t idle_ms, uint32_t step_ms);
