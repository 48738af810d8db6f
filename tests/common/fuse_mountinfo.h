// Test helper shared by the suites that mount through the kernel: what /proc/self/mountinfo
// says about a FUSE mount on a path. Header only; Linux.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

// The mount options column of the FUSE mount exactly on path, or empty when there is none.
inline std::string fuse_mount_options(const std::string &path) {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, dev, root, mnt, opts;
    fields >> id >> parent >> dev >> root >> mnt >> opts;
    size_t sep = line.find(" - ");
    if (mnt == path && sep != std::string::npos && line.compare(sep + 3, 4, "fuse") == 0) {
      return opts;
    }
  }
  return "";
}

inline bool fuse_mount_exists(const std::string &path) { return !fuse_mount_options(path).empty(); }
