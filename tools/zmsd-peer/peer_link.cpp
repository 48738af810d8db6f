// Plain TCP link: blocking reads and writes that retry on EINTR and short counts. Reads go
// through a small buffer, so that a frame head and the message behind it cost one receive.
#include "peer_link.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    auto *out = static_cast<char *>(buf);
    size_t got = take_buffered(out, n);
    while (got < n) {
      // Large reads go straight into the caller's buffer; small ones fill ours first.
      const bool direct = n - got >= sizeof ahead_;
      const ssize_t r = direct ? ::recv(sock_.fd(), out + got, n - got, 0)
                               : ::recv(sock_.fd(), ahead_, sizeof ahead_, 0);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return -1;
      if (r == 0) return got == 0 ? 0 : -1;
      if (direct) {
        got += size_t(r);
      } else {
        ahead_len_ = size_t(r);
        got += take_buffered(out + got, n - got);
      }
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
  size_t take_buffered(char *out, size_t n) {
    const size_t k = std::min(n, ahead_len_ - ahead_pos_);
    memcpy(out, ahead_ + ahead_pos_, k);
    ahead_pos_ += k;
    if (ahead_pos_ == ahead_len_) ahead_pos_ = ahead_len_ = 0;
    return k;
  }

  SocketOwner sock_;
  char ahead_[16384];
  size_t ahead_pos_ = 0;
  size_t ahead_len_ = 0;
};

}  // namespace

std::unique_ptr<Link> make_plain_link(int fd) { return std::make_unique<PlainLink>(fd); }

}  // namespace peer
