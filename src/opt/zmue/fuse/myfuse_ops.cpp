// The operation table handed to FUSE and the state every operation shares: the one mounted
// VFS and the debug bit. Slots without an entry (getdir, utime, fsyncdir, init, destroy,
// ftruncate, fgetattr, lock, bmap, ioctl, poll, the buffer variants) stay empty.
#include "myfuse_ops.h"

#include <cerrno>
#include <cstdint>

VfsMount *g_myfuse_mount = nullptr;
int g_myfuse_debug = 0;

namespace {

int neg_errno(int eno) { return eno > 0 ? -eno : -EIO; }

fuse_operations build_operations() {
  fuse_operations ops{};
  ops.getattr = xmp_getattr;
  ops.readlink = xmp_readlink;
  ops.mknod = xmp_mknod;
  ops.mkdir = xmp_mkdir;
  ops.unlink = xmp_unlink;
  ops.rmdir = xmp_rmdir;
  ops.symlink = xmp_symlink;
  ops.rename = xmp_rename;
  ops.link = xmp_link;
  ops.chmod = xmp_chmod;
  ops.chown = xmp_chown;
  ops.truncate = xmp_truncate;
  ops.open = xmp_open;
  ops.read = xmp_read;
  ops.write = xmp_write;
  ops.statfs = xmp_statfs;
  ops.flush = xmp_flush;
  ops.release = xmp_release;
  ops.fsync = xmp_fsync;
  ops.setxattr = xmp_setxattr;
  ops.getxattr = xmp_getxattr;
  ops.listxattr = xmp_listxattr;
  ops.removexattr = xmp_removexattr;
  ops.opendir = xmp_opendir;
  ops.readdir = xmp_readdir;
  ops.releasedir = xmp_releasedir;
  ops.access = xmp_access;
  ops.create = xmp_create;
  ops.utimens = xmp_utimens;
  // Without it libfuse 2 drops every time update that leaves one of the two times alone.
  ops.flag_utime_omit_ok = 1;
  return ops;
}

}  // namespace

int myfuse_neg_errno(const VfsMount *mount) { return neg_errno(vfs_get_posix_errno(mount)); }

int myfuse_neg_errno(const VfsHandle *handle) { return neg_errno(vfs_get_posix_errno(handle)); }

VfsHandle *myfuse_file(const fuse_file_info *fi) {
  return reinterpret_cast<VfsHandle *>(static_cast<uintptr_t>(fi->fh));
}

const fuse_operations *myfuse_operations() {
  static const fuse_operations ops = build_operations();
  return &ops;
}

void myfuse_set_mount(VfsMount *mount, int debug) {
  g_myfuse_mount = mount;
  g_myfuse_debug = debug;
}
