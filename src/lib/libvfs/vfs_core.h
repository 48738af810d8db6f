// Private records of the VFS core: the mount and handle records behind the opaque public types,
// their validity checks and the driver registry. Shared by the core's source files only.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cache/read_cache.h"
#include "cache/write_cache.h"
#include "vfs.h"

// Common head of every VFS record; magic is cleared when the record is released.
struct VfsHead {
  uint32_t magic = VFS_MAGIC;
  uint32_t kind;
};

struct VfsMount {
  VfsHead head{VFS_MAGIC, VFS_KIND_MOUNT};
  void *ctx = nullptr;
  const VfsDriver *driver = nullptr;
  verr_info err{};
  std::mutex lock;
  std::vector<VfsHandle *> files;  // guarded by lock
  std::vector<VfsHandle *> dirs;   // guarded by lock
  uint32_t wcache_bsize = 0;
  uint32_t rcache_bsize = 0;
  std::string mnt_dir;
};

struct VfsHandle {
  VfsHead head;
  uint32_t flags = 0;
  void *drv_handle = nullptr;
  VfsMount *mount = nullptr;
  std::string name;
  VfsWriteCache *wcache = nullptr;
  VfsReadCache *rcache = nullptr;
  uint32_t cache_ready = 0;
};

// The mount when the record is a valid mount, else null.
VfsMount *vfs_valid_mount(VfsMount *mount);
// The handle when it is valid, of the given kind and on a valid mount, else null.
VfsHandle *vfs_valid_handle(VfsHandle *handle, uint32_t kind);

// Records that an operation found its driver slot empty, and gives the slot's failure value.
int vfs_slot_missing(VfsMount *mount, const char *op);

// A new handle of `kind` for the driver handle `drv_handle` (null: the driver failed, no handle),
// registered in its mount's list under the lock.
VfsHandle *vfs_handle_new(VfsMount *mount, uint32_t kind, const char *path, uint32_t flags,
                          void *drv_handle);
// Removal from the mount's list under the lock.
void vfs_list_remove(VfsHandle *handle);
// Clears the magic and frees the handle and its caches (no driver call).
void vfs_handle_free(VfsHandle *handle);

// Writes the handle's pending write-cache data (0 without a write cache); invalidates the read
// cache after a flush that wrote data. Driver result or -1.
int vfs_flush_i(VfsHandle *fh);

// Replaces unset entries (seconds 0) with the current time.
VfsTimes vfs_times_fill(const VfsTimes &times);

// The registry: drivers probed from the last registered to the first.
const VfsDriver *vfs_find_driver(const char *url);
