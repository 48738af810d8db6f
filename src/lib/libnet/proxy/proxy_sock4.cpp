// SOCKS4 connect request (and its 4a form, where the proxy resolves the name). SOCKS4 carries only
// IPv4 addresses, so the target is resolved for IPv4 here, and IPv6 literals fail before any byte
// is sent. The user name travels as the request's user id; SOCKS4 has no password.
#include <cstring>
#include <vector>

#include "pal_log.h"
#include "proxy_steps.h"

static const char kLogTag[] = "net";

namespace {

constexpr uint8_t kVersion = 4;
constexpr uint8_t kConnect = 1;
constexpr int kReplyBytes = 8;
constexpr uint8_t kBroadcast[4] = {255, 255, 255, 255};
constexpr uint8_t kSocks4aMark[4] = {0, 0, 0, 1};

}  // namespace

int proxy_sock4_init(net_sock *chan, const char *host, int port, const proxy_conf *proxy, verr_info *err) {
  ZLOG(LOG2_DBG, "==>\n");
  if (proxy_is_ipv6_literal(host)) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "SOCK4 does not support IPv6");
    return -1;
  }
  os_ipaddr addr{};
  addr.family = OS_AF_INET;
  if (!os_addrinfo_addr(host, &addr)) {
    VERR_SET(err, VERR_INVALID_PARAMETER, "addrinfo_addr %s error", host);
    return -1;
  }
  if (addr.family != OS_AF_INET) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "SOCK4 does not support IPv6");
    return -1;
  }
  const bool socks4a = memcmp(addr.ip, kBroadcast, 4) == 0;
  std::vector<uint8_t> req = {kVersion, kConnect, uint8_t(port >> 8), uint8_t(port)};
  req.insert(req.end(), socks4a ? kSocks4aMark : addr.ip, (socks4a ? kSocks4aMark : addr.ip) + 4);
  ZLOG(LOG2_VERB, "hostaddr=%x\n", unsigned(req[4]) << 24 | unsigned(req[5]) << 16 | unsigned(req[6]) << 8 | req[7]);
  req.insert(req.end(), proxy->user, proxy->user + strlen(proxy->user) + 1);
  if (socks4a) {
    ZLOG(LOG2_DBG, "use socks4a\n");
    req.insert(req.end(), host, host + strlen(host) + 1);
  }
  if (net_write(chan, req.data(), int(req.size())) != int(req.size())) {
    VERR_SET(err, VERR_GENERAL_FAILURE, "proxy send error");
    return -1;
  }
  uint8_t reply[kReplyBytes] = {};
  const int got = net_read(chan, reply, kReplyBytes);
  const int granted = got == kReplyBytes && reply[0] == 0 ? reply[1] : -1;
  if (PROXY_REPLY_CHECK(PROXY_REPLY_SOCKS4, granted, err) != 0) {
    ZLOG(LOG2_DBG, "ret=%d error\n", got);
    return -1;
  }
  return 0;
}
