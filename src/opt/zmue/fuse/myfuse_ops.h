// Shared by the adapter's operation files: the mount they serve, the debug bit, the common
// frame (timing, errno of the last failure) and the FUSE entries that the table lists.
// The globals are written once before the request loop starts and only read afterwards.
#pragma once

#include "myfuse.h"

#include "pal_env.h"

#include <cstdint>
#include <sys/types.h>

// Offsets and sizes of files past 2 GiB must survive on the 32-bit target too.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

extern VfsMount *g_myfuse_mount;
extern int g_myfuse_debug;

inline bool myfuse_debug() { return (g_myfuse_debug & 1) != 0; }

// The negated POSIX errno of the mount's last failure. A failure recorded without a code is
// still a failure: it becomes -EIO rather than a success.
int myfuse_neg_errno(const VfsMount *mount);
int myfuse_neg_errno(const VfsHandle *handle);

VfsHandle *myfuse_file(const fuse_file_info *fi);

// Runs one operation's worker, then the slow-call check under the FUSE entry's name.
template <typename Worker>
int myfuse_timed(const char *path, const char *op_name, Worker &&worker) {
  uint64_t start = os_get_ms();
  int res = worker();
  fuse_time_use_check(start, path, op_name);
  return res;
}

int xmp_getattr(const char *path, struct stat *st);
int xmp_readlink(const char *path, char *buf, size_t size);
int xmp_mknod(const char *path, mode_t mode, dev_t rdev);
int xmp_mkdir(const char *path, mode_t mode);
int xmp_unlink(const char *path);
int xmp_rmdir(const char *path);
int xmp_symlink(const char *target, const char *path);
int xmp_rename(const char *from, const char *to);
int xmp_link(const char *from, const char *to);
int xmp_chmod(const char *path, mode_t mode);
int xmp_chown(const char *path, uid_t uid, gid_t gid);
int xmp_truncate(const char *path, off_t size);
int xmp_statfs(const char *path, struct statvfs *stv);
int xmp_access(const char *path, int mask);
int xmp_utimens(const char *path, const struct timespec ts[2]);
int xmp_setxattr(const char *path, const char *name, const char *value, size_t size, int flags);
int xmp_getxattr(const char *path, const char *name, char *value, size_t size);
int xmp_listxattr(const char *path, char *list, size_t size);
int xmp_removexattr(const char *path, const char *name);

int xmp_open(const char *path, fuse_file_info *fi);
int xmp_create(const char *path, mode_t mode, fuse_file_info *fi);
int xmp_read(const char *path, char *buf, size_t size, off_t offset, fuse_file_info *fi);
int xmp_write(const char *path, const char *buf, size_t size, off_t offset, fuse_file_info *fi);
int xmp_flush(const char *path, fuse_file_info *fi);
int xmp_release(const char *path, fuse_file_info *fi);
int xmp_fsync(const char *path, int datasync, fuse_file_info *fi);

int xmp_opendir(const char *path, fuse_file_info *fi);
int xmp_readdir(const char *path, void *buf, fuse_fill_dir_t filler, off_t offset,
                fuse_file_info *fi);
int xmp_releasedir(const char *path, fuse_file_info *fi);
