// mount.zmue: reads /proc/self/mountinfo for the FUSE mounts on one directory. Mount points
// there have blanks, tabs, newlines and backslashes written as three-digit octal escapes.
#include "helper_run.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string unescape_octal(const std::string &field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const bool escape = field[i] == '\\' && i + 3 < field.size() &&
                        field.find_first_not_of("01234567", i + 1) >= i + 4;
    if (escape) {
      out.push_back(static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::string resolved(const std::string &dir) {
  char real[PATH_MAX];
  return realpath(dir.c_str(), real) != nullptr ? std::string(real) : dir;
}

}  // namespace

std::set<int> helper_fuse_mounts_at(const std::string &dir) {
  const std::string target = resolved(dir);
  std::set<int> ids;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, dev, root, mnt;
    fields >> id >> parent >> dev >> root >> mnt;
    const size_t sep = line.find(" - ");
    if (sep == std::string::npos || line.compare(sep + 3, 4, "fuse") != 0) continue;
    if (unescape_octal(mnt) == target) ids.insert(atoi(id.c_str()));
  }
  return ids;
}
