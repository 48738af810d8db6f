// Captures every log line while in scope (level, function, text), for tests that check what
// was logged. Restores the standard-error fallback afterwards.
#pragma once

#include "pal_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

struct log_line {
  uint32_t level;
  std::string func;
  std::string text;
};

class log_capture {
 public:
  log_capture() {
    lines().clear();
    pal_log_set_sink(sink);
  }
  log_capture(const log_capture &) = delete;
  log_capture &operator=(const log_capture &) = delete;
  ~log_capture() { pal_log_set_sink(nullptr); }

  std::vector<log_line> taken() {
    std::lock_guard<std::mutex> hold(lock());
    return lines();
  }

 private:
  static std::vector<log_line> &lines() {
    static std::vector<log_line> all;
    return all;
  }
  static std::mutex &lock() {
    static std::mutex m;
    return m;
  }
  static int sink(uint32_t level, const char *, const char *, int, const char *func,
                  const char *fmt, va_list ap) {
    char text[8192];
    int n = vsnprintf(text, sizeof(text), fmt, ap);
    std::lock_guard<std::mutex> hold(lock());
    lines().push_back({level & 0xff, func ? func : "", text});
    return n;
  }
};
