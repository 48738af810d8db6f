// mount.zmue: starts zmue as a daemon and waits until its mount is up or it has failed.
// Linux: a child subreaper collects the daemon's status, /proc/self/mountinfo shows the mount.
#pragma once

#include "helper_args.h"

#include <set>
#include <string>

// The ids of the FUSE mounts exactly on dir (after symbolic links are resolved).
std::set<int> helper_fuse_mounts_at(const std::string &dir);

// The zmue program: the one beside this helper, else the installed one, else "zmue" on PATH.
std::string helper_zmue_path();

// Runs `program request.zmue_args...` and waits for a new FUSE mount on request.dir. Returns 0
// once it is up; else the status zmue ended with (1 when it ended with 0 or the wait timed
// out), its start-up output copied to standard error.
[[nodiscard]] int helper_run(const std::string &program, const helper_request &request);
