// VFS path operations and mount-level queries: each packs its arguments into the block of its
// control code and hands it to the driver's single ioctl slot, so a new operation needs a code,
// not a new driver slot.
#include <cstring>

#include "pal_log.h"
#include "vfs_core.h"

static const char kLogTag[] = "vfs";

namespace {

// Codes whose single argument stands in place of the block.
constexpr int32_t kNoBlock = -1;

int mount_ioctl(VfsMount *mount, uint32_t code, void *block, int32_t size) {
  if (vfs_valid_mount(mount) == nullptr) return -1;
  const VfsDriver *drv = mount->driver;
  if (drv->ioctl == nullptr) return vfs_slot_missing(mount, "ioctl");
  return drv->ioctl(mount->ctx, code, block, size);
}

template <typename Block>
int block_ioctl(VfsMount *mount, uint32_t code, Block block) {
  return mount_ioctl(mount, code, &block, sizeof block);
}

int path_ioctl(VfsMount *mount, uint32_t code, const char *path) {
  if (path == nullptr) return -1;
  return mount_ioctl(mount, code, const_cast<char *>(path), kNoBlock);
}

template <typename Word>
Word query_word(VfsMount *mount, uint32_t code) {
  Word out = 0;
  mount_ioctl(mount, code, &out, sizeof out);
  return out;
}

}  // namespace

int vfs_statvol(VfsMount *mount, VfsVolInfo *info) {
  if (vfs_valid_mount(mount) == nullptr || info == nullptr) return -1;
  const VfsDriver *drv = mount->driver;
  if (drv->statfs == nullptr) return vfs_slot_missing(mount, "statfs");
  return drv->statfs(mount->ctx, info);
}

int vfs_get_readonly(VfsMount *mount, uint32_t *out) {
  if (vfs_valid_mount(mount) == nullptr || out == nullptr) return -1;
  const VfsDriver *drv = mount->driver;
  if (drv->get_readonly == nullptr) return vfs_slot_missing(mount, "get_readonly");
  return drv->get_readonly(mount->ctx, out);
}

uint64_t vfs_get_active_time(VfsMount *mount) {
  return query_word<uint64_t>(mount, VFS_IOC_ACTIVE_TIME);
}

uint32_t vfs_need_exit(VfsMount *mount) { return query_word<uint32_t>(mount, VFS_IOC_NEED_EXIT); }

uint32_t vfs_get_ostype(VfsMount *mount) { return query_word<uint32_t>(mount, VFS_IOC_OSTYPE); }

int vfs_statfs(VfsMount *mount, const char *path, VfsStatfs *out) {
  return block_ioctl(mount, VFS_IOC_STATFS, VfsArgStatfs{path, out});
}

int vfs_getcwd(VfsMount *mount, char *buf, uint32_t size) {
  if (buf == nullptr) return -1;
  return mount_ioctl(mount, VFS_IOC_GETCWD, buf, static_cast<int32_t>(size));
}

int vfs_chdir(VfsMount *mount, const char *path) { return path_ioctl(mount, VFS_IOC_CHDIR, path); }

int vfs_volinfo(VfsMount *mount, const char *path, VfsVolInfo *out) {
  return block_ioctl(mount, VFS_IOC_VOLINFO, VfsArgVolinfo{path, out});
}

int vfs_access(VfsMount *mount, const char *path, uint32_t mode) {
  return block_ioctl(mount, VFS_IOC_ACCESS, VfsArgPathMode{path, mode});
}

int vfs_create_file(VfsMount *mount, const char *path) {
  return path_ioctl(mount, VFS_IOC_CREATE_FILE, path);
}

int vfs_mkdirs(VfsMount *mount, const char *path) {
  return path_ioctl(mount, VFS_IOC_MKDIRS, path);
}

int vfs_mkdir(VfsMount *mount, const char *path, uint32_t mode) {
  return block_ioctl(mount, VFS_IOC_MKDIR, VfsArgPathMode{path, mode});
}

int vfs_mknod(VfsMount *mount, const char *path, uint32_t mode, uint64_t dev) {
  return block_ioctl(mount, VFS_IOC_MKNOD, VfsArgMknod{path, mode, dev});
}

int vfs_mkfifo(VfsMount *mount, const char *path, uint32_t mode) {
  return block_ioctl(mount, VFS_IOC_MKFIFO, VfsArgPathMode{path, mode});
}

int vfs_link(VfsMount *mount, const char *existing, const char *path) {
  return block_ioctl(mount, VFS_IOC_LINK, VfsArgTwoPaths{existing, path});
}

