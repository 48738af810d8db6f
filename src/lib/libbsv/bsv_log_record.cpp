// The type-1 log record of one log call: a 21-byte little-endian head and six texts that share
// a fixed budget. Built on the caller's stack for every call that passes the level filter.
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "bsv.h"
#include "bsv_bytes.h"
#include "pal_env.h"
#include "pal_url.h"

namespace {

constexpr size_t kThreadNameSize = 300;  // registered names are up to 255 characters plus "_<tid>"

// Appends texts while the budget lasts; the one that reaches the end is cut, later ones dropped.
class text_packer {
 public:
  explicit text_packer(uint8_t *at, size_t room) : at_(at), room_(room) {}
  void add(const char *text) {
    if (room_ == 0) return;
    const size_t len = strnlen(text ? text : "", room_ - 1);
    memcpy(at_ + used_, text ? text : "", len);
    at_[used_ + len] = '\0';
    used_ += len + 1;
    room_ -= len + 1;
  }
  size_t used() const { return used_; }

 private:
  uint8_t *at_;
  size_t room_;
  size_t used_ = 0;
};

const char *without_source_root(const char *file) {
  if (file && str_has_prefix(file, BSV_SOURCE_ROOT)) return file + sizeof BSV_SOURCE_ROOT - 1;
  return file;
}

}  // namespace

static_assert(BSV_LOG_HEAD_SIZE == 8 + 4 + 4 + 4 + 1, "head: sec, usec, pid, tid, level");

size_t bsv_log_record_build(bsv_log_record *out, uint32_t level_arg, const char *tag,
                            const char *file, int line, const char *func, const char *msg) {
  timeval now{};
  gettimeofday(&now, nullptr);
  uint8_t *p = out->data;
  bsv_put_uint(p, static_cast<uint64_t>(now.tv_sec), 8, false);
  bsv_put_uint(p + 8, static_cast<uint64_t>(now.tv_usec), 4, false);
  bsv_put_uint(p + 12, static_cast<uint32_t>(getpid()), 4, false);
  bsv_put_uint(p + 16, static_cast<uint32_t>(os_gettid()), 4, false);
  p[20] = static_cast<uint8_t>(level_arg & 0xff);

  char thread_name[kThreadNameSize];
  os_thread_name_get(thread_name, sizeof thread_name);
  char line_text[16];
  snprintf(line_text, sizeof line_text, "%d", line);
  text_packer texts(p + BSV_LOG_HEAD_SIZE, BSV_LOG_TEXTS_MAX);
  for (const char *text : {tag, static_cast<const char *>(thread_name), without_source_root(file),
                           static_cast<const char *>(line_text), func, msg})
    texts.add(text);
  out->len = BSV_LOG_HEAD_SIZE + texts.used();
  return out->len;
}

void bsv_log_record_cut(bsv_log_record *record, size_t max_len) {
  if (max_len <= BSV_LOG_HEAD_SIZE || record->len <= max_len) return;
  record->len = max_len;
  record->data[max_len - 1] = '\0';
}
