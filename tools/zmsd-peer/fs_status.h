// File status as the protocol carries it: the stat fields of a reply and the tab-separated
// line of a directory listing. Type is 1 for a directory, 2 otherwise, plus 0x100 for a
// symbolic link (then typed by its target); mode is the POSIX st_mode.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "served_root.h"
#include "wire_message.h"

namespace peer {

struct Status {
  struct stat st {};
  uint32_t type = 2;
  std::string link_target;  // only for a symbolic link seen without following it
};

// Following a final link (a dangling link reports itself), or not; 0 or -errno.
int status_follow(const ServedRoot &root, const std::string &rel, Status &out);
int status_nofollow(const ServedRoot &root, const std::string &rel, Status &out);
int status_of_fd(int fd, Status &out);

// "type" .. "time_create", and with `extended` the nanoseconds and st_* fields.
void add_stat_fields(MessageWriter &msg, const Status &s, bool extended);
// One listing line with its line feed.
std::string listing_line(const Status &s, const std::string &name, bool extended);

// "a/b" + "c" -> "a/b/c"; an empty directory part stands for the root.
std::string join_rel(const std::string &dir, const std::string &name);

}  // namespace peer
