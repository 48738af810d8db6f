// Connect through a proxy: the direct connect to the proxy, then the handshake of its type over a
// temporary channel that uses the connect time-out for every read and write. The socket that comes
// back is ready for the target protocol (TLS, if any, starts after this).
#include "net.h"
#include "pal_log.h"
#include "proxy_steps.h"

static const char kLogTag[] = "net";

namespace {

using handshake_fn = int (*)(net_sock *, const char *, int, const proxy_conf *, verr_info *);

struct handshake_row {
  int32_t type;
  handshake_fn run;
};

constexpr handshake_row kHandshakes[] = {
    {PROXY_HTTP, proxy_http_init},
    {PROXY_SOCKS4, proxy_sock4_init},
    {PROXY_SOCKS5, proxy_sock5_init},
};

handshake_fn handshake_of(int32_t type) {
  for (const handshake_row &row : kHandshakes)
    if (row.type == type) return row.run;
  return nullptr;
}

}  // namespace

uint32_t proxy_tcp_connect(const char *host, int port, const sock_param *param, verr_info *err) {
  ZLOG(LOG2_VERB, "==>\n");
  const proxy_conf &proxy = param->proxy;
  const handshake_fn run = handshake_of(proxy.type);
  if (!run) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "Unsupported proxy type=%d", proxy.type);
    return 0;
  }
  sock_param direct{};
  direct.connect_timeout = param->connect_timeout;
  direct.buf_size = param->buf_size;
  direct.stop = param->stop;
  const uint32_t sock = sock_connect_imp(proxy.ip, proxy.port, &direct, err);
  if (!sock) {
    ZLOG(LOG2_DBG, "connect proxy server %s:%d failed\n", proxy.ip, proxy.port);
    return 0;
  }
  ZLOG(LOG2_DBG, "connect proxy ip=%s port=%d ok!\n", proxy.ip, proxy.port);
  net_sock chan;
  chan.handle = sock;
  chan.timeout = param->connect_timeout;
  chan.stop = param->stop;
  if (run(&chan, host, port, &proxy, err) != 0) {
    os_socket_exit(sock);
    return 0;
  }
  return sock;
}
