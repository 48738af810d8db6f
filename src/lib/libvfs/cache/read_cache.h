// Read cache of one read-only file handle: one buffer that turns many small sequential reads
// into one large driver read. Owned by its handle; no lock (only the FUSE thread uses handles).
#pragma once

#include <cstdint>

#include "vfs.h"

using VfsReadFn = int (*)(void *fh, void *buf, uint32_t size, int64_t offset);

struct VfsReadCache;

// file_size: the file's size when the handle was opened; reads never go beyond it.
VfsReadCache *vfs_rcache_create(uint32_t capacity, int64_t file_size, void *fh, VfsReadFn read);
// Bytes delivered (0 at the end of the file) or -1 when the driver failed.
int vfs_rcache_read(VfsReadCache *cache, void *buf, uint32_t size, int64_t offset);
void vfs_rcache_invalidate(VfsReadCache *cache);
void vfs_rcache_destroy(VfsReadCache *cache);  // no driver call
