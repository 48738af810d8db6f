// The in-process mount routine: the checks, options and messages of the fusermount utility,
// carried out by this process with mount(2) and umount2(2). Assumes Linux; a mount table that
// is not a writable file (a link to /proc/self/mounts) is left alone.
#include "fuse2.h"

#include "pal_log.h"
#include "run_prog.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mntent.h>
#include <string>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

static const char kLogTag[] = "tag";

namespace {

const char kFuseDev[] = "/dev/fuse";
const char kMtab[] = "/etc/mtab";
const int kMaxUserMounts = 1000;

const fuse_mount_flag kMountFlags[] = {
    {"rw", MS_RDONLY, 0, 1},        {"ro", MS_RDONLY, 1, 1},
    {"suid", MS_NOSUID, 0, 0},      {"nosuid", MS_NOSUID, 1, 1},
    {"dev", MS_NODEV, 0, 0},        {"nodev", MS_NODEV, 1, 1},
    {"exec", MS_NOEXEC, 0, 1},      {"noexec", MS_NOEXEC, 1, 1},
    {"async", MS_SYNCHRONOUS, 0, 1}, {"sync", MS_SYNCHRONOUS, 1, 1},
    {"atime", MS_NOATIME, 0, 1},    {"noatime", MS_NOATIME, 1, 1},
    {"dirsync", MS_DIRSYNC, 1, 1},  {nullptr, 0, 0, 0},
};

char g_progname[64] = "fusermount";

class fd_owner {
 public:
  explicit fd_owner(int fd = -1) : fd_(fd) {}
  fd_owner(const fd_owner &) = delete;
  fd_owner &operator=(const fd_owner &) = delete;
  ~fd_owner() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

class umask_scope {
 public:
  explicit umask_scope(mode_t mask) : old_(umask(mask)) {}
  umask_scope(const umask_scope &) = delete;
  umask_scope &operator=(const umask_scope &) = delete;
  ~umask_scope() { umask(old_); }

