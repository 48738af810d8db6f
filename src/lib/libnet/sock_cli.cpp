// The client connect step: resolve, create, tune and connect a TCP socket within the connect
// time-out, polling the caller's stop control; through a proxy when the parameters name one.
// Every failure closes the socket and leaves its reason in the caller's error record.
#include <cerrno>
#include <cstring>

#include "net.h"
#include "pal_env.h"
#include "pal_log.h"
#include "proxy/proxy_steps.h"

static const char kLogTag[] = "net";

namespace {

constexpr int kConnectWaitMs = 200;

// Records a failed system call: the status code of errno and "<text>: <system description>".
#define VERR_SET_OS(info, eno, ...) \
  verr_info_set_os((info), __FILE__, __LINE__, __func__, os_verr_get(eno), os_errno_str(eno), __VA_ARGS__)

void tune(uint32_t sock, int buf_size) {
  if (buf_size != 0) {
    if (!os_socket_ctrl(sock, OS_SOCKET_CTRL_SET_RECV_BUFF_SIZE, uintptr_t(buf_size)))
      ZLOG(LOG2_WARN, "OS_SOCKET_CTRL_SET_RECV_BUFF_SIZE %d error\n", buf_size);
    if (!os_socket_ctrl(sock, OS_SOCKET_CTRL_SET_SEND_BUFF_SIZE, uintptr_t(buf_size)))
      ZLOG(LOG2_WARN, "OS_SOCKET_CTRL_SET_SEND_BUFF_SIZE %d error\n", buf_size);
  }
  if (!os_socket_ctrl(sock, OS_SOCKET_CTRL_SET_TCP_NODELAY, 1)) ZLOG(LOG2_WARN, "OS_SOCKET_CTRL_SET_TCP_NODELAY error\n");
}

// Waits until the pending connect may have an outcome: 1 ask again, 0 failed (err is set).
int wait_connect(uint32_t sock, const char *where, const sock_param *param, uint64_t start, verr_info *err) {
  for (;;) {
    if (int64_t(os_get_ms() - start) >= param->connect_timeout) {
      VERR_SET(err, VERR_GENERAL_FAILURE, "connect %s timeout", where);
      return 0;
    }
    if (stop_requested(param->stop, param->connect_timeout)) {
      VERR_SET(err, VERR_GENERAL_FAILURE, "User request stop");
      return 0;
    }
    const int w = os_socket_wait(sock, OS_SOCKET_WRITABLE, kConnectWaitMs);
    if (w > 0) return 1;
    if (w < 0) {
      const int eno = errno;
      VERR_SET_OS(err, eno, "connect %s ", where);
      return 0;
    }
  }
}

uint32_t connect_loop(uint32_t sock, const os_ipaddr *addr, const sock_param *param, verr_info *err) {
  char where[OS_IPADDR_TEXT_SIZE];
  os_ipaddr_cstr(addr, where);
  const uint64_t start = os_get_ms();
  for (;;) {
    const int r = os_socket_connect(sock, addr);
    if (r == 1) return sock;
    if (r < 0) {
      const int eno = errno;
      VERR_SET_OS(err, eno, "connect %s ", where);
      return 0;
    }
    if (!wait_connect(sock, where, param, start, err)) return 0;
  }
}

// Resolves host and creates a socket of kind for its family; 0 with err filled on failure.
uint32_t open_socket(const char *host, int port, uint16_t kind, os_ipaddr *addr, verr_info *err) {
  *addr = os_ipaddr{};
  if (!os_addrinfo_addr(host, addr)) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "addrinfo_addr %s failed", host);
    return 0;
  }
  addr->port = uint16_t(port);
  const uint32_t sock = os_socket_init(kind, addr->family);
  if (!sock) {
    const int eno = errno;
    VERR_SET_OS(err, eno, "os_socket_init error: ");
  }
  return sock;
}

}  // namespace

bool stop_requested(stop_ctl *stop, int timeout_ms) {
  if (!stop) return false;
  return stop->stop.load(std::memory_order_relaxed) != 0 || (stop->check && stop->check(stop->arg, timeout_ms) != 0);
}

uint32_t sock_connect_imp(const char *host, int port, const sock_param *param, verr_info *err) {
  os_ipaddr addr;
  const uint32_t sock = open_socket(host, port, OS_SOCKET_TCP, &addr, err);
  if (!sock) return 0;
  tune(sock, param->buf_size);
  uint32_t done = 0;
  if (param->no_wait)
    done = os_socket_connect(sock, &addr) >= 0 ? sock : 0;
  else
    done = connect_loop(sock, &addr, param, err);
  if (!done) {
    os_socket_exit(sock);
    if (err) ZLOG(LOG2_DBG, "%s:%d %s\n", host, port, err->text);
  }
  return done;
}

uint32_t sock_connect(const char *host, int port, const sock_param *param, verr_info *err) {
  if (!ZASSERT(host && param)) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "sock_connect without host or parameters");
    return 0;
  }
  if (param->proxy.type != PROXY_NONE) return proxy_tcp_connect(host, port, param, err);
  return sock_connect_imp(host, port, param, err);
}

uint32_t sock_udp_open(const char *host, int port, verr_info *err) {
  os_ipaddr addr;
  const uint32_t sock = open_socket(host, port, OS_SOCKET_UDP, &addr, err);
  if (!sock) return 0;
  if (os_socket_connect(sock, &addr) != 1) {
    const int eno = errno;
    VERR_SET_OS(err, eno, "udp open %s:%d", host, port);
    os_socket_exit(sock);
    return 0;
  }
  return sock;
}
