// Runs a helper program (modprobe, mount, umount) as a child and waits for it.
// Assumes a POSIX system; the child's standard descriptors are the caller's.
#pragma once

// The child's exit status, or -1 when it could not be started or did not exit normally.
// empty_env: start it with an empty environment; drop_groups: clear the supplementary
// groups in the child before running it.
[[nodiscard]] int fuse2_run_prog(const char *const argv[], bool empty_env, bool drop_groups);
