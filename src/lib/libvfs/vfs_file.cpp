// VFS file handles: open, the cached read and write paths, flush and close, and the per-handle
// operations that must see every accepted write first. Handles are used by the FUSE thread only.
#include "pal_log.h"
#include "vfs_core.h"

static const char kLogTag[] = "vfs";

namespace {

int cache_init(VfsHandle *fh) {
  if (fh->cache_ready) return 0;
  VfsMount *mount = fh->mount;
  const VfsDriver *drv = mount->driver;
  if (fh->flags & VFS_O_RDONLY) {
    if (mount->rcache_bsize != 0 && drv->read != nullptr) {
      VfsFileInfo info{};
      if (vfs_fstat(fh, &info) < 0) return -1;
      fh->rcache = vfs_rcache_create(mount->rcache_bsize, info.size, fh->drv_handle, drv->read);
      if (fh->rcache == nullptr)
        ZLOG(LOG2_WARN, "name=%s rcache of %u bytes failed, reading uncached\n", fh->name.c_str(),
             mount->rcache_bsize);
      ZLOG(LOG2_DBG, "name=%s h_rcache=%p", fh->name.c_str(), static_cast<void *>(fh->rcache));
    }
  } else if (fh->flags & VFS_O_WRONLY) {
    if (mount->wcache_bsize != 0 && drv->write != nullptr) {
      fh->wcache = vfs_wcache_create(mount->wcache_bsize, fh->drv_handle, drv->write, &mount->err);
      if (fh->wcache == nullptr)
        ZLOG(LOG2_WARN, "name=%s wcache of %u bytes failed, writing uncached\n", fh->name.c_str(),
             mount->wcache_bsize);
      ZLOG(LOG2_DBG, "name=%s h_wcache=%p", fh->name.c_str(), static_cast<void *>(fh->wcache));
    }
  }
  fh->cache_ready = 1;
  return 0;
}

// The checked handle with its pending writes flushed, or null (flush failure: error recorded).
VfsHandle *flushed(VfsHandle *fh) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr || vfs_flush_i(fh) < 0) return nullptr;
  return fh;
}

}  // namespace

VfsHandle *vfs_open(VfsMount *mount, const char *path, uint32_t vfs_flags) {
  if (vfs_valid_mount(mount) == nullptr || path == nullptr) return nullptr;
  const VfsDriver *drv = mount->driver;
  if (drv->open == nullptr) {
    vfs_slot_missing(mount, "open");
    return nullptr;
  }
  return vfs_handle_new(mount, VFS_KIND_FILE, path, vfs_flags,
                        drv->open(mount->ctx, path, vfs_flags));
}

VfsHandle *vfs_open2(VfsMount *mount, const char *path, uint32_t portable_flags, uint32_t mode) {
  if (vfs_valid_mount(mount) == nullptr || path == nullptr) return nullptr;
  const VfsDriver *drv = mount->driver;
  if (drv->open2 == nullptr) {
    vfs_slot_missing(mount, "open2");
    return nullptr;
  }
  return vfs_handle_new(mount, VFS_KIND_FILE, path, vfs_flags_from_portable(portable_flags),
                        drv->open2(mount->ctx, path, portable_flags, mode));
}

VfsHandle *vfs_wopen(VfsMount *mount, const char *path, uint32_t access, uint32_t share,
                     void *security, uint32_t disposition, uint32_t attributes, void *templ) {
  if (vfs_valid_mount(mount) == nullptr || path == nullptr) return nullptr;
  const VfsDriver *drv = mount->driver;
  if (drv->wopen == nullptr) {
    vfs_slot_missing(mount, "wopen");
    return nullptr;
  }
  void *drv_handle =
      drv->wopen(mount->ctx, path, access, share, security, disposition, attributes, templ);
  return vfs_handle_new(mount, VFS_KIND_FILE, path, vfs_flags_from_windows(access, disposition),
                        drv_handle);
}

int vfs_flush_i(VfsHandle *fh) {
  if (fh->wcache == nullptr) return 0;
  const int written = vfs_wcache_flush(fh->wcache);
  if (written < 0) return written;
  if (written > 0 && fh->rcache != nullptr) vfs_rcache_invalidate(fh->rcache);
  return written;
}