int vfs_symlink(VfsMount *mount, const char *target, const char *path) {
  if (vfs_valid_mount(mount) == nullptr) return -1;
  if (mount->mnt_dir.empty()) {
    ZLOG(LOG2_ERR, "error:mnt_dir not set\n");
    VERR_SET(&mount->err, VERR_INVALID_PARAMETER, "mnt_dir not set");
    return -1;
  }
  return block_ioctl(mount, VFS_IOC_SYMLINK, VfsArgTwoPaths{target, path});
}

int vfs_rmdir(VfsMount *mount, const char *path) { return path_ioctl(mount, VFS_IOC_RMDIR, path); }

int vfs_unlink(VfsMount *mount, const char *path) {
  return path_ioctl(mount, VFS_IOC_UNLINK, path);
}

int vfs_rename(VfsMount *mount, const char *from, const char *to, uint8_t flags) {
  return block_ioctl(mount, VFS_IOC_RENAME, VfsArgRename{from, to, flags});
}

int vfs_readlink(VfsMount *mount, const char *path, char *buf, uint32_t size) {
  return block_ioctl(mount, VFS_IOC_READLINK, VfsArgBuffer{path, buf, size});
}

int vfs_stat(VfsMount *mount, const char *path, VfsFileInfo *info) {
  return block_ioctl(mount, VFS_IOC_STAT, VfsArgFileInfo{path, info});
}

int vfs_lstat(VfsMount *mount, const char *path, VfsFileInfo *info) {
  return block_ioctl(mount, VFS_IOC_LSTAT, VfsArgFileInfo{path, info});
}

int vfs_get_ftype(VfsMount *mount, const char *path, uint32_t *out_type) {
  VfsFileInfo info{};
  const int result = vfs_stat(mount, path, &info);
  if (result < 0) {
    ZLOG(LOG2_DBG, "stat(%s) error: %s\n", path ? path : "", vfs_get_error(mount));
    info.type = 0;
  }
  if (out_type != nullptr) *out_type = info.type;
  return result;
}

int vfs_setattr(VfsMount *mount, const char *path, uint32_t value) {
  return block_ioctl(mount, VFS_IOC_SETATTR, VfsArgPathMode{path, value});
}

int vfs_truncate(VfsMount *mount, const char *path, int64_t length) {
  return block_ioctl(mount, VFS_IOC_TRUNCATE, VfsArgTruncate{path, length});
}

int vfs_chmod(VfsMount *mount, const char *path, uint32_t mode) {
  return block_ioctl(mount, VFS_IOC_CHMOD, VfsArgPathMode{path, mode});
}

int vfs_lchmod(VfsMount *mount, const char *path, uint32_t mode) {
  return block_ioctl(mount, VFS_IOC_LCHMOD, VfsArgPathMode{path, mode});
}

int vfs_chown(VfsMount *mount, const char *path, uint32_t uid, uint32_t gid) {
  return block_ioctl(mount, VFS_IOC_CHOWN, VfsArgOwner{path, uid, gid});
}

int vfs_lchown(VfsMount *mount, const char *path, uint32_t uid, uint32_t gid) {
  return block_ioctl(mount, VFS_IOC_LCHOWN, VfsArgOwner{path, uid, gid});
}

int vfs_utime(VfsMount *mount, const char *path, const VfsTimes *times) {
  if (times == nullptr) return -1;
  return block_ioctl(mount, VFS_IOC_UTIME, VfsArgTimes{path, vfs_times_fill(*times)});
}

int vfs_lutime(VfsMount *mount, const char *path, const VfsTimes *times) {
  if (times == nullptr) return -1;
  return block_ioctl(mount, VFS_IOC_LUTIME, VfsArgTimes{path, vfs_times_fill(*times)});
}

int vfs_lgetxattr(VfsMount *mount, const char *path, const char *name, void *buf, uint32_t size) {
  return block_ioctl(mount, VFS_IOC_LGETXATTR, VfsArgGetXattr{path, name, buf, size});
}

int vfs_lsetxattr(VfsMount *mount, const char *path, const char *name, const void *value,
                  uint32_t size, int flags) {
  return block_ioctl(mount, VFS_IOC_LSETXATTR, VfsArgSetXattr{path, name, value, size, flags});
}

int vfs_lremovexattr(VfsMount *mount, const char *path, const char *name) {
  return block_ioctl(mount, VFS_IOC_LREMOVEXATTR, VfsArgXattrName{path, name});
}

int vfs_llistxattr(VfsMount *mount, const char *path, char *buf, uint32_t size) {
  return block_ioctl(mount, VFS_IOC_LLISTXATTR, VfsArgBuffer{path, buf, size});
}
