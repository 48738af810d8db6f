// Every operation first resolves its object or the object's parent directory below the root
// (RESOLVE_IN_ROOT), then acts through *at() calls or /proc/self/fd paths on what it found.
#include "fs_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace peer {
namespace {

int ok_or_errno(int r) { return r == 0 ? 0 : -errno; }

// Runs `op(parent_fd, name)` in the parent of rel.
template <typename Op>
int in_parent(const ServedRoot &r, const std::string &rel, Op op) {
  std::string name;
  Fd parent(r.open_parent(rel, name));
  if (!parent.ok()) return parent.get();
  return op(parent.get(), name);
}

// A path naming the object itself, for calls that do not follow a final link: its parent's
// /proc descriptor path plus its name, or the root's own path (a /proc descriptor path is itself
// a link). `holder` keeps the descriptor open while the path is used.
int object_path(const ServedRoot &r, const std::string &rel, Fd &holder, std::string &path) {
  if (rel.empty()) {
    path = r.dir();
    return 0;
  }
  std::string name;
  holder = Fd(r.open_parent(rel, name));
  if (!holder.ok()) return holder.get();
  path = fd_path(holder.get(), name);
  return 0;
}

// A /proc path of the object, following a final link inside the root.
int followed_path(const ServedRoot &r, const std::string &rel, Fd &holder, std::string &path) {
  holder = Fd(r.open_at(rel, O_PATH));
  if (!holder.ok()) return holder.get();
  path = fd_path(holder.get());
  return 0;
}

int target_path(const ServedRoot &r, const std::string &rel, bool follow, Fd &holder, std::string &path) {
  return follow ? followed_path(r, rel, holder, path) : object_path(r, rel, holder, path);
}

// Reads a size-then-fill xattr call into out.
template <typename Call>
int read_sized(Call call, std::string &out) {
  const ssize_t size = call(nullptr, 0);
  if (size < 0) return -errno;
  std::vector<char> buf(size_t(size) + 1);
  const ssize_t n = call(buf.data(), buf.size());
  if (n < 0) return -errno;
  out.assign(buf.data(), size_t(n));
  return 0;
}

}  // namespace

int fs_mkdir(const ServedRoot &r, const std::string &rel, uint32_t mode) {
  if (rel.empty()) return -EEXIST;
  return in_parent(r, rel, [&](int p, const std::string &n) { return ok_or_errno(mkdirat(p, n.c_str(), mode)); });
}

int fs_mkdirs(const ServedRoot &r, const std::string &rel) {
  size_t at = 0;
  while (at <= rel.size() && !rel.empty()) {
    size_t end = rel.find('/', at);
    if (end == std::string::npos) end = rel.size();
    const int made = fs_mkdir(r, rel.substr(0, end), 0755);
    if (made != 0 && made != -EEXIST) return made;
    at = end + 1;
  }
  Fd dir(r.open_at(rel, O_PATH | O_DIRECTORY));
  return dir.ok() ? 0 : (dir.get() == -ENOTDIR ? -EACCES : dir.get());
}

int fs_create_file(const ServedRoot &r, const std::string &rel) {
  const size_t slash = rel.rfind('/');
  if (slash != std::string::npos) {
    const int made = fs_mkdirs(r, rel.substr(0, slash));
    if (made != 0) return made;
  }
  Fd f(r.open_at(rel, O_WRONLY | O_CREAT, 0755));
  if (!f.ok()) return f.get() == -EISDIR ? -EACCES : f.get();
  return f.close();
}

int fs_mknod(const ServedRoot &r, const std::string &rel, uint32_t mode, uint64_t dev) {
  return in_parent(r, rel, [&](int p, const std::string &n) { return ok_or_errno(mknodat(p, n.c_str(), mode, dev_t(dev))); });
}

int fs_rmdir(const ServedRoot &r, const std::string &rel) {
  return in_parent(r, rel, [&](int p, const std::string &n) { return ok_or_errno(unlinkat(p, n.c_str(), AT_REMOVEDIR)); });
}

int fs_remove(const ServedRoot &r, const std::string &rel) {
  return in_parent(r, rel, [&](int p, const std::string &n) {
    if (unlinkat(p, n.c_str(), 0) == 0) return 0;
    if (errno != EISDIR) return -errno;
    return ok_or_errno(unlinkat(p, n.c_str(), AT_REMOVEDIR));
  });
}

int fs_rename(const ServedRoot &r, const std::string &from, const std::string &to, bool replace) {
  return in_parent(r, from, [&](int pf, const std::string &nf) {
    return in_parent(r, to, [&](int pt, const std::string &nt) {
      return ok_or_errno(renameat2(pf, nf.c_str(), pt, nt.c_str(), replace ? 0 : RENAME_NOREPLACE));
    });
  });
}

