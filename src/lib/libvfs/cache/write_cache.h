// Write cache of one write-only file handle: one buffer that coalesces small sequential writes
// into one large driver write. Owned by its handle; no lock (only the FUSE thread uses handles).
#pragma once

#include <cstdint>

#include "vfs.h"

using VfsWriteFn = int (*)(void *fh, const void *buf, uint32_t size, int64_t offset);

struct VfsWriteCache;

// err: the mount's error record, filled when a flush cannot make progress. Null when the
// buffer cannot be allocated.
VfsWriteCache *vfs_wcache_create(uint32_t capacity, void *fh, VfsWriteFn write, verr_info *err);
// size accepted, or -1 when a flush that had to happen first failed.
int vfs_wcache_write(VfsWriteCache *cache, const void *buf, uint32_t size, int64_t offset);
// Writes everything pending, retrying short writes: bytes written (0 when nothing was pending),
// or -1 with the unwritten rest still pending.
[[nodiscard]] int vfs_wcache_flush(VfsWriteCache *cache);
// Frees the cache without a driver call: the owner flushes before it closes the driver handle.
void vfs_wcache_destroy(VfsWriteCache *cache);
