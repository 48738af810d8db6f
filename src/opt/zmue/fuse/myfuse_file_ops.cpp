// The adapter's file operations: open and create hand out VFS file handles in fi->fh; read,
// write, flush, fsync and release use them. Assumes the kernel only passes back handles that
// open or create returned; the VFS checks each handle's magic before use.
#include "myfuse_ops.h"

#include "myfuse_open_files.h"

#include "pal_log.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>

static const char kLogTag[] = "zmue";

#define HANDLE_FAILED(path, fh) \
  (ZLOG(LOG2_ERR, "path=%s error=%s\n", (path), vfs_get_error(fh)), myfuse_neg_errno(fh))

namespace {

// Shared by open and create; func names the worker in the log lines.
int open_i(const char *func, const char *path, fuse_file_info *fi, mode_t mode) {
  uint32_t pflags = myfuse_open_flags_2_pl(fi->flags);
  if (myfuse_debug()) {
    pal_log_printf(LOG2_DBG, kLogTag, __FILE__, __LINE__, func, "path=%s flag=0x%x pflag=0x%x\n",
                   path, static_cast<unsigned>(fi->flags), pflags);
  }
  VfsHandle *fh = vfs_open2(g_myfuse_mount, path, pflags, mode);
  if (fh == nullptr) {
    pal_log_printf(LOG2_ERR, kLogTag, __FILE__, __LINE__, func, "path=%s error=%s\n", path,
                   vfs_get_error(g_myfuse_mount));
    return myfuse_neg_errno(g_myfuse_mount);
  }
  fi->fh = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(fh));
  if ((fi->flags & O_ACCMODE) != O_RDONLY) myfuse_track_open(path, fh);
  return 0;
}

int xmp_open_i(const char *path, fuse_file_info *fi) { return open_i(__func__, path, fi, 0); }

int xmp_create_i(const char *path, mode_t mode, fuse_file_info *fi) {
  return open_i(__func__, path, fi, mode);
}

int xmp_read_i(const char *path, char *buf, size_t size, off_t offset, fuse_file_info *fi) {
  VfsHandle *fh = myfuse_file(fi);
  int res = vfs_read(fh, buf, static_cast<uint32_t>(size), static_cast<int64_t>(offset));
  return res < 0 ? HANDLE_FAILED(path, fh) : res;
}

int xmp_write_i(const char *path, const char *buf, size_t size, off_t offset, fuse_file_info *fi) {
  VfsHandle *fh = myfuse_file(fi);
  int res = vfs_write(fh, buf, static_cast<uint32_t>(size), static_cast<int64_t>(offset));
  return res < 0 ? HANDLE_FAILED(path, fh) : res;
}

// Every close(2) comes here: data still held in the write cache is written now, so that a
// full disk or an I/O error reaches the application's close instead of being lost.
int xmp_flush_i(const char *path, fuse_file_info *fi) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "==>\n");
  VfsHandle *fh = myfuse_file(fi);
  return vfs_flush(fh) < 0 ? HANDLE_FAILED(path, fh) : 0;
}

// The kernel does not wait for the result; the handle is closed whatever happens.
int xmp_release_i(fuse_file_info *fi) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "==>\n");
  VfsHandle *fh = myfuse_file(fi);
  myfuse_untrack_open(fh);
  if (vfs_release(fh) < 0 && myfuse_debug()) ZLOG(LOG2_DBG, "release failed\n");
  return 0;
}

int xmp_fsync_i(fuse_file_info *fi) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "==>\n");
  VfsHandle *fh = myfuse_file(fi);
  return vfs_fsync(fh, 0) < 0 ? myfuse_neg_errno(fh) : 0;
}

}  // namespace

int xmp_open(const char *path, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_open", [&] { return xmp_open_i(path, fi); });
}

int xmp_create(const char *path, mode_t mode, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_create", [&] { return xmp_create_i(path, mode, fi); });
}

int xmp_read(const char *path, char *buf, size_t size, off_t offset, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_read", [&] { return xmp_read_i(path, buf, size, offset, fi); });
}

int xmp_write(const char *path, const char *buf, size_t size, off_t offset, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_write", [&] { return xmp_write_i(path, buf, size, offset, fi); });
}

int xmp_flush(const char *path, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_flush", [&] { return xmp_flush_i(path, fi); });
}

int xmp_release(const char *path, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_release", [&] { return xmp_release_i(fi); });
}

int xmp_fsync(const char *path, int, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_fsync", [&] { return xmp_fsync_i(fi); });
}
