// The adapter's path operations: each FUSE request becomes one VFS path call on the mounted
// VFS; failures are logged here and go back to the kernel as the negated POSIX errno.
// Assumes the globals of myfuse_ops.h are set before the request loop starts.
#include "myfuse_ops.h"

#include "myfuse_open_files.h"

#include "pal_log.h"

#include <cerrno>
#include <cinttypes>
#include <ctime>

static const char kLogTag[] = "zmue";

// The usual error lines, logged from the calling worker; each yields the request's result.
#define PATH_FAILED(path) \
  (ZLOG(LOG2_ERR, "path=%s error=%s\n", (path), vfs_get_error(g_myfuse_mount)), \
   myfuse_neg_errno(g_myfuse_mount))
#define PAIR_FAILED(from, to) \
  (ZLOG(LOG2_ERR, "[%s]->[%s] error=%s\n", (from), (to), vfs_get_error(g_myfuse_mount)), \
   myfuse_neg_errno(g_myfuse_mount))

namespace {

// Errno values that mean "no such attribute here": answered without a log line.
bool xattr_absent(int eno) { return eno == 2 || eno == 45 || eno == 61 || eno == 95; }

int xmp_getattr_i(const char *path, struct stat *st) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s\n", path);
  // A size that still waits in a write cache would shrink the kernel's view of the file.
  if (myfuse_flush_path(path) < 0 && myfuse_debug()) ZLOG(LOG2_DBG, "flush [%s] failed\n", path);
  VfsFileInfo info{};
  if (vfs_lstat(g_myfuse_mount, path, &info) < 0) {
    if (!myfuse_debug()) return myfuse_neg_errno(g_myfuse_mount);
    return PATH_FAILED(path);
  }
  myfuse_info_2_stat(info, st);
  if (myfuse_debug()) {
    ZLOG(LOG2_DBG, "st_dev=%u st_ino=%llu mode=0x%x sd_nlink=%llu\n",
         static_cast<unsigned>(st->st_dev), static_cast<unsigned long long>(st->st_ino),
         static_cast<unsigned>(st->st_mode), static_cast<unsigned long long>(st->st_nlink));
    ZLOG(LOG2_DBG, "uid=%u gid=%u st_rdev=%llu st_size=%llu\n", static_cast<unsigned>(st->st_uid),
         static_cast<unsigned>(st->st_gid), static_cast<unsigned long long>(st->st_rdev),
         static_cast<unsigned long long>(st->st_size));
    ZLOG(LOG2_DBG, "st_blksize=%llu st_blocks=%llu\n",
         static_cast<unsigned long long>(st->st_blksize),
         static_cast<unsigned long long>(st->st_blocks));
  }
  return 0;
}

int xmp_readlink_i(const char *path, char *buf, size_t size) {
  if (size == 0) return -EINVAL;
  int len = vfs_readlink(g_myfuse_mount, path, buf, static_cast<uint32_t>(size - 1));
  if (len < 0) return PATH_FAILED(path);
  buf[std::min(static_cast<size_t>(len), size - 1)] = '\0';
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s link=%s\n", path, buf);
  return 0;
}

int xmp_mknod_i(const char *path, mode_t mode, dev_t rdev) {
  int res = S_ISFIFO(mode) ? vfs_mkfifo(g_myfuse_mount, path, mode)
                           : vfs_mknod(g_myfuse_mount, path, mode, rdev);
  return res < 0 ? PATH_FAILED(path) : 0;
}

int xmp_mkdir_i(const char *path, mode_t mode) {
  return vfs_mkdir(g_myfuse_mount, path, mode) < 0 ? PATH_FAILED(path) : 0;
}

int xmp_unlink_i(const char *path) {
  return vfs_unlink(g_myfuse_mount, path) < 0 ? PATH_FAILED(path) : 0;
}

int xmp_rmdir_i(const char *path) {
  if (vfs_rmdir(g_myfuse_mount, path) >= 0) return 0;
  // rm -r asks for a non-empty directory first: not worth a line.
  if (vfs_get_errno(g_myfuse_mount) == VERR_DIR_NOT_EMPTY) return myfuse_neg_errno(g_myfuse_mount);
  return PATH_FAILED(path);
}

int xmp_symlink_i(const char *target, const char *path) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "[%s]->[%s]\n", target, path);
  return vfs_symlink(g_myfuse_mount, target, path) < 0 ? PAIR_FAILED(target, path) : 0;
}

