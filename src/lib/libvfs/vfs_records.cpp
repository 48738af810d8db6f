// Validity checks and life of the VFS records: every call checks magic and kind before it
// touches a record; the mount's lock guards its two handle lists (insert, remove, dump).
#include <algorithm>

#include "vfs_core.h"

VfsMount *vfs_valid_mount(VfsMount *mount) {
  if (mount == nullptr || mount->head.magic != VFS_MAGIC || mount->head.kind != VFS_KIND_MOUNT)
    return nullptr;
  return mount;
}

VfsHandle *vfs_valid_handle(VfsHandle *handle, uint32_t kind) {
  if (handle == nullptr || handle->head.magic != VFS_MAGIC || handle->head.kind != kind)
    return nullptr;
  if (vfs_valid_mount(handle->mount) == nullptr) return nullptr;
  return handle;
}

int vfs_slot_missing(VfsMount *mount, const char *op) {
  // Without a record the caller would read a stale (or zero) code and could report success.
  VERR_SET(&mount->err, VERR_NOT_SUPPORTED, "drv [%s] has no %s", mount->driver->name, op);
  return -1;
}

VfsHandle *vfs_handle_new(VfsMount *mount, uint32_t kind, const char *path, uint32_t flags,
                          void *drv_handle) {
  if (drv_handle == nullptr) return nullptr;
  auto *handle = new VfsHandle;
  handle->head.kind = kind;
  handle->flags = flags;
  handle->drv_handle = drv_handle;
  handle->mount = mount;
  handle->name = path;
  std::lock_guard<std::mutex> guard(mount->lock);
  (kind == VFS_KIND_FILE ? mount->files : mount->dirs).push_back(handle);
  return handle;
}

void vfs_list_remove(VfsHandle *handle) {
  VfsMount *mount = handle->mount;
  std::lock_guard<std::mutex> guard(mount->lock);
  auto &list = handle->head.kind == VFS_KIND_FILE ? mount->files : mount->dirs;
  list.erase(std::remove(list.begin(), list.end(), handle), list.end());
}

void vfs_handle_free(VfsHandle *handle) {
  handle->head.magic = 0;
  vfs_wcache_destroy(handle->wcache);
  vfs_rcache_destroy(handle->rcache);
  delete handle;
}
