// Write cache: contiguous writes are gathered in one buffer and written with one driver call;
// a write that does not continue the buffer writes it out first. Pending bytes are dropped only
// once the driver has taken them: a short write is retried, a failure keeps the rest pending.
#include "write_cache.h"

#include <cstring>

#include "cache_alloc.h"

struct VfsWriteCache {
  uint8_t *buffer;
  uint32_t capacity;
  uint32_t used;  // pending bytes; 0 = empty
  int64_t start;  // file offset of buffer[0]
  void *fh;
  VfsWriteFn write;
  verr_info *err;
};

VfsWriteCache *vfs_wcache_create(uint32_t capacity, void *fh, VfsWriteFn write, verr_info *err) {
  if (capacity == 0 || write == nullptr) return nullptr;
  auto *cache = cache_alloc<VfsWriteCache>(capacity);
  if (cache == nullptr) return nullptr;
  cache->fh = fh;
  cache->write = write;
  cache->err = err;
  return cache;
}

namespace {

void restart(VfsWriteCache *cache, const void *buf, uint32_t size, int64_t offset) {
  cache->start = offset;
  memcpy(cache->buffer, buf, size);
  cache->used = size;
}

// Keeps the bytes the driver has not taken as the new pending range.
void keep_rest(VfsWriteCache *cache, uint32_t written) {
  memmove(cache->buffer, cache->buffer + written, cache->used - written);
  cache->start += written;
  cache->used -= written;
}

}  // namespace

int vfs_wcache_flush(VfsWriteCache *cache) {
  uint32_t written = 0;
  while (written < cache->used) {
    const uint32_t rest = cache->used - written;
    const int n = cache->write(cache->fh, cache->buffer + written, rest, cache->start + written);
    if (n <= 0) {
      // A driver that takes nothing without an error would make this loop spin forever.
      if (n == 0)
        VERR_SET(cache->err, VERR_WRITE_ERROR, "write of %u bytes at %lld took none", rest,
                 static_cast<long long>(cache->start + written));
      keep_rest(cache, written);
      return -1;
    }
    written += static_cast<uint32_t>(n) < rest ? static_cast<uint32_t>(n) : rest;
  }
  cache->used = 0;
  return static_cast<int>(written);
}

int vfs_wcache_write(VfsWriteCache *cache, const void *buf, uint32_t size, int64_t offset) {
  if (size >= cache->capacity) {
    if (vfs_wcache_flush(cache) < 0) return -1;
    return cache->write(cache->fh, buf, size, offset);
  }
  if (cache->used == 0) {
    restart(cache, buf, size, offset);
  } else if (offset == cache->start + cache->used && cache->used + size <= cache->capacity) {
    memcpy(cache->buffer + cache->used, buf, size);
    cache->used += size;
  } else {
    if (vfs_wcache_flush(cache) < 0) return -1;
    restart(cache, buf, size, offset);
  }
  return static_cast<int>(size);
}

void vfs_wcache_destroy(VfsWriteCache *cache) { cache_free(cache); }
