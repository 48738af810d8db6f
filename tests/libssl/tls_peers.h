// Real peers for the TLS channel tests, all on 127.0.0.1: a self-signed RSA certificate made by
// openssl in a temp dir, a socat TLS server (not our code) in front of a plain TCP backend that
// the test scripts, and raw TCP peers that misbehave during the handshake.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// A temp dir holding server.pem (key and certificate); removed with the object.
class test_cert {
 public:
  test_cert();
  ~test_cert();
  test_cert(const test_cert &) = delete;
  test_cert &operator=(const test_cert &) = delete;
  bool ok() const { return ok_; }
  const std::string &dir() const { return dir_; }
  std::string pem() const { return dir_ + "/server.pem"; }

 private:
  std::string dir_;
  bool ok_ = false;
};

// Accepts connections on 127.0.0.1 one after another and hands each to the handler, which
// owns the descriptor until it returns (it is closed afterwards) and returns soon once stop is set.
class tcp_peer {
 public:
  using handler = std::function<void(int fd, const std::atomic<bool> &stop)>;
  explicit tcp_peer(handler on_connection);
  ~tcp_peer();
  tcp_peer(const tcp_peer &) = delete;
  tcp_peer &operator=(const tcp_peer &) = delete;
  int port() const { return port_; }

 private:
  void serve();
  handler on_connection_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// socat OPENSSL-LISTEN on a free 127.0.0.1 port relaying one connection to backend_port.
// cipher empty: OpenSSL's default list. Stopped by PID with the object.
class socat_tls_server {
 public:
  socat_tls_server(const test_cert &cert, int backend_port, const std::string &cipher);
  ~socat_tls_server();
  socat_tls_server(const socat_tls_server &) = delete;
  socat_tls_server &operator=(const socat_tls_server &) = delete;
  bool ok() const { return port_ != 0; }
  int port() const { return port_; }
  std::string log_text() const;  // socat's diagnostics, for failure messages

 private:
  void stop();
  std::string log_path_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// Peer helpers for handlers: all bounded by timeout_ms.
bool peer_read_exact(int fd, void *buf, size_t n, int timeout_ms);
bool peer_write_all(int fd, const void *buf, size_t n);
// True when the connection reaches end of stream within timeout_ms (data before it is dropped).
bool peer_wait_eof(int fd, int timeout_ms);
