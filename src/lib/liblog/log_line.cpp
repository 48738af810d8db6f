// Bounded appends for log lines; formatting goes straight into the free room.
#include "log_line.h"

#include <cstdio>
#include <cstring>

void log_line::append(const char *part, size_t n) {
  const size_t room = sizeof text - 1 - len;
  if (n > room) n = room;
  memcpy(text + len, part, n);
  len += n;
  text[len] = '\0';
}

void log_line::append(const char *part) { append(part, strlen(part)); }

void log_line::appendf(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vappendf(fmt, ap);
  va_end(ap);
}

void log_line::vappendf(const char *fmt, va_list ap) {
  const size_t room = sizeof text - len;
  const int n = vsnprintf(text + len, room, fmt, ap);
  if (n < 0) {
    text[len] = '\0';
    return;
  }
  len += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
}

void log_line::end_with_line_feed() {
  if (len > 0 && text[len - 1] == '\n') return;
  if (full()) {
    text[len - 1] = '\n';
  } else {
    append("\n", 1);
  }
}
