// Allocation shared by the two caches: the record and its one buffer, both tracked memory, made
// once when the cache is created and released together.
#pragma once

#include <cstdint>

#include "pal_env.h"

// A zeroed cache record with a buffer of `capacity` bytes, or null when either allocation fails.
template <typename Cache>
Cache *cache_alloc(uint32_t capacity) {
  auto *cache = static_cast<Cache *>(os_zalloc(sizeof(Cache)));
  if (cache == nullptr) return nullptr;
  cache->buffer = static_cast<uint8_t *>(os_malloc(capacity));
  if (cache->buffer == nullptr) {
    os_free(cache);
    return nullptr;
  }
  cache->capacity = capacity;
  return cache;
}

template <typename Cache>
void cache_free(Cache *cache) {
  if (cache == nullptr) return;
  os_free(cache->buffer);
  os_free(cache);
}
