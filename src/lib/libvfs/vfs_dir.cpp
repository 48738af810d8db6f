// VFS directory handles: open, read, position and close a driver directory, registered in the
// mount's directory list like file handles are in its file list.
#include <cstring>

#include "vfs_core.h"

VfsHandle *vfs_opendir(VfsMount *mount, const char *path, const char *pattern) {
  if (vfs_valid_mount(mount) == nullptr || path == nullptr) return nullptr;
  const VfsDriver *drv = mount->driver;
  if (drv->opendir == nullptr) {
    vfs_slot_missing(mount, "opendir");
    return nullptr;
  }
  return vfs_handle_new(mount, VFS_KIND_DIR, path, 0, drv->opendir(mount->ctx, path, pattern));
}

VfsDirEntry *vfs_readdir(VfsHandle *dh) {
  if (vfs_valid_handle(dh, VFS_KIND_DIR) == nullptr) return nullptr;
  const VfsDriver *drv = dh->mount->driver;
  if (drv->readdir == nullptr) {
    vfs_slot_missing(dh->mount, "readdir");
    return nullptr;
  }
  return drv->readdir(dh->drv_handle);
}

void vfs_seekdir(VfsHandle *dh, int64_t pos) {
  if (vfs_valid_handle(dh, VFS_KIND_DIR) == nullptr) return;
  const VfsDriver *drv = dh->mount->driver;
  if (drv->seekdir == nullptr) {
    vfs_slot_missing(dh->mount, "seekdir");
    return;
  }
  drv->seekdir(dh->drv_handle, pos);
}

int64_t vfs_telldir(VfsHandle *dh) {
  if (vfs_valid_handle(dh, VFS_KIND_DIR) == nullptr) return -1;
  const VfsDriver *drv = dh->mount->driver;
  if (drv->telldir == nullptr) return vfs_slot_missing(dh->mount, "telldir");
  return drv->telldir(dh->drv_handle);
}

int vfs_closedir(VfsHandle *dh) {
  if (vfs_valid_handle(dh, VFS_KIND_DIR) == nullptr) return -1;
  const VfsDriver *drv = dh->mount->driver;
  const int result = drv->closedir != nullptr ? drv->closedir(dh->drv_handle)
                                              : vfs_slot_missing(dh->mount, "closedir");
  vfs_list_remove(dh);
  vfs_handle_free(dh);
  return result;
}

int vfs_dir_is_empty(VfsMount *mount, const char *path) {
  VfsHandle *dh = vfs_opendir(mount, path, nullptr);
  if (dh == nullptr) return -1;
  int empty = 1;
  while (const VfsDirEntry *entry = vfs_readdir(dh)) {
    if (strcmp(entry->name, ".") != 0 && strcmp(entry->name, "..") != 0) {
      empty = 0;
      break;
    }
  }
  if (vfs_closedir(dh) != 0) return -1;
  return empty;
}
