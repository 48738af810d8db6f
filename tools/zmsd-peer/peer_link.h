// One client connection as a byte stream: a plain TCP socket or a TLS session on it. The
// connection loop reads and writes only through this, so TLS and fault injection stay out of
// the protocol code. Assumes blocking sockets; reads wait as long as the client stays.
#pragma once

#include <cstddef>
#include <memory>

namespace peer {

class Link {
 public:
  virtual ~Link() = default;
  // Reads exactly n bytes: n, 0 when the peer closed before the first byte, -1 otherwise.
  [[nodiscard]] virtual long read_full(void *buf, size_t n) = 0;
  [[nodiscard]] virtual bool write_all(const void *buf, size_t n) = 0;
  // Cuts the connection at once (no TLS close-notify), also from another thread.
  virtual void abort() = 0;
};

// Takes ownership of the connected socket.
std::unique_ptr<Link> make_plain_link(int fd);

// Closes its descriptor once; shutdown() from another thread wakes a blocked reader.
class SocketOwner {
 public:
  explicit SocketOwner(int fd) : fd_(fd) {}
  ~SocketOwner();
  SocketOwner(const SocketOwner &) = delete;
  SocketOwner &operator=(const SocketOwner &) = delete;
  int fd() const { return fd_; }
  void shutdown_both() const;

 private:
  int fd_;
};

}  // namespace peer
