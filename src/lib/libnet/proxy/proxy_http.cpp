// HTTP CONNECT towards the target, with Basic proxy authentication when a user is set. The reply's
// status line decides; the rest of its header block is consumed byte by byte so that nothing of
// the tunnelled protocol is read. The request is logged with its credentials shown as "***".
#include <cstdio>
#include <cstring>
#include <string>

#include "pal_log.h"
#include "pal_url.h"
#include "proxy_steps.h"
#include "libpwd.h"
#include "secret_wipe.h"

static const char kLogTag[] = "net";

namespace {

constexpr int kRequestSize = 4096;
constexpr int kStatusLineBytes = 12;  // "HTTP/1.1 200": up to and including the three-digit code
constexpr int kStatusDigit = 9;

// Writes the CONNECT request with credentials (the Base64 text, or the log mask) into out; its
// length, or -1 when it does not fit.
int build_request(const char *host, int port, const char *credentials, char *out) {
  const bool v6 = proxy_is_ipv6_literal(host);
  int len = snprintf(out, kRequestSize, v6 ? "CONNECT [%s]:%d HTTP/1.1\r\nHost: [%s]:%d\r\n"
                                           : "CONNECT %s:%d HTTP/1.1\r\nHost: %s:%d\r\n",
                     host, port, host, port);
  if (len >= 0 && len < kRequestSize && credentials)
    len += snprintf(out + len, size_t(kRequestSize - len), "Proxy-Authorization: Basic %s\r\n", credentials);
  if (len >= 0 && len < kRequestSize) len += snprintf(out + len, size_t(kRequestSize - len), "\r\n");
  return len >= 0 && len < kRequestSize ? len : -1;
}

// Base64 of "user:pwd" into out (kRequestSize bytes); false when it does not fit.
bool basic_credentials(const proxy_conf *proxy, char *out) {
  std::string pair = std::string(proxy->user) + ":" + proxy->pwd;
  const bool ok = str_base64_encode(pair.data(), pair.size(), out, kRequestSize) >= 0;
  secret_wipe(pair.data(), pair.size());
  return ok;
}

// Consumes the reply up to the LF of the empty line that ends its header block.
int skip_header_block(net_sock *chan, verr_info *err) {
  ZLOG(LOG2_VERB, "read last...\n");
  bool cr = false;
  bool eol = false;
  for (;;) {
    char c = 0;
    if (net_read(chan, &c, 1) < 1) {
      VERR_SET(err, VERR_GENERAL_FAILURE, "proxy read return error");
      return -1;
    }
    if (c == '\r') {
      cr = true;
    } else if (c == '\n' && !cr) {
      eol = false;
    } else if (c == '\n') {
      if (eol) return 0;
      eol = true;
    } else {
      cr = eol = false;
    }
  }
}

}  // namespace

int proxy_http_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err) {
  ZLOG(LOG2_DBG, "==>\n");
  char credentials[kRequestSize] = "";
  const bool auth = proxy->user[0] != '\0';
  char request[kRequestSize];
  const bool built = (!auth || basic_credentials(proxy, credentials)) &&
                     build_request(host, port, auth ? credentials : nullptr, request) >= 0;
  if (!built) {
    secret_wipe(credentials, sizeof credentials);
    VERR_SET(err, VERR_BUFFER_OVERFLOW, "proxy request too long");
    return -1;
  }
  const int len = int(strlen(request));
  char shown[kRequestSize];
  if (build_request(host, port, auth ? PWD_LOG_MASK : nullptr, shown) >= 0) ZLOG(LOG2_VERB, "[%s]", shown);
  const int sent = net_write(chan, request, len);
  secret_wipe(request, sizeof request);
  secret_wipe(credentials, sizeof credentials);
  if (sent != len) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "proxy send error");
    return -1;
  }
  char status[kStatusLineBytes + 1] = "";
  const int got = net_read(chan, status, kStatusLineBytes);
  ZLOG(LOG2_VERB, "ret=%d\n", got);
  if (got < kStatusLineBytes) {
    ZLOG(LOG2_DBG, "net_read ret=%d !=12 error\n", got);
    VERR_SET(err, VERR_GENERAL_FAILURE, "proxy recv len error");
    return -1;
  }
  const char digit = status[kStatusDigit];
  if (PROXY_REPLY_CHECK(PROXY_REPLY_HTTP, digit, err) != 0) {
    status[kStatusLineBytes - 1] = '\0';
    ZLOG(LOG2_DBG, "net_read [%s] buf[9]=%c !=2 error\n", status, digit);
    return -1;
  }
  if (skip_header_block(chan, err) != 0) return -1;
  ZLOG(LOG2_DBG, "proxy init ok!!\n");
  return 0;
}