int xmp_rename_i(const char *from, const char *to) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "[%s]->[%s]\n", from, to);
  if (vfs_rename(g_myfuse_mount, from, to, 1) < 0) return PAIR_FAILED(from, to);
  myfuse_rename_open(from, to);
  return 0;
}

int xmp_link_i(const char *from, const char *to) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "[%s]->[%s]\n", from, to);
  return vfs_link(g_myfuse_mount, from, to) < 0 ? PAIR_FAILED(from, to) : 0;
}

int xmp_chmod_i(const char *path, mode_t mode) {
  if (vfs_chmod(g_myfuse_mount, path, mode) >= 0) return 0;
  // Back ends without permissions: copying tools must not fail on them.
  if (vfs_get_errno(g_myfuse_mount) == VERR_NOT_SUPPORTED) return 0;
  return PATH_FAILED(path);
}

int xmp_chown_i(const char *path, uid_t uid, gid_t gid) {
  return vfs_lchown(g_myfuse_mount, path, uid, gid) < 0 ? PATH_FAILED(path) : 0;
}

int xmp_truncate_i(const char *path, off_t size) {
  // Pending writes would land after the new length and undo it.
  if (myfuse_flush_path(path) < 0) return PATH_FAILED(path);
  if (vfs_truncate(g_myfuse_mount, path, static_cast<int64_t>(size)) >= 0) return 0;
  ZLOG(LOG2_ERR, "path=%s len=%lli error=%s\n", path, static_cast<long long>(size),
       vfs_get_error(g_myfuse_mount));
  return myfuse_neg_errno(g_myfuse_mount);
}

int xmp_statfs_i(const char *path, struct statvfs *stv) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "[%s]==>\n", path);
  VfsStatfs stats{};
  if (vfs_statfs(g_myfuse_mount, path, &stats) < 0) return PATH_FAILED(path);
  myfuse_statfs_2_statvfs(stats, stv);
  return 0;
}

int xmp_access_i(const char *path, int mask) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s mask=%d\n", path, mask);
  if (vfs_access(g_myfuse_mount, path, static_cast<uint32_t>(mask)) >= 0) return 0;
  if (!myfuse_debug()) return myfuse_neg_errno(g_myfuse_mount);
  return PATH_FAILED(path);
}

// touch -m, touch -a and tar set one time and mark the other UTIME_OMIT: that one keeps the
// value the file has now, so it is read first.
int xmp_utimens_i(const char *path, const struct timespec ts[2]) {
  const bool keeps_atime = ts[0].tv_nsec == UTIME_OMIT;
  const bool keeps_mtime = ts[1].tv_nsec == UTIME_OMIT;
  if (keeps_atime && keeps_mtime) return 0;
  // Pending writes would change the modification time again when they are flushed.
  if (myfuse_flush_path(path) < 0) return PATH_FAILED(path);
  VfsFileInfo current{};
  if ((keeps_atime || keeps_mtime) && vfs_lstat(g_myfuse_mount, path, &current) < 0) {
    return PATH_FAILED(path);
  }
  struct timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  VfsTimes times = myfuse_timespec_2_times(ts, current, now);
  return vfs_lutime(g_myfuse_mount, path, &times) < 0 ? PATH_FAILED(path) : 0;
}

int xmp_setxattr_i(const char *path, const char *name, const char *value, size_t size, int flags) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "==>\n");
  int res = vfs_lsetxattr(g_myfuse_mount, path, name, value, static_cast<uint32_t>(size),
                          os_setxattr_flag_2_pl(flags));
  return res < 0 ? PATH_FAILED(path) : 0;
}

// A missing attribute is answered with its errno (ENODATA): an empty value would tell the
// application that the attribute exists.
int xmp_getxattr_i(const char *path, const char *name, char *value, size_t size) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s name=%s\n", path, name);
  int res = vfs_lgetxattr(g_myfuse_mount, path, name, value, static_cast<uint32_t>(size));
  if (res >= 0) return res;
  int eno = vfs_get_posix_errno(g_myfuse_mount);
  if (!xattr_absent(eno)) {
    ZLOG(LOG2_ERR, "path=%s name=%s eno=%d error=%s\n", path, name, eno,
         vfs_get_error(g_myfuse_mount));
  }
  return myfuse_neg_errno(g_myfuse_mount);
}

