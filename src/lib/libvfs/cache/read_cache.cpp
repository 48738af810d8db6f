// Read cache: sequential reads are served from one buffer refilled by a single driver read per
// buffer length; anything else empties the buffer. The buffer is tracked memory, allocated once.
#include "read_cache.h"

#include <algorithm>
#include <cstring>

#include "cache_alloc.h"

struct VfsReadCache {
  uint32_t capacity;
  uint8_t *buffer;
  uint32_t pos;  // bytes of the buffer already handed out
  uint32_t len;  // valid bytes; 0 = empty
  int64_t file_size;
  int64_t base;  // file offset of buffer[0]
  void *fh;
  VfsReadFn read;
};

VfsReadCache *vfs_rcache_create(uint32_t capacity, int64_t file_size, void *fh, VfsReadFn read) {
  if (capacity == 0 || read == nullptr) return nullptr;
  auto *cache = cache_alloc<VfsReadCache>(capacity);
  if (cache == nullptr) return nullptr;
  cache->file_size = file_size;
  cache->fh = fh;
  cache->read = read;
  return cache;
}

namespace {

// Loads up to `amount` bytes at `offset`. A driver may return less than asked before the end of
// the file; the rest is asked for again, so a short answer never reaches FUSE (which would fill
// the gap with zeros). A read of 0 bytes is the end of the file.
int fill(VfsReadCache *cache, uint32_t amount, int64_t offset) {
  uint32_t got = 0;
  while (got < amount) {
    const int n = cache->read(cache->fh, cache->buffer + got, amount - got, offset + got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += std::min(static_cast<uint32_t>(n), amount - got);
  }
  return static_cast<int>(got);
}

}  // namespace

int vfs_rcache_read(VfsReadCache *cache, void *buf, uint32_t size, int64_t offset) {
  if (size >= cache->capacity) {
    cache->len = 0;
    return cache->read(cache->fh, buf, size, offset);
  }
  auto *dst = static_cast<uint8_t *>(buf);
  uint32_t done = 0;
  if (cache->len != 0) {
    if (offset == cache->base + cache->pos) {
      const uint32_t n = std::min(size, cache->len - cache->pos);
      memcpy(dst, cache->buffer + cache->pos, n);
      cache->pos += n;
      if (cache->pos == cache->len) cache->len = 0;
      done = n;
      if (done == size) return static_cast<int>(done);
      offset += n;
    } else {
      cache->len = 0;
    }
  }
  if (offset >= cache->file_size) return static_cast<int>(done);
  const auto amount =
      static_cast<uint32_t>(std::min<int64_t>(cache->capacity, cache->file_size - offset));
  const int got = fill(cache, amount, offset);
  if (got < 0) return -1;
  const uint32_t wanted = size - done;
  const uint32_t n = std::min(wanted, static_cast<uint32_t>(got));
  memcpy(dst + done, cache->buffer, n);
  cache->pos = n;
  cache->base = offset;
  cache->len = n == static_cast<uint32_t>(got) ? 0 : static_cast<uint32_t>(got);
  return static_cast<int>(done + n);
}

void vfs_rcache_invalidate(VfsReadCache *cache) { cache->len = 0; }

void vfs_rcache_destroy(VfsReadCache *cache) { cache_free(cache); }
