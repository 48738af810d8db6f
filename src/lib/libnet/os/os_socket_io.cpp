// Socket transfers and the readiness wait. Every transfer goes through one receive and one send
// core (plain, datagram and scatter/gather forms alike), which is where the fault seam sits.
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <thread>

#include "os_sockaddr.h"
#include "pal_log.h"
#include "sock_fault.h"

static const char kLogTag[] = "net";

using net_os::fd_of;

namespace {

constexpr int kMaxIov = 64;

// Fills m with the caller's list cut to what the fault seam lets through: 1 to transfer, 0 when
// nothing may move now (errno says why, as for a call that would block or a closed peer), -1 for a
// bad list or a dropped send.
int prepare(uint32_t sock, int dir, const os_iovec *iov, int count, iovec *v, msghdr *m) {
  if (count < 0 || count > kMaxIov) {
    errno = EINVAL;
    return -1;
  }
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += iov[i].len;
  if (total == 0) return 0;
  const int allowed = net_fault::gate(sock, dir, total > INT_MAX ? INT_MAX : int(total));
  if (allowed == net_fault::kHeld) {
    errno = EAGAIN;
    return 0;
  }
  if (allowed == net_fault::kDropped) {
    if (dir == SOCK_FAULT_RECV) {
      errno = 0;
      return 0;
    }
    errno = EPIPE;
    return -1;
  }
  size_t limit = size_t(allowed);
  int used = 0;
  for (int i = 0; i < count && limit > 0; ++i) {
    const size_t len = iov[i].len < limit ? iov[i].len : limit;
    v[used++] = iovec{iov[i].base, len};
    limit -= len;
  }
  m->msg_iov = v;
  m->msg_iovlen = size_t(used);
  return 1;
}

int result_of(ssize_t r) {
  if (r >= 0) return int(r);
  return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

int recv_core(uint32_t sock, os_ipaddr *from, const os_iovec *iov, int count) {
  iovec v[kMaxIov];
  msghdr m{};
  const int go = prepare(sock, SOCK_FAULT_RECV, iov, count, v, &m);
  if (go <= 0) return go;
  sockaddr_storage sa{};
  if (from) {
    m.msg_name = &sa;
    m.msg_namelen = sizeof sa;
  }
  const int r = result_of(recvmsg(fd_of(sock), &m, 0));
  if (r > 0) {
    net_fault::passed(sock, SOCK_FAULT_RECV, r);
    if (from) net_os::from_sockaddr(reinterpret_cast<sockaddr *>(&sa), m.msg_namelen, from);
  }
  return r;
}

int send_core(uint32_t sock, const os_ipaddr *to, const os_iovec *iov, int count) {
  sockaddr_storage sa;
  msghdr m{};
  if (to) {
    m.msg_namelen = net_os::to_sockaddr(to, &sa);
    if (!ZASSERT(m.msg_namelen != 0)) {
      errno = EDESTADDRREQ;
      return -1;
    }
    m.msg_name = &sa;
  }
  iovec v[kMaxIov];
  const int go = prepare(sock, SOCK_FAULT_SEND, iov, count, v, &m);
  if (go <= 0) return go;
  const int r = result_of(sendmsg(fd_of(sock), &m, MSG_NOSIGNAL));
  if (r > 0) net_fault::passed(sock, SOCK_FAULT_SEND, r);
  return r;
}

}  // namespace

int os_socket_recv(uint32_t sock, void *buf, int n) {
  const os_iovec one{buf, n > 0 ? size_t(n) : 0};
  return recv_core(sock, nullptr, &one, 1);
}

int os_socket_send(uint32_t sock, const void *buf, int n) {
  const os_iovec one{const_cast<void *>(buf), n > 0 ? size_t(n) : 0};
  return send_core(sock, nullptr, &one, 1);
}

int os_socket_urecv(uint32_t sock, os_ipaddr *from, void *buf, int n) {
  const os_iovec one{buf, n > 0 ? size_t(n) : 0};
  return recv_core(sock, from, &one, 1);
}

int os_socket_usend(uint32_t sock, const os_ipaddr *to, const void *buf, int n) {
  const os_iovec one{const_cast<void *>(buf), n > 0 ? size_t(n) : 0};
  return send_core(sock, to, &one, 1);
}

int os_socket_recvv(uint32_t sock, const os_iovec *iov, int count) { return recv_core(sock, nullptr, iov, count); }
int os_socket_sendv(uint32_t sock, const os_iovec *iov, int count) { return send_core(sock, nullptr, iov, count); }
int os_socket_urecvv(uint32_t sock, os_ipaddr *from, const os_iovec *iov, int count) {
  return recv_core(sock, from, iov, count);
}
int os_socket_usendv(uint32_t sock, const os_ipaddr *to, const os_iovec *iov, int count) {
  return send_core(sock, to, iov, count);
}

int os_socket_wait(uint32_t sock, int events, int timeout_ms) {
  const int held = net_fault::held_ms(sock, events);
  if (held > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms < 0 || held < timeout_ms ? held : timeout_ms));
    if (net_fault::held_ms(sock, events) > 0) return 0;
    timeout_ms = 0;
  }
  const int fd = fd_of(sock);
  pollfd p{fd, short(((events & OS_SOCKET_READABLE) ? POLLIN : 0) | ((events & OS_SOCKET_WRITABLE) ? POLLOUT : 0)), 0};
  const int r = poll(&p, 1, timeout_ms < 0 ? -1 : timeout_ms);
  if (r == 0 || (r < 0 && errno == EINTR)) return 0;
  if (r < 0) return -1;
  if (p.revents & POLLNVAL) {
    errno = EBADF;
    return -1;
  }
  // A pending error (a refused connect, a reset) always comes with POLLERR or POLLHUP; asking
  // for it only then saves a system call on every wait of a request loop.
  int pending = 0;
  socklen_t len = sizeof pending;
  if ((p.revents & (POLLERR | POLLHUP)) != 0 &&
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &len) == 0 && pending != 0) {
    errno = pending;
    return -1;
  }
  int ready = 0;
  if ((events & OS_SOCKET_READABLE) && (p.revents & (POLLIN | POLLHUP | POLLERR))) ready |= OS_SOCKET_READABLE;
  if ((events & OS_SOCKET_WRITABLE) && (p.revents & (POLLOUT | POLLHUP | POLLERR))) ready |= OS_SOCKET_WRITABLE;
  return ready;
}
