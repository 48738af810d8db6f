// Status lookups go through the confined root (O_PATH descriptors), never through host paths.
#include "fs_status.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace peer {
namespace {

uint32_t plain_type(const struct stat &st) { return S_ISDIR(st.st_mode) ? 1 : 2; }

// A link's own status, with its target text and the type of what it points to.
int describe_link(const ServedRoot &root, const std::string &rel, int link_fd, Status &out) {
  char target[PATH_MAX];
  const ssize_t n = readlinkat(link_fd, "", target, sizeof target - 1);
  if (n < 0) return -errno;
  out.link_target.assign(target, size_t(n));
  Fd followed(root.open_at(rel, O_PATH));
  struct stat st {};
  out.type = 0x100 | (followed.ok() && fstat(followed.get(), &st) == 0 ? plain_type(st) : 2);
  return 0;
}

}  // namespace

std::string join_rel(const std::string &dir, const std::string &name) {
  return dir.empty() ? name : dir + "/" + name;
}

int status_of_fd(int fd, Status &out) {
  if (fstat(fd, &out.st) != 0) return -errno;
  out.type = plain_type(out.st);
  out.link_target.clear();
  return 0;
}

int status_nofollow(const ServedRoot &root, const std::string &rel, Status &out) {
  Fd fd(root.open_at(rel, O_PATH | O_NOFOLLOW));
  if (!fd.ok()) return fd.get();
  if (int r = status_of_fd(fd.get(), out); r != 0) return r;
  return S_ISLNK(out.st.st_mode) ? describe_link(root, rel, fd.get(), out) : 0;
}

int status_follow(const ServedRoot &root, const std::string &rel, Status &out) {
  Fd fd(root.open_at(rel, O_PATH));
  if (fd.ok()) return status_of_fd(fd.get(), out);
  const int r = status_nofollow(root, rel, out);
  return r == 0 && S_ISLNK(out.st.st_mode) ? 0 : fd.get();
}

void add_stat_fields(MessageWriter &msg, const Status &s, bool extended) {
  const struct stat &st = s.st;
  msg.add_i32("type", int32_t(s.type));
  msg.add_i32("attrib_mode", int32_t(st.st_mode));
  msg.add_i32("uid", int32_t(st.st_uid));
  msg.add_i32("gid", int32_t(st.st_gid));
  msg.add_i64("len", st.st_size);
  msg.add_i64("time_access", st.st_atim.tv_sec);
  msg.add_i64("time_write", st.st_mtim.tv_sec);
  msg.add_i64("time_create", st.st_ctim.tv_sec);
  if (!extended) return;
  msg.add_i32("time_access_ns", int32_t(st.st_atim.tv_nsec));
  msg.add_i32("time_write_ns", int32_t(st.st_mtim.tv_nsec));
  msg.add_i32("time_create_ns", int32_t(st.st_ctim.tv_nsec));
  msg.add_i64("st_nlink", int64_t(st.st_nlink));
  msg.add_i64("st_dev", int64_t(st.st_dev));
  msg.add_i64("st_rdev", int64_t(st.st_rdev));
  msg.add_i64("st_ino", int64_t(st.st_ino));
  msg.add_i64("st_blksize", int64_t(st.st_blksize));
  msg.add_i64("st_blocks", int64_t(st.st_blocks));
}

std::string listing_line(const Status &s, const std::string &name, bool extended) {
  const struct stat &st = s.st;
  auto u = [](unsigned long long v) { return std::to_string(v) + "\t"; };
  std::string line = u(s.type) + u(st.st_mode) + u(st.st_uid) + u(st.st_gid) + u(st.st_atim.tv_sec) +
                     u(st.st_mtim.tv_sec) + u(st.st_ctim.tv_sec) + u(st.st_size);
  if (extended)
    line += u(st.st_atim.tv_nsec) + u(st.st_mtim.tv_nsec) + u(st.st_ctim.tv_nsec) + u(st.st_nlink) +
            u(st.st_dev) + u(st.st_rdev) + u(st.st_ino) + u(st.st_blksize) + u(st.st_blocks);
  // Tabs and line feeds would break the line grammar; such a target is sent empty.
  const bool clean = s.link_target.find_first_of("\t\n") == std::string::npos;
  return line + (clean ? s.link_target : std::string()) + "\t" + name + "\n";
}

}  // namespace peer
