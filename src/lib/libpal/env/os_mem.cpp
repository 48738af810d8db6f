// Tracked allocation: every block carries its requested size in a header in front of the caller's
// bytes, so the counters behind the shell's "show memory" view stay exact for each free.
#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pal_env.h"
#include "pal_log.h"

static const char kLogTag[] = "pal";

namespace {

// A full alignment unit, so the caller's bytes suit any type.
struct alignas(std::max_align_t) block_head {
  size_t size;
};
static_assert(sizeof(block_head) == alignof(std::max_align_t));

struct mem_counters {
  std::mutex lock;
  os_mem_stats stats{};  // guarded by lock
};

// Never destroyed: blocks may still be freed by static destructors at process exit.
mem_counters &counters() {
  static mem_counters *c = new mem_counters;
  return *c;
}

block_head *head_of(void *block) { return static_cast<block_head *>(block) - 1; }

void count_alloc(size_t size) {
  mem_counters &c = counters();
  std::lock_guard<std::mutex> guard(c.lock);
  os_mem_stats &s = c.stats;
  s.malloc_count += 1;
  s.malloc_bytes += size;
  s.malloc_max_size = std::max<uint32_t>(s.malloc_max_size, std::min<size_t>(size, UINT32_MAX));
  s.malloc_max_count = std::max(s.malloc_max_count, s.malloc_count);
  s.malloc_max_bytes = std::max(s.malloc_max_bytes, s.malloc_bytes);
}

void count_free(size_t size) {
  mem_counters &c = counters();
  std::lock_guard<std::mutex> guard(c.lock);
  os_mem_stats &s = c.stats;
  if (s.malloc_count > 0) s.malloc_count -= 1;
  s.malloc_bytes = s.malloc_bytes > size ? s.malloc_bytes - size : 0;
}

int os_vasprintf_imp(char **out, const char *fmt, va_list ap) {
  va_list measure;
  va_copy(measure, ap);
  const int len = vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (len < 0) {
    ZLOG(LOG2_ERR, "fmt=%s vsnprintf failed\n", fmt);
    return -1;
  }
  char *text = static_cast<char *>(os_malloc(static_cast<size_t>(len) + 1));
  if (!text) return -1;
  if (vsnprintf(text, static_cast<size_t>(len) + 1, fmt, ap) != len) {
    ZLOG(LOG2_ERR, "fmt=%s vsnprintf2 failed\n", fmt);
    os_free(text);
    return -1;
  }
  *out = text;
  return len;
}

}  // namespace

void *os_malloc(size_t size) {
  void *raw = size <= SIZE_MAX - sizeof(block_head) ? malloc(sizeof(block_head) + size) : nullptr;
  if (!raw) {
    ZLOG(LOG2_ERR, "size=%u malloc failed\n", static_cast<unsigned>(size));
    return nullptr;
  }
  block_head *head = static_cast<block_head *>(raw);
  head->size = size;
  count_alloc(size);
  return head + 1;
}

void *os_zalloc(size_t size) {
  void *block = os_malloc(size);
  if (block) memset(block, 0, size);
  return block;
}

void *os_calloc(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) {
    ZLOG(LOG2_ERR, "count=%u size=%u calloc overflow\n", static_cast<unsigned>(count),
         static_cast<unsigned>(size));
    return nullptr;
  }
  return os_zalloc(count * size);
}

void *os_realloc(void *block, size_t size) {
  if (!block) return os_malloc(size);
  if (size == 0) {
    os_free(block);
    return nullptr;
  }
  const size_t recorded = head_of(block)->size;
  if (size <= recorded) return block;
  void *grown = os_malloc(size);
  if (!grown) return nullptr;  // the old block stays valid, as with realloc
  memcpy(grown, block, recorded);
  os_free(block);
  return grown;
}

char *os_strdup(const char *text) {
  return text ? os_strndup(text, strlen(text)) : nullptr;
}

char *os_strndup(const char *text, size_t n) {
  if (!text) return nullptr;
  const size_t len = strnlen(text, n);
  char *copy = static_cast<char *>(os_malloc(len + 1));
  if (!copy) return nullptr;
  memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

int os_asprintf(char **out, const char *fmt, ...) {
  if (!out) return -1;
  *out = nullptr;
  if (!fmt) return -1;
  va_list ap;
  va_start(ap, fmt);
  const int len = os_vasprintf_imp(out, fmt, ap);
  va_end(ap);
  return len;
}

void os_free(void *block) {
  if (!block) return;
  block_head *head = head_of(block);
  count_free(head->size);
  free(head);
}

os_mem_stats os_mem_get_stats() {
  mem_counters &c = counters();
  std::lock_guard<std::mutex> guard(c.lock);
  return c.stats;
}

char *os_mem_stats_text() {
  const os_mem_stats s = os_mem_get_stats();
  char *text = nullptr;
  if (os_asprintf(&text,
                  "malloc_count=%llu\nmalloc_bytes=%llu\nmalloc_max_size=%u\n"
                  "malloc_max_count=%llu\nmalloc_max_bytes=%llu\n",
                  static_cast<unsigned long long>(s.malloc_count),
                  static_cast<unsigned long long>(s.malloc_bytes), s.malloc_max_size,
                  static_cast<unsigned long long>(s.malloc_max_count),
                  static_cast<unsigned long long>(s.malloc_max_bytes)) < 0) {
    return nullptr;
  }
  return text;
}
