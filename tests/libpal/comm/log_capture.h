// Test helper: records every log call of the platform library while an instance lives, so a test
// can check the level, tag, source and exact text of the lines a function wrote.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "pal_log.h"

struct captured_line {
  uint32_t level;
  std::string tag;
  std::string file;
  std::string func;
  std::string text;
};

class log_capture {
 public:
  log_capture() {
    lines().clear();
    pal_log_set_sink(&record);
  }
  ~log_capture() { pal_log_set_sink(nullptr); }
  log_capture(const log_capture &) = delete;
  log_capture &operator=(const log_capture &) = delete;

  const std::vector<captured_line> &all() const { return lines(); }
  void clear() { lines().clear(); }

 private:
  static std::vector<captured_line> &lines() {
    static std::vector<captured_line> store;
    return store;
  }
  static int record(uint32_t level, const char *tag, const char *file, int, const char *func,
                    const char *fmt, va_list ap) {
    char text[8192];
    const int n = vsnprintf(text, sizeof text, fmt, ap);
    lines().push_back({level, tag ? tag : "", file ? file : "", func ? func : "", text});
    return n < 0 ? 0 : n;
  }
};
