// SOCKS5 (RFC 1928) with user/password authentication (RFC 1929): greeting, optional sub-
// negotiation, connect request by IPv4, IPv6 or name, and the reply with its bound address, which
// is read and dropped so that the channel starts at the first byte of the tunnelled protocol.
#include <arpa/inet.h>

#include <cstring>
#include <vector>

#include "pal_log.h"
#include "proxy_steps.h"
#include "secret_wipe.h"

static const char kLogTag[] = "net";

namespace {

constexpr uint8_t kVersion = 5;
constexpr uint8_t kAuthVersion = 1;
constexpr uint8_t kConnect = 1;
constexpr uint8_t kNoAuth = 0;
constexpr uint8_t kUserPassword = 2;
constexpr int kNoMethod = 0xFF;
constexpr size_t kFieldMax = 255;
constexpr uint8_t kAtypIpv4 = 1;
constexpr uint8_t kAtypName = 3;
constexpr uint8_t kAtypIpv6 = 4;

bool send_all(net_sock *chan, const std::vector<uint8_t> &bytes) {
  return net_write(chan, bytes.data(), int(bytes.size())) == int(bytes.size());
}

int send_failed(verr_info *err) {
  VERR_SET(err, VERR_GENERAL_FAILURE, "proxy send error");
  return -1;
}

// Greeting and method choice: the method, or -1 with err filled.
int choose_method(net_sock *chan, bool with_user, verr_info *err) {
  const std::vector<uint8_t> hello = with_user ? std::vector<uint8_t>{kVersion, 2, kNoAuth, kUserPassword}
                                               : std::vector<uint8_t>{kVersion, 1, kNoAuth};
  if (!send_all(chan, hello)) return send_failed(err);
  uint8_t reply[2] = {};
  const int got = net_read(chan, reply, 2);
  int method = reply[1];
  if (method != kNoAuth && !(with_user && method == kUserPassword)) method = kNoMethod;
  if (got != 2 || reply[0] != kVersion) method = kNoMethod;
  if (PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS5_METHOD, method, err) != 0) {
    ZLOG(LOG2_DBG, "nrbytes=%d buf[0]=0x%x buf[1]=0x%x error\n", got, reply[0], reply[1]);
    return -1;
  }
  return method;
}

int authenticate(net_sock *chan, const proxy_conf *proxy, verr_info *err) {
  const size_t ulen = strlen(proxy->user);
  const size_t plen = strlen(proxy->pwd);
  if (ulen > kFieldMax || plen > kFieldMax) return PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS5_AUTH, -1, err);
  std::vector<uint8_t> req = {kAuthVersion, uint8_t(ulen)};
  req.insert(req.end(), proxy->user, proxy->user + ulen);
  req.push_back(uint8_t(plen));
  req.insert(req.end(), proxy->pwd, proxy->pwd + plen);
  const bool sent = send_all(chan, req);
  secret_wipe(req.data(), req.size());
  if (!sent) return send_failed(err);
  uint8_t reply[2] = {};
  const int got = net_read(chan, reply, 2);
  return PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS5_AUTH, got == 2 ? reply[1] : -1, err);
}

// The address part of the connect request; false for a name too long for its length byte.
bool put_address(const char *host, int port, std::vector<uint8_t> *req) {
  uint8_t ip[16];
  if (inet_pton(AF_INET, host, ip) == 1) {
    req->push_back(kAtypIpv4);
    req->insert(req->end(), ip, ip + 4);
  } else if (inet_pton(AF_INET6, host, ip) == 1) {
    req->push_back(kAtypIpv6);
    req->insert(req->end(), ip, ip + 16);
  } else {
    const size_t len = strlen(host);
    if (len > kFieldMax) return false;
    req->push_back(kAtypName);
    req->push_back(uint8_t(len));
    req->insert(req->end(), host, host + len);
  }
  req->push_back(uint8_t(port >> 8));
  req->push_back(uint8_t(port));
  return true;
}

// Reads and drops the bound address and port after a granted reply; 0, or -1 with err filled.
int skip_bound_address(net_sock *chan, uint8_t atyp, verr_info *err) {
  int rest = 0;
  if (atyp == kAtypIpv4) {
    rest = 4 + 2;
  } else if (atyp == kAtypIpv6) {
    rest = 16 + 2;
  } else if (atyp == kAtypName) {
    uint8_t len = 0;
    if (net_read(chan, &len, 1) != 1) rest = -1;
    else rest = len + 2;
  } else {
    return PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS5, 8, err);
  }
  uint8_t drop[255 + 2];
  if (rest < 0 || net_read(chan, drop, rest) != rest) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "proxy read return error");
    return -1;
  }
  return 0;
}

}  // namespace

int proxy_sock5_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err) {
  ZLOG(LOG2_DBG, "=>\n");
  const int method = choose_method(chan, proxy->user[0] != '\0', err);
  if (method < 0) return -1;
  if (method == kUserPassword && authenticate(chan, proxy, err) != 0) return -1;
  std::vector<uint8_t> req = {kVersion, kConnect, 0};
  if (!put_address(host, port, &req)) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "proxy host name too long");
    return -1;
  }
  if (!send_all(chan, req)) return send_failed(err);
  uint8_t reply[4] = {};
  const int got = net_read(chan, reply, 4);
  // A short or foreign reply has no code: -1 falls to the table's catch-all row.
  const int code = got == 4 && reply[0] == kVersion ? reply[1] : -1;
  if (PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS5, code, err) != 0) return -1;
  return skip_bound_address(chan, reply[3], err);
}
