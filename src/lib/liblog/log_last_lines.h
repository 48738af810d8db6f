// The newest log lines kept in memory for the debug shell. Whole lines are pushed out from the
// front to make room; a line that cannot fit even then is not stored. Guarded by the context lock.
#pragma once

#include <cstddef>
#include <string>

#include "log2.h"

class log_last_lines {
 public:
  void append(const char *line, size_t len);
  std::string text() const { return std::string(text_, len_); }
  // The last stored line (without its line feed) copied into out; returns out.
  char *last_line(char *out, size_t size) const;

 private:
  char text_[LOG2_LAST_LINES_SIZE] = {};
  size_t len_ = 0;
};
