// A bounded line buffer for building log lines: appends are cut at LOG2_LINE_SIZE - 1
// characters and the text stays NUL-terminated.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "log2.h"

struct log_line {
  char text[LOG2_LINE_SIZE];
  size_t len = 0;

  log_line() { text[0] = '\0'; }
  bool full() const { return len >= sizeof text - 1; }
  void append(const char *part, size_t n);
  void append(const char *part);
  void appendf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
  void vappendf(const char *fmt, va_list ap);
  // Adds a final line feed when missing; a full buffer gives up its last character for it.
  void end_with_line_feed();
};
