// The syslog sink: a client that sends each line as one BSD-syslog message over UDP or TCP
// (URL scheme "tcp"), opening its socket at the first write and reopening once when a send fails.
// Not thread-safe: the context lock guards every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where the client sends to, parsed from its URL without touching the client.
struct log_syslog_target {
  std::string url;
  std::string host;
  uint16_t port = 0;  // 0: the protocol's default service
  bool tcp = false;
};
// 0, or -1 when the URL does not parse (the caller logs it).
[[nodiscard]] int log_syslog_parse(const char *url, log_syslog_target *out);

class log_syslog_client {
 public:
  log_syslog_client() = default;
  log_syslog_client(const log_syslog_client &) = delete;
  log_syslog_client &operator=(const log_syslog_client &) = delete;
  ~log_syslog_client() { close(); }

  // Takes the new target and closes any open socket; the next write opens it.
  void configure(const log_syslog_target &target);
  // Sends the full line (its time prefix removed according to the tag mask).
  void write(int level, const char *tag, const char *line, size_t len, uint32_t flags);
  void close();

 private:
  enum : int { kOff = 0, kConfigured = 1, kOpen = 2 };
  void open();
  [[nodiscard]] bool send_all(const char *data, size_t len);

  log_syslog_target target_;
  int state_ = kOff;
  int fd_ = -1;
};
