// Test helpers for the socket tests: a loopback listener, a scripted peer thread that accepts one
// connection and runs a function on it, an echo server, and a channel owner that closes its socket.
// Everything binds 127.0.0.1 only and every wait is bounded.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "net.h"

// A channel over a handle, closed with the owner.
struct chan_owner {
  net_sock chan;
  explicit chan_owner(uint32_t sock, int timeout_ms = 1000) {
    chan.handle = sock;
    chan.timeout = timeout_ms;
  }
  ~chan_owner() { (void)net_close(&chan); }
};

// A listening TCP socket on 127.0.0.1 with a port chosen by the system.
class loopback_listener {
 public:
  explicit loopback_listener(int backlog = 8) {
    os_ipaddr addr{};
    addr.family = OS_AF_INET;
    addr.ip[0] = 127;
    addr.ip[3] = 1;
    sock_ = os_socket_init(OS_SOCKET_TCP, OS_AF_INET);
    if (sock_ && os_socket_bind(sock_, &addr) && os_socket_listen(sock_, backlog) && os_socket_local(sock_, &addr))
      port_ = addr.port;
  }
  ~loopback_listener() { os_socket_exit(sock_); }
  loopback_listener(const loopback_listener &) = delete;
  loopback_listener &operator=(const loopback_listener &) = delete;

  int port() const { return port_; }
  uint32_t sock() const { return sock_; }
  // Waits up to timeout_ms for one connection; 0 when none came.
  uint32_t accept_one(int timeout_ms = 3000) const {
    if (os_socket_wait(sock_, OS_SOCKET_READABLE, timeout_ms) <= 0) return 0;
    return os_socket_accept(sock_, nullptr);
  }

 private:
  uint32_t sock_ = 0;
  int port_ = 0;
};

// Accepts one connection on its own listener and runs script on it in a thread (joined on exit).
class scripted_peer {
 public:
  using script_fn = std::function<void(net_sock *)>;
  explicit scripted_peer(script_fn script) {
    thread_ = std::thread([this, script] {
      const uint32_t sock = listener_.accept_one();
      if (!sock) return;
      chan_owner peer(sock, 2000);
      script(&peer.chan);
    });
  }
  ~scripted_peer() { thread_.join(); }
  int port() const { return listener_.port(); }

 private:
  loopback_listener listener_;
  std::thread thread_;
};

// Echoes every byte back on each accepted connection until destroyed: the target behind a proxy.
class echo_server {
 public:
  echo_server() {
    thread_ = std::thread([this] {
      while (!stop_) {
        const uint32_t sock = listener_.accept_one(100);
        if (!sock) continue;
        chan_owner c(sock, 100);
        char buf[512];
        while (!stop_ && !c.chan.disconnected) {
          const int n = net_read(&c.chan, buf, 1);
          if (n < 0) break;
          if (n == 1 && net_write(&c.chan, buf, 1) != 1) break;
        }
      }
    });
  }
  ~echo_server() {
    stop_ = true;
    thread_.join();
  }
  int port() const { return listener_.port(); }

 private:
  loopback_listener listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Reads exactly n bytes from the channel as text ("" on failure).
inline std::string read_text(net_sock *chan, int n) {
  std::string s(size_t(n), '\0');
  const int got = net_read(chan, s.data(), n);
  return got == n ? s : std::string();
}

// A port on 127.0.0.1 with nothing listening (bound once, then released).
inline int unused_port() {
  loopback_listener l;
  return l.port();
}
