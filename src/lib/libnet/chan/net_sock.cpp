// The channel: reads and writes of n bytes bounded by the channel's time-out, over a socket (plain
// or through the TLS hooks) or the standard streams. A short count means a time-out or an orderly
// close by the peer, after which the channel fails at once; -1 means failure, abort or stop.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "net.h"
#include "pal_env.h"
#include "pal_log.h"
#include "proxy/proxy_steps.h"

static const char kLogTag[] = "net";

namespace {

constexpr int kReadWaitMs = 300;
constexpr int kWriteWaitMs = 500;

net_read_fn g_ssl_read_proc = nullptr;
net_write_fn g_ssl_write_proc = nullptr;

bool is_socket(const net_sock *chan) { return chan->type == NET_SOCK_SOCKET || chan->type == 1; }

// Milliseconds left of the channel's time-out since start, 0 when it has passed.
int remaining_ms(const net_sock *chan, uint64_t start) {
  const int64_t left = int64_t(chan->timeout) - int64_t(os_get_ms() - start);
  return left > 0 ? int(left) : 0;
}

// What tells a read from a write in the one transfer loop below.
struct transfer_rules {
  int (*io)(uint32_t sock, char *buf, int n);
  int event;
  int wait_ms;                // longest single wait, so that abort and stop are seen in time
  uint32_t disconnect_level;  // of the "_disconnect!!" line
  const char *error_format;   // logged with errno and its text when the system call fails
  bool polls_stop;
  bool wait_failure_fails;    // a failed wait: -1, else the count so far
  bool partial;               // return once any bytes moved
};

int recv_io(uint32_t sock, char *buf, int n) { return os_socket_recv(sock, buf, n); }

const transfer_rules kReadRules = {
    recv_io, OS_SOCKET_READABLE, kReadWaitMs, LOG2_VERB, "socket_recv error [%d] [%s]\n", true, false, false};
const transfer_rules kReadSomeRules = {
    recv_io, OS_SOCKET_READABLE, kReadWaitMs, LOG2_VERB, "socket_recv error [%d] [%s]\n", true, false, true};
const transfer_rules kWriteRules = {
    [](uint32_t sock, char *buf, int n) { return os_socket_send(sock, buf, n); },
    OS_SOCKET_WRITABLE, kWriteWaitMs, LOG2_DBG, "socket_send error [%d] [%s]\n", false, true, false};

// Moves n bytes within the channel's time-out. A transfer of 0 bytes with errno still 0 after the
// wait reported the socket ready means the peer has closed: the channel is marked and the count
// so far returned.
int transfer(net_sock *chan, char *p, int n, const transfer_rules &rules) {
  const uint64_t start = os_get_ms();
  int done = 0;
  bool was_ready = false;
  while (done < n) {
    if (chan->disconnected) {
      ZLOG(rules.disconnect_level, "_disconnect!!\n");
      return -1;
    }
    errno = 0;
    const int r = rules.io(chan->handle, p + done, n - done);
    if (r > 0) {
      done += r;
      if (rules.partial) return done;
      continue;
    }
    if (r < 0) {
      const int eno = errno;
      ZLOG(LOG2_DBG, rules.error_format, eno, os_errno_str(eno));
      return -1;
    }
    if (was_ready && errno == 0) {
      chan->disconnected = 1;
      return done;
    }
    for (;;) {
      if (chan->abort.load(std::memory_order_relaxed)) return -1;
      if (rules.polls_stop && stop_requested(chan->stop, chan->timeout)) {
        verr_set_errno(VERR_CANCELLED);
        return -1;
      }
      const int left = remaining_ms(chan, start);
      if (left == 0) return done;
      const int w = os_socket_wait(chan->handle, rules.event, left < rules.wait_ms ? left : rules.wait_ms);
      if (w < 0) {
        const int eno = errno;
        if (rules.wait_failure_fails) return -1;
        ZLOG(LOG2_DBG, "socket_wait error [%d] [%s]\n", eno, os_errno_str(eno));
        return done;
      }
      if (w & rules.event) break;
    }
    was_ready = true;
  }
  return done;
}

int stdio_read(void *buf, int n) {
  const ssize_t r = read(STDIN_FILENO, buf, size_t(n));
  return r < 0 ? -1 : int(r);
}

int stdio_write(const void *buf, int n) {
  const size_t w = fwrite(buf, 1, size_t(n), stdout);
  return fflush(stdout) == 0 && w == size_t(n) ? n : -1;
}

}  // namespace

int net_sock_read(net_sock *chan, void *buf, int n) { return transfer(chan, static_cast<char *>(buf), n, kReadRules); }

int net_sock_read_some(net_sock *chan, void *buf, int n) {
  return transfer(chan, static_cast<char *>(buf), n, kReadSomeRules);
}

int net_sock_write(net_sock *chan, const void *buf, int n) {
  return transfer(chan, static_cast<char *>(const_cast<void *>(buf)), n, kWriteRules);
}

void net_ssl_set_procs(net_read_fn read, net_write_fn write) {
  g_ssl_read_proc = read;
  g_ssl_write_proc = write;
}

int net_ssl_read_proc(net_sock *chan, void *buf, int n) {
  if (!ZASSERT(g_ssl_read_proc != NULL)) return -1;
  return g_ssl_read_proc(chan, buf, n);
}

int net_ssl_write_proc(net_sock *chan, const void *buf, int n) {
  if (!ZASSERT(g_ssl_write_proc != NULL)) return -1;
  return g_ssl_write_proc(chan, buf, n);
}

int net_read(net_sock *chan, void *buf, int n) {
  if (!chan || n < 0) return -1;
  if (is_socket(chan)) {
    if (!chan->ssl) return net_sock_read(chan, buf, n);
    return chan->read_proc ? chan->read_proc(chan, buf, n) : net_ssl_read_proc(chan, buf, n);
  }
  if (chan->type == NET_SOCK_STDIO) return stdio_read(buf, n);
  return -1;
}

int net_write(net_sock *chan, const void *buf, int n) {
  if (!chan || n < 0) return -1;
  if (n == 0) return 0;
  if (is_socket(chan)) {
    if (!chan->ssl) return net_sock_write(chan, buf, n);
    return chan->write_proc ? chan->write_proc(chan, buf, n) : net_ssl_write_proc(chan, buf, n);
  }
  if (chan->type == NET_SOCK_STDIO) return stdio_write(buf, n);
  return -1;
}

int net_close(net_sock *chan) {
  if (!chan) return -1;
  chan->abort = 0;
  chan->disconnected = 0;
  if (is_socket(chan)) {
    os_socket_exit(chan->handle);
    chan->handle = 0;
    return 0;
  }
  return chan->type == NET_SOCK_STDIO ? 0 : -1;
}
