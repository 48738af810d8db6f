// What the hostile and stall tests share: the time-outs they mount with and the bound that
// follows from them, a stopwatch around one system call, zmue's resident memory, and a zmue mount
// of any URL (the mounted tree of the e2e suite pointed at it). Assumes root and /dev/fuse.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "e2e_env.h"

namespace hostile {

// The time-outs of every zmp mount here (whole seconds in the URL) and the query that sets them.
inline constexpr int kReadTimeoutMs = 1000;
inline constexpr int kConnectTimeoutMs = 1000;
std::string zmp_query();

// Longest one client call may block against a server that answers late, broken or never: its
// own read time-out, then one recovery (three reconnects, each a connect and a login that may
// time out, the one-second settle, one more control that times out).
int call_bound_ms();
// Longest one application operation may block: a call, the driver's new session (connect and
// login), the repeated call, and scheduling slack.
int operation_bound_ms();

struct timed_result {
  int result;  // the call's result
  int eno;     // errno when it failed, else 0
  long ms;     // how long it blocked
};
// Runs call (a system call's result: negative for failure, errno set) and times it.
timed_result timed(const std::function<int()> &call);

// VmRSS of a process in kB; -1 once it is gone.
long resident_kb(pid_t pid);

// A zmue mount of url (ZM_E2E_URL / ZM_E2E_BACKING of the e2e suite are pointed at it).
std::unique_ptr<e2e::mounted_tree> make_tree(const std::string &url, const std::string &backing);

// The runner's status (exit status, or 128 + signal) came from a signal. zmue's own statuses
// are 0, 1, 254 and 255; 129 to 192 can only be signals.
bool ended_by_signal(int status);
// How a zmue run ended: "exit N", "signal N", or "running".
std::string describe_status(int status);

}  // namespace hostile