int xmp_listxattr_i(const char *path, char *list, size_t size) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s ==>\n", path);
  int res = vfs_llistxattr(g_myfuse_mount, path, list, static_cast<uint32_t>(size));
  if (res >= 0) return res;
  // No attributes to list is an empty list.
  if (xattr_absent(vfs_get_posix_errno(g_myfuse_mount))) return 0;
  return PATH_FAILED(path);
}

int xmp_removexattr_i(const char *path, const char *name) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "==>\n");
  return vfs_lremovexattr(g_myfuse_mount, path, name) < 0 ? PATH_FAILED(path) : 0;
}

}  // namespace

int xmp_getattr(const char *path, struct stat *st) {
  return myfuse_timed(path, "xmp_getattr", [&] { return xmp_getattr_i(path, st); });
}

int xmp_readlink(const char *path, char *buf, size_t size) {
  return myfuse_timed(path, "xmp_readlink", [&] { return xmp_readlink_i(path, buf, size); });
}

int xmp_mknod(const char *path, mode_t mode, dev_t rdev) {
  return myfuse_timed(path, "xmp_mknod", [&] { return xmp_mknod_i(path, mode, rdev); });
}

int xmp_mkdir(const char *path, mode_t mode) {
  return myfuse_timed(path, "xmp_mkdir", [&] { return xmp_mkdir_i(path, mode); });
}

int xmp_unlink(const char *path) {
  return myfuse_timed(path, "xmp_unlink", [&] { return xmp_unlink_i(path); });
}

int xmp_rmdir(const char *path) {
  return myfuse_timed(path, "xmp_rmdir", [&] { return xmp_rmdir_i(path); });
}

int xmp_symlink(const char *target, const char *path) {
  return myfuse_timed(path, "xmp_symlink", [&] { return xmp_symlink_i(target, path); });
}

int xmp_rename(const char *from, const char *to) {
  return myfuse_timed(from, "xmp_rename", [&] { return xmp_rename_i(from, to); });
}

int xmp_link(const char *from, const char *to) {
  return myfuse_timed(from, "xmp_link", [&] { return xmp_link_i(from, to); });
}

int xmp_chmod(const char *path, mode_t mode) {
  return myfuse_timed(path, "xmp_chmod", [&] { return xmp_chmod_i(path, mode); });
}

int xmp_chown(const char *path, uid_t uid, gid_t gid) {
  return myfuse_timed(path, "xmp_chown", [&] { return xmp_chown_i(path, uid, gid); });
}

int xmp_truncate(const char *path, off_t size) {
  return myfuse_timed(path, "xmp_truncate", [&] { return xmp_truncate_i(path, size); });
}

int xmp_statfs(const char *path, struct statvfs *stv) {
  return myfuse_timed(path, "xmp_statfs", [&] { return xmp_statfs_i(path, stv); });
}

int xmp_access(const char *path, int mask) {
  return myfuse_timed(path, "xmp_access", [&] { return xmp_access_i(path, mask); });
}

int xmp_utimens(const char *path, const struct timespec ts[2]) {
  return myfuse_timed(path, "xmp_utimens", [&] { return xmp_utimens_i(path, ts); });
}

int xmp_setxattr(const char *path, const char *name, const char *value, size_t size, int flags) {
  return myfuse_timed(path, "xmp_setxattr",
                      [&] { return xmp_setxattr_i(path, name, value, size, flags); });
}

int xmp_getxattr(const char *path, const char *name, char *value, size_t size) {
  int res = myfuse_timed(path, "xmp_getxattr",
                         [&] { return xmp_getxattr_i(path, name, value, size); });
  if (myfuse_debug()) {
    int shown = (res > 0 && value != nullptr) ? std::min(res, static_cast<int>(size)) : 0;
    ZLOG(LOG2_DBG, "path=%s ret=%d value=[%.*s]\n", path, res, shown, shown ? value : "");
  }
  return res;
}

int xmp_listxattr(const char *path, char *list, size_t size) {
  return myfuse_timed(path, "xmp_listxattr", [&] { return xmp_listxattr_i(path, list, size); });
}

int xmp_removexattr(const char *path, const char *name) {
  return myfuse_timed(path, "xmp_removexattr", [&] { return xmp_removexattr_i(path, name); });
}
