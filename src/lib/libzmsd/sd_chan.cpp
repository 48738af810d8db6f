// Descriptor channel: poll-driven exact-count reads and writes bounded by the channel's
// time-out, so that a short count always means time-out or an orderly close by the peer.
#include "sd_chan.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "pal_env.h"

namespace {

// Waits for the event until the deadline; 1 ready, 0 time-out, -1 failure.
int chan_wait(int fd, short event, uint64_t deadline) {
  for (;;) {
    const uint64_t now = os_get_ms();
    if (now >= deadline) return 0;
    pollfd p{fd, event, 0};
    const int r = poll(&p, 1, int(deadline - now));
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return -1;
  }
}

}  // namespace

int sd_chan_read(sd_chan *chan, void *buf, int n) {
  if (chan->fd < 0 || n < 0) return -1;
  const uint64_t deadline = os_get_ms() + uint64_t(chan->timeout > 0 ? chan->timeout : 0);
  int got = 0;
  while (got < n) {
    const int w = chan_wait(chan->fd, POLLIN, deadline);
    if (w < 0) return -1;
    if (w == 0) break;
    const ssize_t r = recv(chan->fd, static_cast<char *>(buf) + got, size_t(n - got), 0);
    if (r == 0) break;
    if (r < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    got += int(r);
  }
  return got;
}

int sd_chan_write(sd_chan *chan, const void *buf, int n) {
  if (chan->fd < 0 || n < 0) return -1;
  const uint64_t deadline = os_get_ms() + uint64_t(chan->timeout > 0 ? chan->timeout : 0);
  int sent = 0;
  while (sent < n) {
    const int w = chan_wait(chan->fd, POLLOUT, deadline);
    if (w <= 0) return -1;
    const ssize_t r = send(chan->fd, static_cast<const char *>(buf) + sent, size_t(n - sent), MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    sent += int(r);
  }
  return sent;
}
