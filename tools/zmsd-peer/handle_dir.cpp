// Directory listings: open (41) takes a snapshot of the names (filtered by "pattern"), each
// chunk request (42, 44 extended) sends as many lines as fit the client's buffer, the empty
// line ends the listing, close (43) forgets it. Positioning (server control 10050) is here too.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include "fs_status.h"
#include "handlers.h"
#include "pal_log.h"
#include "pal_verr.h"

static const char kLogTag[] = "peer";

namespace peer {
namespace {

int list_names(int dir_fd, const std::string &pattern, std::vector<std::string> &names) {
  const int copy = dup(dir_fd);
  if (copy < 0) return -errno;
  DIR *d = fdopendir(copy);
  if (!d) {
    const int e = errno;
    (void)close(copy);
    return -e;
  }
  while (dirent *e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.find_first_of("\t\n") != std::string::npos) {
      ZLOG(LOG2_WARN, "not listed (tab or line feed in the name): %s\n", name.c_str());
      continue;
    }
    if (pattern.empty() || fnmatch(pattern.c_str(), name.c_str(), 0) == 0) names.push_back(name);
  }
  (void)closedir(d);  // read-only stream on a duplicate descriptor
  return 0;
}

void open_dir(Connection &c, const Request &rq, Reply &rp) {
  std::string rel, pattern;
  if (!need_path(rq, rp, "path", rel) || !need_text(rq, rp, "pattern", pattern)) return;
  Fd listed(c.server.root.open_at(rel, O_RDONLY | O_DIRECTORY));
  if (!listed.ok()) return rp.fail_os(-listed.get());
  OpenDir dir;
  if (int r = list_names(listed.get(), pattern, dir.names); r != 0) return rp.fail_os(-r);
  dir.rel = rel;
  const uint64_t number = c.ctx->next_handle++;
  c.ctx->dirs.emplace(number, std::move(dir));
  rp.fields().add_i64("fd", int64_t(number));
}

void read_chunk(Connection &c, const Request &rq, Reply &rp, OpenDir &dir) {
  int32_t room = 0;
  if (!need_i32(rq, rp, "len", room)) return;
  std::string text;
  const size_t limit = room > 0 ? size_t(room) - 1 : 0;  // the closing NUL counts
  while (dir.next < dir.names.size()) {
    const std::string &name = dir.names[dir.next];
    Status s;
    // "." and ".." resolve inside the share (the root's ".." is the root itself).
    if (status_nofollow(c.server.root, join_rel(dir.rel, name), s) != 0) {
      ++dir.next;  // vanished since the snapshot
      continue;
    }
    const std::string line = listing_line(s, name, rq.command == 44);
    if (text.size() + line.size() > limit) break;
    text += line;
    ++dir.next;
  }
  if (dir.next == dir.names.size() && text.size() + 1 <= limit) text += "\n";
  if (text.empty()) return rp.fail(VERR_BUFFER_OVERFLOW, "listing buffer too small for one entry");
  text += '\0';
  rp.fields().add_i32("len", int32_t(text.size()));
  add_packed_data(rp.fields(), c.ctx->codec, text.data(), text.size());
}

}  // namespace

void handle_dir(Connection &c, const Request &rq, Reply &rp) {
  if (rq.command == 41) return open_dir(c, rq, rp);
  int64_t number = 0;
  if (!need_i64(rq, rp, "fd", number)) return;
  auto it = c.ctx->dirs.find(uint64_t(number));
  if (it == c.ctx->dirs.end()) return rp.fail(VERR_INVALID_HANDLE, "bad directory fd " + std::to_string(number));
  if (rq.command == 43) {
    c.ctx->dirs.erase(it);
    return;
  }
  read_chunk(c, rq, rp, it->second);
}

int seek_dir(Connection &c, uint64_t number, uint64_t entry) {
  auto it = c.ctx->dirs.find(number);
  if (it == c.ctx->dirs.end()) return -1;
  it->second.next = std::min<uint64_t>(entry, it->second.names.size());
  return 0;
}

}  // namespace peer