int fs_link(const ServedRoot &r, const std::string &existing, const std::string &rel) {
  return in_parent(r, existing, [&](int pe, const std::string &ne) {
    return in_parent(r, rel, [&](int pn, const std::string &nn) {
      return ok_or_errno(linkat(pe, ne.c_str(), pn, nn.c_str(), 0));
    });
  });
}

int fs_symlink(const ServedRoot &r, const std::string &target, const std::string &rel) {
  return in_parent(r, rel, [&](int p, const std::string &n) { return ok_or_errno(symlinkat(target.c_str(), p, n.c_str())); });
}

int fs_access(const ServedRoot &r, const std::string &rel, int mode) {
  Fd holder;
  std::string path;
  if (int e = followed_path(r, rel, holder, path); e != 0) return e;
  return ok_or_errno(access(path.c_str(), mode));
}

int fs_chmod(const ServedRoot &r, const std::string &rel, uint32_t mode, bool follow) {
  Fd self(r.open_at(rel, O_PATH | (follow ? 0 : O_NOFOLLOW)));
  if (!self.ok()) return self.get();
  struct stat st {};
  if (fstat(self.get(), &st) != 0) return -errno;
  if (S_ISLNK(st.st_mode)) return -EOPNOTSUPP;  // Linux keeps no mode on a link
  return ok_or_errno(chmod(fd_path(self.get()).c_str(), mode));
}

int fs_chown(const ServedRoot &r, const std::string &rel, uint32_t uid, uint32_t gid, bool follow) {
  Fd self(r.open_at(rel, O_PATH | (follow ? 0 : O_NOFOLLOW)));
  if (!self.ok()) return self.get();
  return ok_or_errno(fchownat(self.get(), "", uid, gid, AT_EMPTY_PATH));
}

int fs_utimes(const ServedRoot &r, const std::string &rel, const struct timespec times[2], bool follow) {
  Fd holder;
  std::string path;
  if (int e = target_path(r, rel, follow, holder, path); e != 0) return e;
  return ok_or_errno(utimensat(AT_FDCWD, path.c_str(), times, follow ? 0 : AT_SYMLINK_NOFOLLOW));
}

int fs_truncate(const ServedRoot &r, const std::string &rel, int64_t len) {
  Fd f(r.open_at(rel, O_WRONLY));
  if (!f.ok()) return f.get();
  if (ftruncate(f.get(), len) != 0) return -errno;
  return f.close();
}

int fs_readlink(const ServedRoot &r, const std::string &rel, std::string &out) {
  Fd self(r.open_at(rel, O_PATH | O_NOFOLLOW));
  if (!self.ok()) return self.get();
  char buf[PATH_MAX];
  const ssize_t n = readlinkat(self.get(), "", buf, sizeof buf);
  if (n < 0) return -errno;
  out.assign(buf, size_t(n));
  return 0;
}

int fs_statvfs_text(const ServedRoot &r, const std::string &rel, std::string &out) {
  Fd f(r.open_at(rel, O_PATH));
  if (!f.ok()) return f.get();
  struct statvfs v {};
  if (fstatvfs(f.get(), &v) != 0) return -errno;
  const unsigned long long fields[] = {v.f_bsize, v.f_frsize, v.f_blocks, v.f_bfree, v.f_bavail, v.f_files,
                                       v.f_ffree, v.f_favail, v.f_fsid,  v.f_flag,   v.f_namemax};
  out.clear();
  for (unsigned long long x : fields) out += (out.empty() ? "" : "\t") + std::to_string(x);
  return 0;
}

int fs_setxattr(const ServedRoot &r, const std::string &rel, const std::string &name, const void *value,
                size_t len, int flags) {
  Fd holder;
  std::string path;
  if (int e = object_path(r, rel, holder, path); e != 0) return e;
  return ok_or_errno(lsetxattr(path.c_str(), name.c_str(), value, len, flags));
}

int fs_getxattr(const ServedRoot &r, const std::string &rel, const std::string &name, std::string &out) {
  Fd holder;
  std::string path;
  if (int e = object_path(r, rel, holder, path); e != 0) return e;
  return read_sized([&](char *b, size_t n) { return lgetxattr(path.c_str(), name.c_str(), b, n); }, out);
}

int fs_listxattr(const ServedRoot &r, const std::string &rel, std::string &out) {
  Fd holder;
  std::string path;
  if (int e = object_path(r, rel, holder, path); e != 0) return e;
  return read_sized([&](char *b, size_t n) { return llistxattr(path.c_str(), b, n); }, out);
}

int fs_removexattr(const ServedRoot &r, const std::string &rel, const std::string &name) {
  Fd holder;
  std::string path;
  if (int e = object_path(r, rel, holder, path); e != 0) return e;
  return ok_or_errno(lremovexattr(path.c_str(), name.c_str()));
}

}  // namespace peer