int vfs_flush(VfsHandle *fh) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr || vfs_flush_i(fh) < 0) return -1;
  const VfsDriver *drv = fh->mount->driver;
  return drv->flush != nullptr && drv->flush(fh->drv_handle) < 0 ? -1 : 0;
}

int vfs_read(VfsHandle *fh, void *buf, uint32_t size, int64_t offset) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr || cache_init(fh) != 0) return -1;
  if (vfs_flush_i(fh) < 0) return -1;
  if (fh->rcache != nullptr) return vfs_rcache_read(fh->rcache, buf, size, offset);
  const VfsDriver *drv = fh->mount->driver;
  if (drv->read == nullptr) return vfs_slot_missing(fh->mount, "read");
  return drv->read(fh->drv_handle, buf, size, offset);
}

int vfs_write(VfsHandle *fh, const void *buf, uint32_t size, int64_t offset) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr || cache_init(fh) != 0) return -1;
  if (fh->wcache != nullptr) return vfs_wcache_write(fh->wcache, buf, size, offset);
  const VfsDriver *drv = fh->mount->driver;
  if (drv->write == nullptr) return vfs_slot_missing(fh->mount, "write");
  return drv->write(fh->drv_handle, buf, size, offset);
}

int vfs_close(VfsHandle *fh) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr) return -1;
  VfsMount *mount = fh->mount;
  // The driver handle is closed even when the pending data could not be written: the kernel
  // never releases a file twice, so a handle kept open here would leak for the mount's life.
  const int flush_result = vfs_flush_i(fh);
  if (flush_result < 0)
    ZLOG(LOG2_ERR, "name=%s pending data lost: %s\n", fh->name.c_str(),
         verr_info_text(&mount->err));
  const int close_result =
      mount->driver->close != nullptr ? mount->driver->close(fh->drv_handle, 1, 2) : -1;
  vfs_list_remove(fh);
  vfs_handle_free(fh);
  return flush_result < 0 ? -1 : close_result;
}

int vfs_release(VfsHandle *fh) { return vfs_close(fh); }

int vfs_fsync(VfsHandle *fh, int datasync) {
  if (flushed(fh) == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->fsync == nullptr) return vfs_slot_missing(fh->mount, "fsync");
  return drv->fsync(fh->drv_handle, datasync);
}

int64_t vfs_lseek(VfsHandle *fh, int64_t offset, int whence) {
  if (flushed(fh) == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->lseek == nullptr) return vfs_slot_missing(fh->mount, "lseek");
  return drv->lseek(fh->drv_handle, offset, whence);
}

int vfs_fstat(VfsHandle *fh, VfsFileInfo *info) {
  if (flushed(fh) == nullptr || info == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->fstat == nullptr) return vfs_slot_missing(fh->mount, "fstat");
  return drv->fstat(fh->drv_handle, info);
}

int vfs_ftruncate(VfsHandle *fh, int64_t length) {
  if (flushed(fh) == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->ftruncate == nullptr) return vfs_slot_missing(fh->mount, "ftruncate");
  return drv->ftruncate(fh->drv_handle, length);
}

int vfs_futime(VfsHandle *fh, const VfsTimes *times) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr || times == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->futime == nullptr) return vfs_slot_missing(fh->mount, "futime");
  const VfsTimes filled = vfs_times_fill(*times);
  return drv->futime(fh->drv_handle, &filled);
}

int vfs_flock_range(VfsHandle *fh, int operation, int64_t start, int64_t length) {
  if (vfs_valid_handle(fh, VFS_KIND_FILE) == nullptr) return -1;
  const VfsDriver *drv = fh->mount->driver;
  if (drv->flock == nullptr) return vfs_slot_missing(fh->mount, "flock");
  return drv->flock(fh->drv_handle, operation, start, length);
}

int vfs_flock(VfsHandle *fh, int operation) { return vfs_flock_range(fh, operation, 0, -1); }

int vfs_funlock(VfsHandle *fh) { return vfs_flock_range(fh, VFS_LOCK_UNLOCK, 0, -1); }
