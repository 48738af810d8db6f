// Socket life and options: create, connect, bind, listen, accept, shut down and close, and the
// option commands of os_socket_ctrl. Every socket is made non-blocking as it is created or accepted.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>

#include "os_sockaddr.h"
#include "pal_log.h"
#include "sock_fault.h"

static const char kLogTag[] = "net";

using net_os::fd_of;
using net_os::handle_of;

namespace {

bool set_nonblocking(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

bool set_int(int fd, int level, int name, int value) {
  return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

bool get_int(int fd, int level, int name, uintptr_t arg) {
  int *out = reinterpret_cast<int *>(arg);
  if (!out) return false;
  socklen_t len = sizeof *out;
  if (getsockopt(fd, level, name, out, &len) == 0) return true;
  *out = 0;
  return false;
}

// The integer options, one row per command: setters pass arg as the value, getters as an int*.
struct int_option {
  uint32_t cmd;
  int level;
  int name;
  bool get;
};

constexpr int_option kIntOptions[] = {
    {OS_SOCKET_CTRL_SET_RECV_BUFF_SIZE, SOL_SOCKET, SO_RCVBUF, false},
    {OS_SOCKET_CTRL_GET_RECV_BUFF_SIZE, SOL_SOCKET, SO_RCVBUF, true},
    {OS_SOCKET_CTRL_SET_SEND_BUFF_SIZE, SOL_SOCKET, SO_SNDBUF, false},
    {OS_SOCKET_CTRL_GET_SEND_BUFF_SIZE, SOL_SOCKET, SO_SNDBUF, true},
    {OS_SOCKET_CTRL_SET_TCP_NODELAY, IPPROTO_TCP, TCP_NODELAY, false},
    {OS_SOCKET_CTRL_GET_TCP_NODELAY, IPPROTO_TCP, TCP_NODELAY, true},
    {OS_SOCKET_CTRL_SET_KEEPALIVE_INTERVAL, IPPROTO_TCP, TCP_KEEPINTVL, false},
    {OS_SOCKET_CTRL_SET_KEEPALIVE, SOL_SOCKET, SO_KEEPALIVE, false},
    {OS_SOCKET_CTRL_SET_OPTION_4000, SOL_SOCKET, 0x4000, false},
    {OS_SOCKET_CTRL_SET_KEEPALIVE_IDLE, IPPROTO_TCP, TCP_KEEPIDLE, false},
    {OS_SOCKET_CTRL_SET_KEEPALIVE_COUNT, IPPROTO_TCP, TCP_KEEPCNT, false},
};

bool join_multicast(int fd, const char *group) {
  ip_mreq req{};
  if (!group || inet_pton(AF_INET, group, &req.imr_multiaddr) != 1) return false;
  req.imr_interface.s_addr = htonl(INADDR_ANY);
  return setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) == 0;
}

}  // namespace

uint32_t os_socket_init(uint16_t kind, uint16_t family) {
  int type = SOCK_STREAM;
  if (kind >> 8 == 2) type = SOCK_DGRAM;
  if (kind >> 8 == 3) type = SOCK_RAW;
  const int af = net_os::af_of(family);
  int proto = 0;
  if (af != AF_UNIX) {
    switch (kind & 0xff) {
      case 1: proto = IPPROTO_TCP; break;
      case 2: proto = IPPROTO_UDP; break;
      case 3: proto = af == AF_INET6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP); break;
      default: break;
    }
  }
  const int fd = socket(af == AF_UNSPEC ? AF_INET : af, type | SOCK_CLOEXEC, proto);
  if (fd < 0) return 0;
  if (!set_nonblocking(fd, true)) {
    const int eno = errno;
    close(fd);
    errno = eno;
    return 0;
  }
  return handle_of(fd);
}

