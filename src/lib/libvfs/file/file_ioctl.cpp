// Local directory driver, path operations: each control code of the VFS maps onto one or two
// system calls on rooted paths. Failures record the mapped errno in the mount's error record.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "file_ctx.h"
#include "file_ops.h"

namespace {

constexpr mode_t kDirMode = 0755;

// Error records name the driver's control entry, also for the steps done in helpers and lambdas.
#define IOCTL_CHECK(ctx, result) file_check((ctx), (result), __FILE__, __LINE__, "vfs_file_ioctl")
constexpr uint32_t kLocalOsType = 2;

template <typename Block>
Block *block_as(FileMount *ctx, void *block, int32_t size) {
  if (block == nullptr || size != static_cast<int32_t>(sizeof(Block))) {
    VERR_SET(ctx->err, VERR_INVALID_PARAMETER, nullptr);
    return nullptr;
  }
  return static_cast<Block *>(block);
}

int fail_with(FileMount *ctx, int eno, int line) {
  file_record_errno(ctx, __FILE__, line, "vfs_file_ioctl", eno);
  return -1;
}

// Creates the directory and its missing parents; an existing directory is success, any other
// existing file is refused as permission denied.
int make_dirs(FileMount *ctx, const char *rooted, mode_t mode) {
  struct stat st {};
  if (stat(rooted, &st) == 0) return S_ISDIR(st.st_mode) ? 0 : fail_with(ctx, EACCES, __LINE__);
  return IOCTL_CHECK(ctx, os_mkdirs(rooted, mode));
}

int create_file(FileMount *ctx, const char *rooted) {
  struct stat st {};
  if (stat(rooted, &st) == 0) return S_ISDIR(st.st_mode) ? fail_with(ctx, EACCES, __LINE__) : 0;
  std::string parent(rooted);
  const size_t slash = parent.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    parent.resize(slash);
    if (make_dirs(ctx, parent.c_str(), kDirMode) != 0) return -1;
  }
  const int fd = IOCTL_CHECK(ctx, open(rooted, O_WRONLY | O_CREAT | O_CLOEXEC, kDirMode));
  if (fd < 0) return -1;
  return IOCTL_CHECK(ctx, close(fd));
}

int rename_path(FileMount *ctx, const char *from, const char *to, uint8_t flags) {
  struct stat st {};
  if (flags == 0 && lstat(to, &st) == 0) return fail_with(ctx, EEXIST, __LINE__);
  return IOCTL_CHECK(ctx, rename(from, to));
}

// Status following links; a dangling link reports the link itself.
int stat_path(FileMount *ctx, const char *rooted, VfsFileInfo *info, bool follow) {
  struct stat st {};
  if (!follow || stat(rooted, &st) != 0)
    if (IOCTL_CHECK(ctx, lstat(rooted, &st)) < 0) return -1;
  file_fill_info(st, info);
  return 0;
}

int statfs_path(FileMount *ctx, const char *rooted, VfsStatfs *out) {
  struct statvfs sv {};
  if (IOCTL_CHECK(ctx, statvfs(rooted, &sv)) < 0) return -1;
  *out = VfsStatfs{sv.f_bsize, sv.f_frsize, sv.f_blocks, sv.f_bfree, sv.f_bavail, sv.f_files,
                   sv.f_ffree, sv.f_favail, sv.f_fsid,   sv.f_flag,  sv.f_namemax};
  return 0;
}

int set_times(FileMount *ctx, const char *rooted, const VfsTimes &times, int at_flags) {
  const struct timespec ts[2] = {{static_cast<time_t>(times.atime.sec), times.atime.nsec},
                                 {static_cast<time_t>(times.mtime.sec), times.mtime.nsec}};
  return IOCTL_CHECK(ctx, utimensat(AT_FDCWD, rooted, ts, at_flags));
}

