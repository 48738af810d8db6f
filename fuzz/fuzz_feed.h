// For fuzz targets of parsers that read from a channel: a socket pair whose far end already holds
// the input. Assumes socket handles are descriptor + 1, as the socket layer numbers them.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net.h"

namespace fuzz {

// A channel whose peer has written the input and shut its sending side: reads see the input and
// then an orderly close; what the code under test writes lands in the peer's receive buffer,
// which is drained and dropped. Inputs must stay below the socket buffer (libFuzzer -max_len).
class Feed {
 public:
  Feed(const uint8_t *data, size_t size) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
    peer_ = fds[1];
    chan.handle = uint32_t(fds[0]) + 1;  // socket handles are descriptor + 1
    chan.timeout = 200;
    size_t done = 0;
    while (done < size) {
      const ssize_t w = write(peer_, data + done, size - done);
      if (w <= 0) abort();
      done += size_t(w);
    }
    shutdown(peer_, SHUT_WR);
  }
  ~Feed() {
    (void)net_close(&chan);
    close(peer_);
  }
  Feed(const Feed &) = delete;
  Feed &operator=(const Feed &) = delete;

  net_sock chan;

 private:
  int peer_ = -1;
};

}  // namespace fuzz
