// Local directory driver, file handles: the three open forms and the operations on an open
// descriptor. An offset of -1 reads or writes at the descriptor's current position.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_ctx.h"
#include "file_ops.h"

namespace {

constexpr mode_t kCreateMode = 0644;

struct FlagPair {
  uint32_t from;
  int to;
};

int map_flags(uint32_t flags, const FlagPair *pairs, size_t count) {
  int out = 0;
  for (size_t i = 0; i < count; ++i)
    if (flags & pairs[i].from) out |= pairs[i].to;
  return out;
}

int posix_from_vfs(uint32_t flags) {
  static const FlagPair kPairs[] = {{VFS_O_CREAT, O_CREAT},
                                    {VFS_O_APPEND, O_APPEND},
                                    {VFS_O_TRUNC, O_TRUNC},
                                    {VFS_O_DIRECT, O_DIRECT}};
  int access = O_RDONLY;
  if (flags & VFS_O_RDWR)
    access = O_RDWR;
  else if (flags & VFS_O_WRONLY)
    access = O_WRONLY;
  return access | map_flags(flags, kPairs, sizeof kPairs / sizeof kPairs[0]);
}

int posix_from_portable(uint32_t flags) {
  static const FlagPair kPairs[] = {
      {VFS_PL_O_CREAT, O_CREAT},         {VFS_PL_O_APPEND, O_APPEND},
      {VFS_PL_O_TRUNC, O_TRUNC},         {VFS_PL_O_DIRECT, O_DIRECT},
      {VFS_PL_O_EXCL, O_EXCL},           {VFS_PL_O_NOFOLLOW, O_NOFOLLOW},
      {VFS_PL_O_NONBLOCK, O_NONBLOCK},   {VFS_PL_O_SYNC, O_SYNC},
      {VFS_PL_O_DIRECTORY, O_DIRECTORY}, {VFS_PL_O_CLOEXEC, O_CLOEXEC}};
  int access = O_RDONLY;
  if ((flags & VFS_PL_O_ACCMODE) == VFS_PL_O_WRONLY)
    access = O_WRONLY;
  else if ((flags & VFS_PL_O_ACCMODE) == VFS_PL_O_RDWR)
    access = O_RDWR;
  return access | map_flags(flags, kPairs, sizeof kPairs / sizeof kPairs[0]);
}

int posix_from_windows(uint32_t access, uint32_t disposition) {
  const bool read = access & VFS_W_GENERIC_READ;
  const bool write = access & VFS_W_GENERIC_WRITE;
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case VFS_W_CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case VFS_W_CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case VFS_W_OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case VFS_W_TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      break;
  }
  return flags;
}

FileHandle *open_rooted(FileMount *ctx, const char *path, int flags, mode_t mode) {
  FilePath rooted;
  if (!file_root(ctx, path, &rooted)) return nullptr;
  // Descriptors never leak into the programs the daemon runs (blkid).
  const int fd = open(rooted.text, flags | O_CLOEXEC, mode);
  if (fd < 0) {
    FILE_FAIL(ctx);
    return nullptr;
  }
  auto *fh = new FileHandle;
  fh->fd = fd;
  fh->ctx = ctx;
  return fh;
}

FileHandle *as_file(void *fh) { return static_cast<FileHandle *>(fh); }

}  // namespace

void *vfs_file_open(void *ctx, const char *path, uint32_t flags) {
  return open_rooted(static_cast<FileMount *>(ctx), path, posix_from_vfs(flags), kCreateMode);
}

void *vfs_file_wopen(void *ctx, const char *path, uint32_t access, uint32_t /*share*/,
                     void * /*security*/, uint32_t disposition, uint32_t /*attributes*/,
                     void * /*templ*/) {
  return open_rooted(static_cast<FileMount *>(ctx), path, posix_from_windows(access, disposition),
                     kCreateMode);
}

void *vfs_file_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t mode) {
  return open_rooted(static_cast<FileMount *>(ctx), path, posix_from_portable(portable_flags),
                     static_cast<mode_t>(mode));
}

int vfs_file_close(void *handle, int /*flag*/, int /*kind*/) {
  FileHandle *fh = as_file(handle);
  const int result = FILE_CHECK(fh->ctx, close(fh->fd));
  delete fh;
  return result < 0 ? -1 : 0;
}

int vfs_file_read(void *handle, void *buf, uint32_t size, int64_t offset) {
  FileHandle *fh = as_file(handle);
  const ssize_t n = offset == -1 ? read(fh->fd, buf, size) : pread(fh->fd, buf, size, offset);
  return static_cast<int>(FILE_CHECK(fh->ctx, n));
}

int vfs_file_write(void *handle, const void *buf, uint32_t size, int64_t offset) {
  FileHandle *fh = as_file(handle);
  const ssize_t n = offset == -1 ? write(fh->fd, buf, size) : pwrite(fh->fd, buf, size, offset);
  return static_cast<int>(FILE_CHECK(fh->ctx, n));
}

int vfs_file_fsync(void *handle, int datasync) {
  FileHandle *fh = as_file(handle);
  return FILE_CHECK(fh->ctx, datasync ? fdatasync(fh->fd) : fsync(fh->fd));
}

int64_t vfs_file_lseek(void *handle, int64_t offset, int whence) {
  FileHandle *fh = as_file(handle);
  return FILE_CHECK(fh->ctx, static_cast<int64_t>(lseek(fh->fd, offset, whence)));
}

int vfs_file_fstat(void *handle, VfsFileInfo *info) {
  FileHandle *fh = as_file(handle);
  struct stat st {};
  if (FILE_CHECK(fh->ctx, fstat(fh->fd, &st)) < 0) return -1;
  file_fill_info(st, info);
  return 0;
}

int vfs_file_ftruncate(void *handle, int64_t length) {
  FileHandle *fh = as_file(handle);
  return FILE_CHECK(fh->ctx, ftruncate(fh->fd, length));
}

int vfs_file_futime(void *handle, const VfsTimes *times) {
  FileHandle *fh = as_file(handle);
  const struct timespec ts[2] = {{static_cast<time_t>(times->atime.sec), times->atime.nsec},
                                 {static_cast<time_t>(times->mtime.sec), times->mtime.nsec}};
  return FILE_CHECK(fh->ctx, futimens(fh->fd, ts));
}

int vfs_file_flock(void *handle, int operation, int64_t start, int64_t length) {
  FileHandle *fh = as_file(handle);
  struct flock lock {};
  switch (operation) {
    case VFS_LOCK_SHARED:
      lock.l_type = F_RDLCK;
      break;
    case VFS_LOCK_EXCLUSIVE:
      lock.l_type = F_WRLCK;
      break;
    case VFS_LOCK_UNLOCK:
      lock.l_type = F_UNLCK;
      break;
    default:
      VERR_SET(fh->ctx->err, VERR_INVALID_PARAMETER, "lock operation %d", operation);
      return -1;
  }
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length < 0 ? 0 : length;  // 0: to the end of the file, however it grows
  // Never waits: the single FUSE thread would stop serving every other request.
  return FILE_CHECK(fh->ctx, fcntl(fh->fd, F_SETLK, &lock));
}
