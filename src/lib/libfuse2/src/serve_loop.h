// The pieces of try_fuse_mount's request loop; fuse2_request_exit (fuse2.h) is its stop request.
// Assumes one loop at a time in the process.
#pragma once

#include "fuse2.h"

// Makes the wake-up that fuse2_request_exit writes to, once per process: 0 or -1.
[[nodiscard]] int fuse2_loop_prepare();
// Serves requests until the file system is unmounted, the session exits or a stop request
// comes: 0, or -1 on a device error.
[[nodiscard]] int fuse2_serve(fuse *fs);
