// The peer-backed mount of the recovery tests (see peer_mount.h). The mounted tree takes its back
// end from ZM_E2E_URL and ZM_E2E_BACKING, so they are pointed at this peer before it is made.
#include "peer_mount.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace recovery {

peer_mount::peer_mount() {
  char tmpl[] = "/tmp/zmue-recovery-log.XXXXXX";
  if (mkdtemp(tmpl)) log_dir_ = tmpl;
}

peer_mount::~peer_mount() {
  tree_.reset();
  if (!log_dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(log_dir_, ignored);
  }
}

bool peer_mount::start(const std::vector<std::string> &peer_options, const std::string &query) {
  if (log_dir_.empty()) return false;
  std::vector<std::string> args = {"--request-log", log_dir_ + "/requests"};
  args.insert(args.end(), peer_options.begin(), peer_options.end());
  if (!peer_.start(args)) return false;
  const std::string url = "zmp://127.0.0.1:" + std::to_string(peer_.port()) + "/";
  setenv("ZM_E2E_URL", url.c_str(), 1);
  setenv("ZM_E2E_BACKING", peer_.dir().c_str(), 1);
  tree_ = std::make_unique<e2e::mounted_tree>();
  return tree_->mount(query);
}

std::string peer_mount::why() const {
  return "peer: " + peer_.stderr_text() + "\nzmue: " + (tree_ ? tree_->process.log() : "");
}

std::vector<peer_request> peer_mount::requests() const {
  std::ifstream in(log_dir_ + "/requests");
  std::vector<peer_request> out;
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" command=");
    if (at != std::string::npos) out.push_back({atoi(line.c_str() + at + 9), line});
  }
  return out;
}

int open_fd_count(pid_t pid) {
  DIR *d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (!d) return -1;
  int n = 0;
  while (const dirent *e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

long resident_kb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  return -1;
}

}  // namespace recovery
