// The request loop of a mounted file system and the stop request that ends it from any thread
// or signal handler. Assumes libfuse 2.9's low-level session calls and one loop at a time.
#include "serve_loop.h"

#include "fuse2.h"

#include <fuse_lowlevel.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

// Made once and kept for the life of the process, so that a signal handler never writes to a
// descriptor that is being closed. A byte in it wakes the loop.
int g_wake[2] = {-1, -1};
volatile sig_atomic_t g_exit_requested = 0;

void drain_wake() {
  char sink[64];
  while (read(g_wake[0], sink, sizeof(sink)) > 0) {
  }
}

}  // namespace

int fuse2_loop_prepare() {
  if (g_wake[0] >= 0) return 0;
  return pipe2(g_wake, O_NONBLOCK | O_CLOEXEC);
}

void fuse2_wake_loop() {
  const char wake = 1;
  // A full pipe already holds a wake-up: nothing is lost when this write fails.
  if (g_wake[1] >= 0 && write(g_wake[1], &wake, 1) < 0) return;
}

void fuse2_request_exit() {
  g_exit_requested = 1;
  fuse2_wake_loop();
}

namespace {

// Reads one request from the device and answers it: the receive result (0 or less ends a loop).
int serve_one(fuse_session *se, fuse_chan *ch, std::vector<char> &buf) {
  fuse_buf fbuf{};
  fbuf.mem = buf.data();
  fbuf.size = buf.size();
  fuse_chan *from = ch;
  const int res = fuse_session_receive_buf(se, &fbuf, &from);
  if (res > 0) fuse_session_process_buf(se, &fbuf, from);
  return res;
}

}  // namespace

// libfuse's own session loop, except that it also waits on the stop request: a blocking read
// of the device would miss a request made on another thread or just before the read.
int fuse2_serve(fuse *fs) {
  fuse_session *se = fuse_get_session(fs);
  fuse_chan *ch = fuse_session_next_chan(se, nullptr);
  std::vector<char> buf(fuse_chan_bufsize(ch));
  pollfd fds[2] = {{fuse_chan_fd(ch), POLLIN, 0}, {g_wake[0], POLLIN, 0}};
  int res = 0;
  bool served = false;
  // A wake-up left from an earlier loop's end is not for this one; a stop request still is
  // (the flag is checked below, after the drain, so a request made meanwhile is not lost).
  if (g_exit_requested == 0) drain_wake();
  while (!fuse_session_exited(se) && g_exit_requested == 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      res = -errno;
      break;
    }
    if (fds[1].revents != 0) break;
    res = serve_one(se, ch, buf);
    if (res == -EINTR || res == -EAGAIN) continue;
    if (res <= 0) break;
    served = true;
  }
  // A stop right after the mount comes before the kernel's first request (INIT) was read:
  // libfuse frees its file-system record only for a session that saw INIT, so it is answered.
  pollfd device = {fuse_chan_fd(ch), POLLIN, 0};
  if (!served && poll(&device, 1, 0) == 1 && (device.revents & POLLIN)) (void)serve_one(se, ch, buf);
  // The request is answered by this loop's end; a later mount starts clean.
  g_exit_requested = 0;
  drain_wake();
  fuse_session_reset(se);
  return res < 0 ? -1 : 0;
}
