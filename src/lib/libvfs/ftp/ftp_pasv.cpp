// Passive-mode data connections: the 227 reply names address and port as six decimal numbers,
// and the driver connects there with the mount's connect time-out.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ftp_ctx.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

// One decimal number of 0..255 at *p, then the separator `sep`; advances *p past both.
bool take_byte(const char **p, char sep, int *out) {
  char *end = nullptr;
  const long v = strtol(*p, &end, 10);
  if (end == *p || v < 0 || v > 255 || *end != sep) return false;
  *out = static_cast<int>(v);
  *p = end + 1;
  return true;
}

}  // namespace

bool ftp_parse_pasv(const char *reply, std::string *host, int *port) {
  const char *open = strchr(reply, '(');
  if (open == nullptr || strchr(open, ')') == nullptr) return false;
  const char *p = open + 1;
  int n[6];
  for (int i = 0; i < 6; ++i)
    if (!take_byte(&p, i < 5 ? ',' : ')', &n[i])) return false;
  char text[16];
  snprintf(text, sizeof text, "%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
  *host = text;
  *port = n[4] * 256 + n[5];
  return *port != 0;
}

bool ftp_pasv_mode(FtpMount *ctx, FtpConn *conn, net_sock *data) {
  std::string text;
  const int ret = ftp_cmd(conn, &text, "PASV");
  std::string host;
  int port = 0;
  if (ret != 227 || !ftp_parse_pasv(text.c_str(), &host, &port)) {
    ZLOG(LOG2_ERR, "ftp_cmd PASV ret=%d error\n", ret);
    FTP_FAIL(ctx, ftp_reply_verr(ret == 227 ? -1 : ret, text), "PASV ret=%d %s", ret, text.c_str());
    return false;
  }
  sock_param param{};
  param.connect_timeout = ctx->connect_timeout;
  verr_info why{};
  const uint32_t sock = sock_connect(host.c_str(), port, &param, &why);
  if (sock == 0) {
    ZLOG(LOG2_ERR, "ftp_cmd PASV ret=%d error\n", ret);
    FTP_FAIL(ctx, VERR_NET_CONNECTION_REFUSED, "data connection %s:%d: %s", host.c_str(), port,
             why.text);
    return false;
  }
  net_close(data);
  data->handle = sock;
  data->timeout = ctx->io_timeout;
  return true;
}
