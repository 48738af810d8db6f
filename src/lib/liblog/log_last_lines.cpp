// Last-lines buffer: a fixed text with room for LOG2_LAST_LINES_SIZE - 1 characters.
// Lines arrive finished with a line feed, so the text always splits at whole lines.
#include "log_last_lines.h"

#include <cstring>

namespace {
constexpr size_t kCapacity = LOG2_LAST_LINES_SIZE - 1;  // one byte for the NUL
}  // namespace

void log_last_lines::append(const char *line, size_t len) {
  if (len > kCapacity) return;
  size_t drop = 0;
  while (len_ - drop + len > kCapacity) {
    const void *feed = memchr(text_ + drop, '\n', len_ - drop);
    if (!feed) return;  // no whole line left to push out: the new line is not stored
    drop = static_cast<const char *>(feed) - text_ + 1;
  }
  if (drop > 0) {
    memmove(text_, text_ + drop, len_ - drop);
    len_ -= drop;
  }
  memcpy(text_ + len_, line, len);
  len_ += len;
  text_[len_] = '\0';
}

char *log_last_lines::last_line(char *out, size_t size) const {
  if (size == 0) return out;
  size_t end = len_;
  if (end > 0 && text_[end - 1] == '\n') --end;
  size_t begin = end;
  while (begin > 0 && text_[begin - 1] != '\n') --begin;
  const size_t n = end - begin < size - 1 ? end - begin : size - 1;
  memcpy(out, text_ + begin, n);
  out[n] = '\0';
  return out;
}