int getcwd_into(FileMount *ctx, void *block, int32_t size) {
  if (block == nullptr || size <= 0) return fail_with(ctx, EINVAL, __LINE__);
  return getcwd(static_cast<char *>(block), static_cast<size_t>(size)) != nullptr
             ? 0
             : fail_with(ctx, errno, __LINE__);
}

// Codes whose single argument is the path itself.
int path_only(FileMount *ctx, uint32_t code, const char *path) {
  FilePath p;
  if (!file_root(ctx, path, &p)) return -1;
  switch (code) {
    case VFS_IOC_CHDIR:
      return IOCTL_CHECK(ctx, chdir(p.text));
    case VFS_IOC_CREATE_FILE:
      return create_file(ctx, p.text);
    case VFS_IOC_MKDIRS:
      return make_dirs(ctx, p.text, kDirMode);
    case VFS_IOC_RMDIR:
      return IOCTL_CHECK(ctx, rmdir(p.text));
    default:
      return IOCTL_CHECK(ctx, remove(p.text));  // VFS_IOC_UNLINK
  }
}

template <typename Block, typename Op>
int with_path(FileMount *ctx, void *block, int32_t size, Op op) {
  Block *b = block_as<Block>(ctx, block, size);
  if (b == nullptr) return -1;
  FilePath p;
  if (!file_root(ctx, b->path, &p)) return -1;
  return op(*b, p.text);
}

template <typename Op>
int with_two_paths(FileMount *ctx, void *block, int32_t size, bool root_from, Op op) {
  auto *b = block_as<VfsArgTwoPaths>(ctx, block, size);
  if (b == nullptr) return -1;
  if (b->from == nullptr) return fail_with(ctx, EINVAL, __LINE__);
  FilePath from;
  FilePath to;
  if (root_from && !file_root(ctx, b->from, &from)) return -1;
  if (!file_root(ctx, b->to, &to)) return -1;
  return op(root_from ? from.text : b->from, to.text);
}

}  // namespace

