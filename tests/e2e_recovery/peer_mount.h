// A zmue mount of the reference peer for the recovery tests: the peer on 127.0.0.1 with a request
// log and the faults a test asks for, zmue mounting it over zmp://, and what the tests read from
// both sides: the requests the peer saw, zmue's open descriptors and resident memory.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e_env.h"
#include "peer_process.h"

namespace recovery {

struct peer_request {
  int command;
  std::string text;  // the whole log line
};

class peer_mount {
 public:
  peer_mount();
  ~peer_mount();
  peer_mount(const peer_mount &) = delete;
  peer_mount &operator=(const peer_mount &) = delete;

  // Starts the peer with these extra options, then zmue on it with the -r query; waits for the
  // mount. false when either did not come up (the reason in why()).
  bool start(const std::vector<std::string> &peer_options, const std::string &query);
  std::string why() const;

  // The requests the peer received so far, in order (request N is entry N - 1).
  std::vector<peer_request> requests() const;

  const std::string &mnt() const { return tree_->mnt; }
  const std::string &backing() const { return tree_->backing; }
  const std::string &scratch() const { return tree_->work; }  // outside the mount
  e2e::zmue_process &zmue() { return tree_->process; }
  bool wait_unmounted(int timeout_ms) { return tree_->wait_unmounted(timeout_ms); }

 private:
  std::string log_dir_;
  PeerProcess peer_;
  std::unique_ptr<e2e::mounted_tree> tree_;  // declared last: unmounted before the peer stops
};

// What a process holds, from /proc: open descriptors and resident memory (VmRSS, kB). -1 when
// the process is gone.
int open_fd_count(pid_t pid);
long resident_kb(pid_t pid);

}  // namespace recovery
