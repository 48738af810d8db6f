// The adapter's list of file handles open for writing, by path (see myfuse_open_files.h).
// Assumes few files are open for writing at a time: lookups are linear.
#include "myfuse_open_files.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Owned by the FUSE thread: every operation runs there, one after another.
std::vector<std::pair<std::string, VfsHandle *>> g_open;

}  // namespace

void myfuse_track_open(const char *path, VfsHandle *fh) { g_open.emplace_back(path, fh); }

void myfuse_untrack_open(VfsHandle *fh) {
  for (auto it = g_open.begin(); it != g_open.end(); ++it) {
    if (it->second == fh) {
      g_open.erase(it);
      return;
    }
  }
}

void myfuse_rename_open(const char *from, const char *to) {
  size_t len = strlen(from);
  for (auto &entry : g_open) {
    std::string &path = entry.first;
    if (path.compare(0, len, from) != 0) continue;
    if (path.size() == len || path[len] == '/') path = to + path.substr(len);
  }
}

int myfuse_flush_path(const char *path) {
  int res = 0;
  for (auto &entry : g_open) {
    if (entry.first == path && vfs_flush(entry.second) < 0) res = -1;
  }
  return res;
}

void myfuse_forget_open() { g_open.clear(); }