 private:
  mode_t old_;
};

bool has_prefix(const std::string &text, const char *prefix) {
  return text.compare(0, strlen(prefix), prefix) == 0;
}

void append_item(std::string *list, const std::string &item) {
  if (!list->empty()) list->push_back(',');
  list->append(item);
}

// large_read only meant something to 2.4 kernels: newer ones get a note and lose the item.
bool large_read_is_deprecated() {
  utsname un{};
  int major = 0;
  int minor = 0;
  if (uname(&un) != 0 || sscanf(un.release, "%d.%d", &major, &minor) != 2) return false;
  if (major < 2 || (major == 2 && minor <= 4)) return false;
  fprintf(stderr, "%s: note: 'large_read' mount option is deprecated for %i.%i kernels\n",
          g_progname, major, minor);
  return true;
}

// The mount table is only kept up to date when it is a file of its own that we may write.
bool mtab_needs_update() {
  struct stat st{};
  if (lstat(kMtab, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return access(kMtab, W_OK) == 0;
}

// For a mount the whole path is resolved. For an unmount only its parent is: a mount point
// whose server is gone cannot be examined (ENOTCONN) but must still be named. Fixed buffers:
// the unmount runs from signal handlers.
bool resolve_mountpoint(const char *mnt, bool whole, char (&out)[PATH_MAX]) {
  if (mnt == nullptr || *mnt == '\0') {
    fprintf(stderr, "%s: invalid mountpoint '%s'\n", g_progname, "");
    return false;
  }
  if (whole) {
    if (realpath(mnt, out) == nullptr) {
      fprintf(stderr, "%s: bad mount point %s: %s\n", g_progname, mnt, strerror(errno));
      return false;
    }
    return true;
  }
  char path[PATH_MAX];
  if (snprintf(path, sizeof(path), "%s", mnt) >= static_cast<int>(sizeof(path))) {
    fprintf(stderr, "%s: bad mount point %s: %s\n", g_progname, mnt, strerror(ENAMETOOLONG));
    return false;
  }
  size_t len = strlen(path);
  while (len > 1 && path[len - 1] == '/') path[--len] = '\0';
  char *slash = strrchr(path, '/');
  const char *last = slash ? slash + 1 : path;
  if (*last == '\0' || strcmp(last, ".") == 0 || strcmp(last, "..") == 0) {
    fprintf(stderr, "%s: invalid mountpoint '%s'\n", g_progname, mnt);
    return false;
  }
  char parent[PATH_MAX];
  if (slash == nullptr) {
    snprintf(parent, sizeof(parent), ".");
  } else {
    snprintf(parent, sizeof(parent), "%.*s", slash == path ? 1 : static_cast<int>(slash - path), path);
  }
  char resolved[PATH_MAX];
  if (realpath(parent, resolved) == nullptr) {
    fprintf(stderr, "%s: bad mount point %s: %s\n", g_progname, mnt, strerror(errno));
    return false;
  }
  const char *sep = strcmp(resolved, "/") == 0 ? "" : "/";
  if (snprintf(out, PATH_MAX, "%s%s%s", resolved, sep, last) >= PATH_MAX) {
    fprintf(stderr, "%s: bad mount point %s: %s\n", g_progname, mnt, strerror(ENAMETOOLONG));
    return false;
  }
  return true;
}

// Opens the device with the real user's rights, as a set-user-id utility would.
int open_fuse_device() {
  uid_t ruid = getuid();
  uid_t euid = geteuid();
  if (ruid != euid) setfsuid(ruid);
  int fd = open(kFuseDev, O_RDWR | O_CLOEXEC);
  int saved = errno;
  if (ruid != euid) setfsuid(euid);
  if (fd == -1) {
    if (saved == ENODEV || saved == ENOENT) {
      fprintf(stderr, "%s: fuse device is missing, try 'modprobe fuse' as root\n", g_progname);
    } else {
      fprintf(stderr, "%s: failed to open %s: %s\n", g_progname, kFuseDev, strerror(saved));
    }
  }
  return fd;
}

bool user_mount_count_ok() {
  FILE *fp = setmntent(kMtab, "r");
  if (fp == nullptr) {
    fprintf(stderr, "%s: failed to open %s: %s\n", g_progname, kMtab, strerror(errno));
    return true;
  }
  int count = 0;
  while (mntent *ent = getmntent(fp)) {
    if (strcmp(ent->mnt_type, "fuse") == 0 || strncmp(ent->mnt_type, "fuse.", 5) == 0) count++;
  }
  endmntent(fp);
  if (count >= kMaxUserMounts) {
    fprintf(stderr, "%s: too many mounted FUSE filesystems (%d+)\n", g_progname, kMaxUserMounts);
    return false;
  }
  return true;
}

// Where the mount goes and what kind of node it covers. A user's mount point is entered so
// that it cannot be swapped for another between the checks and the mount.
struct mount_target {
  std::string path;
  unsigned rootmode = 0;
  fd_owner file;      // a regular-file mount point, held open
  fd_owner old_cwd;   // where to return after a directory mount point was entered
  ~mount_target() {
    if (old_cwd.get() >= 0 && fchdir(old_cwd.get()) != 0) {
      ZLOG(LOG2_ERR, "fchdir back failed: %s\n", strerror(errno));
    }
  }
};

bool check_user_dir(const char *mnt, const struct stat &st, mount_target *target) {
  target->old_cwd.reset(open(".", O_RDONLY | O_CLOEXEC));
  if (target->old_cwd.get() == -1) {
    fprintf(stderr, "%s: failed to open current directory: %s\n", g_progname, strerror(errno));
    return false;
  }
  if (chdir(mnt) != 0) {
    fprintf(stderr, "%s: failed to chdir to mountpoint: %s\n", g_progname, strerror(errno));
    return false;
  }
  struct stat here{};
  if (lstat(".", &here) != 0) {
    fprintf(stderr, "%s: failed to access mountpoint %s: %s\n", g_progname, mnt, strerror(errno));
    return false;
  }
  if ((here.st_mode & S_ISVTX) && here.st_uid != getuid()) {
    fprintf(stderr, "%s: mountpoint %s not owned by user\n", g_progname, mnt);
    return false;
  }
  if (access(".", W_OK) != 0) {
    fprintf(stderr, "%s: user has no write access to mountpoint %s\n", g_progname, mnt);
    return false;
  }
  target->path = ".";
  target->rootmode = st.st_mode & S_IFMT;
  return true;
}

bool check_user_file(const char *mnt, mount_target *target) {
  target->file.reset(open(mnt, O_WRONLY | O_CLOEXEC));
  if (target->file.get() == -1) {
    fprintf(stderr, "%s: user has no write access to mountpoint %s\n", g_progname, mnt);
    return false;
  }
  struct stat st{};
  if (fstat(target->file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    fprintf(stderr, "%s: mountpoint %s is no longer a regular file\n", g_progname, mnt);
    return false;
  }
  target->path = "/proc/self/fd/" + std::to_string(target->file.get());
  target->rootmode = S_IFREG;
  return true;
}

bool check_mountpoint(const char *mnt, mount_target *target) {
  struct stat st{};
  if (stat(mnt, &st) != 0) {
    fprintf(stderr, "%s: failed to access mountpoint %s: %s\n", g_progname, mnt, strerror(errno));
    return false;
  }
  if (getuid() == 0) {
    target->path = mnt;
    target->rootmode = st.st_mode & S_IFMT;
    return true;
  }
  if (S_ISDIR(st.st_mode)) return check_user_dir(mnt, st, target);
  if (S_ISREG(st.st_mode)) return check_user_file(mnt, target);
  fprintf(stderr, "%s: mountpoint %s is not a directory or a regular file\n", g_progname, mnt);
  return false;
}

// The text recorded in the mount table: read-only state, set flags, then the passed items.
std::string mtab_options(const fusermount_opts &opts) {
  std::string text = (opts.flags & MS_RDONLY) ? "ro" : "rw";
  for (const fuse_mount_flag *row = kMountFlags; row->opt; ++row) {
    if (row->on && row->flag != MS_RDONLY && (opts.flags & row->flag)) append_item(&text, row->opt);
  }
  if (!opts.kernel.empty()) append_item(&text, opts.kernel);
  return text;
}

bool record_mount(const fusermount_opts &opts, const char *source, const char *type,
                  const std::string &mnt) {
  std::string options = mtab_options(opts);
  const char *argv[] = {"/bin/mount", "-i", "-f", "-t", type, "-o", options.c_str(),
                        source, mnt.c_str(), nullptr};
  return fuse2_run_prog(argv, false, true) == 0;
}

int do_mount(const fusermount_opts &opts, const mount_target &target, int fd) {
  const char *source = opts.fsname.empty() ? kFuseDev : opts.fsname.c_str();
  const char *type = opts.blkdev ? "fuseblk" : "fuse";
  std::string data = fusermount_kernel_data(opts, fd, target.rootmode, getuid(), getgid(), true);
  ZLOG(LOG2_DBG, "source=%s mnt=%s type=%s flag=%d optbuf=%s\n", source, target.path.c_str(), type,
       static_cast<int>(opts.flags), data.c_str());
  int res = mount(source, target.path.c_str(), type, opts.flags, data.c_str());
  if (res == -1 && errno == EINVAL) {
    // Kernels before group_id was known reject it.
    data = fusermount_kernel_data(opts, fd, target.rootmode, getuid(), getgid(), false);
    ZLOG(LOG2_DBG, "!source=%s mnt=%s type=%s flag=%d optbuf=%s\n", source, target.path.c_str(),
         type, static_cast<int>(opts.flags), data.c_str());
    res = mount(source, target.path.c_str(), type, opts.flags, data.c_str());
  }
  if (res == -1) {
    int saved = errno;
    if (opts.blkdev && saved == ENODEV && fuse_fs_support("/proc/filesystems") != 3) {
      fprintf(stderr, "%s: 'fuseblk' support missing\n", g_progname);
    } else {
      fprintf(stderr, "%s: mount failed: %s\n", g_progname, strerror(saved));
      if (saved == EPERM) fprintf(stderr, "User doesn't have privilege to mount\n");
    }
    return -1;
  }
  return 0;
}

int mount_main(const char *options, const char *mountpoint) {
  char resolved[PATH_MAX];
  if (!resolve_mountpoint(mountpoint, true, resolved)) return -1;
  std::string mnt = resolved;
  umask_scope mask(033);
  fd_owner fd(open_fuse_device());
  if (fd.get() == -1) return -1;
  bool is_root = getuid() == 0;
  if (!is_root && !user_mount_count_ok()) return -1;
  mount_target target;
  if (!check_mountpoint(mnt.c_str(), &target)) return -1;
  fusermount_opts opts = fusermount_parse_opts(options ? options : "", is_root);
  if (do_mount(opts, target, fd.get()) != 0) return -1;
  if (geteuid() == 0 && mtab_needs_update()) {
    const char *source = opts.fsname.empty() ? kFuseDev : opts.fsname.c_str();
    if (!record_mount(opts, source, opts.blkdev ? "fuseblk" : "fuse", mnt)) {
      if (umount2(target.path.c_str(), MNT_DETACH) != 0) {
        ZLOG(LOG2_ERR, "umount2 [%s] failed: %s\n", mnt.c_str(), strerror(errno));
      }
      return -1;
    }
  }
  return fd.release();
}

int unmount_main(int lazy, int quiet, const char *mountpoint) {
  char mnt[PATH_MAX];
  if (!resolve_mountpoint(mountpoint, false, mnt)) return -1;
  if (geteuid() == 0 && mtab_needs_update()) {
    const char *argv[] = {"/bin/umount", "-i", mnt, lazy ? "-l" : nullptr, nullptr};
    return fuse2_run_prog(argv, false, false) == 0 ? 0 : -1;
  }
  if (umount2(mnt, lazy ? MNT_DETACH : 0) != 0) {
    if (!quiet) {
      fprintf(stderr, "%s: failed to unmount %s: %s\n", g_progname, mnt, strerror(errno));
    }
    return -1;
  }
  return 0;
}

}  // namespace

void fusermount_set_progname(const char *name) {
  snprintf(g_progname, sizeof(g_progname), "%s", name ? name : "fusermount");
}

const fuse_mount_flag *fuse_mount_flag_table() { return kMountFlags; }

const fuse_mount_flag *fuse_mount_flag_find(const char *opt) {
  for (const fuse_mount_flag *row = kMountFlags; row->opt; ++row) {
    if (strcmp(row->opt, opt) == 0) return row;
  }
  return nullptr;
}

fusermount_opts fusermount_parse_opts(const char *options, bool is_root) {
  fusermount_opts opts{MS_NOSUID | MS_NODEV, {}, {}, false};
  std::string item;
  auto take = [&]() {
    if (item.empty()) return;
    if (has_prefix(item, "fsname=")) {
      opts.fsname = item.substr(7);
    } else if (item == "blkdev") {
      opts.blkdev = true;
    } else if (has_prefix(item, "fd=") || has_prefix(item, "rootmode=") ||
               has_prefix(item, "user_id=") || has_prefix(item, "group_id=")) {
      // These are ours to set; a caller's values would let it mount someone else's descriptor.
    } else if (item == "large_read" && large_read_is_deprecated()) {
    } else if (const fuse_mount_flag *row = fuse_mount_flag_find(item.c_str())) {
      if (!is_root && !row->safe) {
        fprintf(stderr, "%s: unsafe option '%s' ignored\n", g_progname, item.c_str());
      } else if (row->on) {
        opts.flags |= row->flag;
      } else {
        opts.flags &= ~row->flag;
      }
    } else {
      append_item(&opts.kernel, item);
    }
    item.clear();
  };
  for (const char *p = options; *p; ++p) {
    if (*p == '\\' && p[1] != '\0') {
      item.push_back(*++p);
    } else if (*p == ',') {
      take();
    } else {
      item.push_back(*p);
    }
  }
  take();
  return opts;
}

std::string fusermount_kernel_data(const fusermount_opts &opts, int fd, unsigned rootmode,
                                   unsigned uid, unsigned gid, bool with_group) {
  char ids[128];
  if (with_group) {
    snprintf(ids, sizeof(ids), "fd=%i,rootmode=%o,user_id=%i,group_id=%i", fd, rootmode,
             static_cast<int>(uid), static_cast<int>(gid));
  } else {
    snprintf(ids, sizeof(ids), "fd=%i,rootmode=%o,user_id=%i", fd, rootmode, static_cast<int>(uid));
  }
  std::string data = opts.kernel;
  append_item(&data, ids);
  return data;
}

int fusermount_main(int unmount, int lazy, int quiet, const char *options, const char *mountpoint) {
  if (unmount) return unmount_main(lazy, quiet, mountpoint);
  return mount_main(options, mountpoint);
}
