// Starts the built zmsd-peer on 127.0.0.1 with a temporary served directory, waits for its port
// file, and stops it by PID when the test ends. Assumes the peer binary was built beside the tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class PeerProcess {
 public:
  // Serves a fresh temporary directory; `args` are extra peer options. false when it did not come up.
  bool start(const std::vector<std::string> &args);
  ~PeerProcess();
  int port() const { return port_; }
  pid_t pid() const { return pid_; }  // for signals (SIGSTOP, SIGUSR1); -1 when not running
  const std::string &dir() const { return share_; }     // the served directory
  const std::string &work() const { return work_; }     // scratch space beside it
  std::string stderr_text() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string work_, share_;
};
