// Plain TCP link: blocking reads and writes that retry on EINTR and short counts.
#include "peer_link.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace peer {

SocketOwner::~SocketOwner() {
  if (fd_ >= 0) (void)::close(fd_);  // nothing is left to flush on a socket we are dropping
}

void SocketOwner::shutdown_both() const { (void)::shutdown(fd_, SHUT_RDWR); }

namespace {

class PlainLink final : public Link {
 public:
  explicit PlainLink(int fd) : sock_(fd) {}

  long read_full(void *buf, size_t n) override {
    size_t got = 0;
    while (got < n) {
      const ssize_t r = ::recv(sock_.fd(), static_cast<char *>(buf) + got, n - got, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return -1;
      if (r == 0) return got == 0 ? 0 : -1;
      got += size_t(r);
    }
    return long(got);
  }

  bool write_all(const void *buf, size_t n) override {
    size_t put = 0;
    while (put < n) {
      const ssize_t r = ::send(sock_.fd(), static_cast<const char *>(buf) + put, n - put, MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      put += size_t(r);
    }
    return true;
  }

  void abort() override { sock_.shutdown_both(); }

 private:
  SocketOwner sock_;
};

}  // namespace

std::unique_ptr<Link> make_plain_link(int fd) { return std::make_unique<PlainLink>(fd); }

}  // namespace peer
