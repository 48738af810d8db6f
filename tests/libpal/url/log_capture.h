// Test helper: installs a log sink that keeps every formatted line, so tests can check the
// exact text a refusal produced. One capture at a time; it restores the default on scope exit.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "pal_log.h"

class LogCapture {
 public:
  LogCapture() {
    lines().clear();
    pal_log_set_sink(&LogCapture::sink);
  }
  ~LogCapture() { pal_log_set_sink(nullptr); }
  LogCapture(const LogCapture &) = delete;
  LogCapture &operator=(const LogCapture &) = delete;

  static std::vector<std::string> &lines() {
    static std::vector<std::string> kept;
    return kept;
  }
  static std::vector<std::string> &tags() {
    static std::vector<std::string> kept;
    return kept;
  }

 private:
  static int sink(uint32_t level, const char *tag, const char *, int, const char *,
                  const char *fmt, va_list ap) {
    char text[16384];
    const int n = vsnprintf(text, sizeof text, fmt, ap);
    lines().push_back(std::to_string(level & 0xff) + " " + text);
    tags().push_back(tag ? tag : "");
    return n;
  }
};