bool os_socket_ctrl(uint32_t sock, uint32_t cmd, uintptr_t arg) {
  const int fd = fd_of(sock);
  for (const int_option &o : kIntOptions) {
    if (o.cmd == cmd) return o.get ? get_int(fd, o.level, o.name, arg) : set_int(fd, o.level, o.name, int(arg));
  }
  switch (cmd) {
    case OS_SOCKET_CTRL_SET_BLOCKING: return set_nonblocking(fd, arg == 0);
    case OS_SOCKET_CTRL_GET_BLOCKING: {
      int *out = reinterpret_cast<int *>(arg);
      const int flags = fcntl(fd, F_GETFL);
      if (!out || flags < 0) return false;
      *out = (flags & O_NONBLOCK) ? 0 : 1;
      return true;
    }
    case OS_SOCKET_CTRL_JOIN_MULTICAST: return join_multicast(fd, reinterpret_cast<const char *>(arg));
    default:
      ZLOG(LOG2_ERR, "unknown socket ctrl: %lu\n", static_cast<unsigned long>(cmd));
      return false;
  }
}

int os_socket_connect(uint32_t sock, const os_ipaddr *addr) {
  sockaddr_storage sa;
  const socklen_t len = net_os::to_sockaddr(addr, &sa);
  if (len == 0) {
    errno = EAFNOSUPPORT;
    return -1;
  }
  if (connect(fd_of(sock), reinterpret_cast<sockaddr *>(&sa), len) == 0) return 1;
  switch (errno) {
    case EISCONN: return 1;
    case EINPROGRESS:
    case EALREADY:
    case EINTR:
    case EAGAIN: return 0;
    default: return -1;
  }
}

int os_socket_kill(uint32_t sock, int how) {
  const int mode = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return shutdown(fd_of(sock), mode);
}

void os_socket_exit(uint32_t sock) {
  if (sock == 0) return;
  net_fault::closed(sock);
  if (close(fd_of(sock)) != 0)
    ZLOG(LOG2_ERR, "close: %p failed, errno: %d\n", reinterpret_cast<void *>(uintptr_t(sock)), errno);
}

bool os_socket_bind(uint32_t sock, const os_ipaddr *addr) {
  const int fd = fd_of(sock);
  if (addr->family != OS_AF_LOCAL) {
    if (!set_int(fd, SOL_SOCKET, SO_REUSEADDR, 1)) ZLOG(LOG2_WARN, "SO_REUSEADDR error\n");
    if (addr->port && !set_int(fd, SOL_SOCKET, SO_REUSEPORT, 1)) ZLOG(LOG2_WARN, "SO_REUSEPORT error\n");
    if (addr->family == OS_AF_INET6 && !set_int(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1))
      ZLOG(LOG2_WARN, "IPV6_V6ONLY error\n");
  }
  sockaddr_storage sa;
  const socklen_t len = net_os::to_sockaddr(addr, &sa);
  return len != 0 && bind(fd, reinterpret_cast<sockaddr *>(&sa), len) == 0;
}

bool os_socket_listen(uint32_t sock, int backlog) { return listen(fd_of(sock), backlog) == 0; }

uint32_t os_socket_accept(uint32_t sock, os_ipaddr *peer) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  const int fd = accept4(fd_of(sock), reinterpret_cast<sockaddr *>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return 0;
  if (sa.ss_family != AF_UNIX && !set_int(fd, IPPROTO_TCP, TCP_NODELAY, 1))
    ZLOG(LOG2_WARN, "OS_SOCKET_CTRL_SET_TCP_NODELAY error\n");
  if (peer) net_os::from_sockaddr(reinterpret_cast<sockaddr *>(&sa), len, peer);
  return handle_of(fd);
}

bool os_socket_local(uint32_t sock, os_ipaddr *addr) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  if (getsockname(fd_of(sock), reinterpret_cast<sockaddr *>(&sa), &len) != 0) return false;
  net_os::from_sockaddr(reinterpret_cast<sockaddr *>(&sa), len, addr);
  return true;
}

bool os_socket_pair(uint32_t out[2]) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return false;
  out[0] = handle_of(fds[0]);
  out[1] = handle_of(fds[1]);
  return true;
}
