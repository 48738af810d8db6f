// The syslog sink: a client that sends each line as one BSD-syslog message over UDP or TCP
// (URL scheme "tcp"), opening its socket at the first write and reopening once when a send fails.
// Not thread-safe: the context lock guards every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class log_syslog_client {
 public:
  log_syslog_client() = default;
  log_syslog_client(const log_syslog_client &) = delete;
  log_syslog_client &operator=(const log_syslog_client &) = delete;
  ~log_syslog_client() { close(); }

  // Keeps and parses the target URL; 0, or -1 when it does not parse (the caller logs it).
  [[nodiscard]] int configure(const char *url);
  // Sends the full line (its time prefix removed according to the tag mask).
  void write(int level, const char *tag, const char *line, size_t len, uint32_t flags);
  void close();

 private:
  enum : int { kOff = 0, kConfigured = 1, kOpen = 2 };
  void open();
  [[nodiscard]] bool send_all(const char *data, size_t len);

  std::string url_;
  std::string host_;
  uint16_t port_ = 0;  // 0: the protocol's default service
  bool tcp_ = false;
  int state_ = kOff;
  int fd_ = -1;
};
