// Peer start and stop for the tests: fork/exec, a bounded wait for the port file, SIGTERM and
// waitpid on the way out, and removal of the temporary tree.
#include "peer_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

bool PeerProcess::start(const std::vector<std::string> &args) {
  char tmpl[] = "/tmp/zmsd-peer-test.XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  work_ = tmpl;
  share_ = work_ + "/share";
  std::filesystem::create_directory(share_);
  const std::string port_file = work_ + "/port";
  std::vector<std::string> argv = {ZM_TEST_BINARY_DIR "/tools/zmsd-peer/zmsd-peer", "--port-file", port_file};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(share_);
  const std::string log = work_ + "/peer.log";
  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0 || dup2(null, 1) < 0 || dup2(out, 2) < 0) _exit(127);
    std::vector<char *> raw;
    for (std::string &a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
  for (int i = 0; i < 100 && port_ == 0; ++i) {
    std::ifstream in(port_file);
    if (!(in >> port_)) port_ = 0;
    if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
  }
  return port_ != 0;
}

PeerProcess::~PeerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGCONT);  // a stopped peer would keep the termination pending
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (!work_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(work_, ignored);
  }
}

std::string PeerProcess::stderr_text() const {
  std::ifstream in(work_ + "/peer.log");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