int vfs_file_ioctl(void *handle, uint32_t code, void *block, int32_t size) {
  auto *ctx = static_cast<FileMount *>(handle);
  switch (code) {
    case VFS_IOC_NEED_EXIT:
      if (auto *out = block_as<uint32_t>(ctx, block, size)) *out = 0;
      return -1;
    case VFS_IOC_OSTYPE:
      if (auto *out = block_as<uint32_t>(ctx, block, size)) {
        *out = kLocalOsType;
        return 0;
      }
      return -1;
    case VFS_IOC_GETCWD:
      return getcwd_into(ctx, block, size);
    case VFS_IOC_CHDIR:
    case VFS_IOC_CREATE_FILE:
    case VFS_IOC_MKDIRS:
    case VFS_IOC_RMDIR:
    case VFS_IOC_UNLINK:
      return path_only(ctx, code, static_cast<const char *>(block));
    case VFS_IOC_STATFS:
      return with_path<VfsArgStatfs>(
          ctx, block, size, [ctx](auto &b, const char *p) { return statfs_path(ctx, p, b.out); });
    case VFS_IOC_VOLINFO:
      return with_path<VfsArgVolinfo>(
          ctx, block, size, [ctx](auto &b, const char *p) { return file_volinfo(ctx, p, b.out); });
    case VFS_IOC_ACCESS:
      return with_path<VfsArgPathMode>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, access(p, static_cast<int>(b.mode)));
      });
    case VFS_IOC_MKDIR:
      return with_path<VfsArgPathMode>(ctx, block, size, [ctx](auto &b, const char *p) {
        return make_dirs(ctx, p, static_cast<mode_t>(b.mode));
      });
    case VFS_IOC_MKNOD:
      return with_path<VfsArgMknod>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, mknod(p, static_cast<mode_t>(b.mode), static_cast<dev_t>(b.dev)));
      });
    case VFS_IOC_MKFIFO:
      return with_path<VfsArgPathMode>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, mkfifo(p, static_cast<mode_t>(b.mode)));
      });
    case VFS_IOC_LINK:
      return with_two_paths(ctx, block, size, true, [ctx](const char *from, const char *to) {
        return IOCTL_CHECK(ctx, link(from, to));
      });
    case VFS_IOC_SYMLINK:
      return with_two_paths(ctx, block, size, false, [ctx](const char *target, const char *to) {
        return IOCTL_CHECK(ctx, symlink(target, to));
      });
    case VFS_IOC_RENAME: {
      auto *b = block_as<VfsArgRename>(ctx, block, size);
      FilePath from;
      FilePath to;
      if (b == nullptr || !file_root(ctx, b->from, &from) || !file_root(ctx, b->to, &to)) return -1;
      return rename_path(ctx, from.text, to.text, b->flags);
    }
    case VFS_IOC_READLINK:
      return with_path<VfsArgBuffer>(ctx, block, size, [ctx](auto &b, const char *p) {
        return static_cast<int>(IOCTL_CHECK(ctx, readlink(p, b.buf, b.size)));
      });
    case VFS_IOC_STAT:
    case VFS_IOC_LSTAT:
      return with_path<VfsArgFileInfo>(ctx, block, size, [ctx, code](auto &b, const char *p) {
        return stat_path(ctx, p, b.info, code == VFS_IOC_STAT);
      });
    case VFS_IOC_SETATTR:
      return 0;
    case VFS_IOC_TRUNCATE:
      return with_path<VfsArgTruncate>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, truncate(p, b.length));
      });
    case VFS_IOC_CHMOD:
    case VFS_IOC_LCHMOD:
      return with_path<VfsArgPathMode>(ctx, block, size, [ctx, code](auto &b, const char *p) {
        const int at_flags = code == VFS_IOC_LCHMOD ? AT_SYMLINK_NOFOLLOW : 0;
        return IOCTL_CHECK(ctx, fchmodat(AT_FDCWD, p, static_cast<mode_t>(b.mode), at_flags));
      });
    case VFS_IOC_CHOWN:
    case VFS_IOC_LCHOWN:
      return with_path<VfsArgOwner>(ctx, block, size, [ctx, code](auto &b, const char *p) {
        const int at_flags = code == VFS_IOC_LCHOWN ? AT_SYMLINK_NOFOLLOW : 0;
        return IOCTL_CHECK(ctx, fchownat(AT_FDCWD, p, b.uid, b.gid, at_flags));
      });
    case VFS_IOC_UTIME:
    case VFS_IOC_LUTIME:
      return with_path<VfsArgTimes>(ctx, block, size, [ctx, code](auto &b, const char *p) {
        return set_times(ctx, p, b.times, code == VFS_IOC_LUTIME ? AT_SYMLINK_NOFOLLOW : 0);
      });
    case VFS_IOC_LGETXATTR:
      return with_path<VfsArgGetXattr>(ctx, block, size, [ctx](auto &b, const char *p) {
        return static_cast<int>(IOCTL_CHECK(ctx, lgetxattr(p, b.name, b.buf, b.size)));
      });
    case VFS_IOC_LSETXATTR:
      return with_path<VfsArgSetXattr>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, lsetxattr(p, b.name, b.value, b.size, b.flags));
      });
    case VFS_IOC_LREMOVEXATTR:
      return with_path<VfsArgXattrName>(ctx, block, size, [ctx](auto &b, const char *p) {
        return IOCTL_CHECK(ctx, lremovexattr(p, b.name));
      });
    case VFS_IOC_LLISTXATTR:
      return with_path<VfsArgBuffer>(ctx, block, size, [ctx](auto &b, const char *p) {
        return static_cast<int>(IOCTL_CHECK(ctx, llistxattr(p, b.buf, b.size)));
      });
    default:
      VERR_SET(ctx->err, VERR_INVALID_PARAMETER, nullptr);
      return -1;
  }
}
