// The three proxy handshakes against a scripted proxy on loopback: the exact request bytes, each
// reply the handshakes must judge (granted, refused, 407, 503, short and malformed answers, every
// SOCKS5 reply code and bound-address type), and that nothing after the handshake is consumed.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "net.h"
#include "net_peer.h"

namespace {

constexpr int kHeader = -1;  // read up to and including the empty line of an HTTP header block

struct step {
  int read;          // bytes the proxy reads first (kHeader, or 0 for none)
  std::string send;  // then sends
};

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(char(b));
  return s;
}

std::string port_bytes(int port) { return bytes({port >> 8 & 0xff, port & 0xff}); }

struct proxy_case {
  const char *name;
  int32_t type;
  const char *user;
  const char *pwd;
  const char *target;
  std::vector<step> script;  // the target port is 4660 (0x1234) in every request
  std::string request;       // everything the proxy must have received
  int32_t code;              // 0: the handshake succeeds and "X" is the next byte on the socket
  const char *text;
};

constexpr int kTargetPort = 0x1234;

// Runs the script as the proxy and records what it received.
class scripted_proxy {
 public:
  explicit scripted_proxy(const std::vector<step> &script)
      : peer_([this, script](net_sock *chan) {
          for (const step &s : script) {
            if (s.read == kHeader) {
              while (received().find("\r\n\r\n") == std::string::npos && take(chan, 1)) {
              }
            } else if (s.read > 0 && !take(chan, s.read)) {
              return;
            }
            if (!s.send.empty() && net_write(chan, s.send.data(), int(s.send.size())) != int(s.send.size())) return;
          }
          char rest[64];
          while (take_into(chan, rest, sizeof rest) > 0) {
          }
        }) {}
  int port() const { return peer_.port(); }
  std::string received() {
    std::lock_guard<std::mutex> lock(mu_);
    return got_;
  }

 private:
  int take_into(net_sock *chan, char *buf, int n) {
    const int r = net_read(chan, buf, n);
    if (r > 0) {
      std::lock_guard<std::mutex> lock(mu_);
      got_.append(buf, size_t(r));
    }
    return r;
  }
  bool take(net_sock *chan, int n) {
    std::string buf(size_t(n), '\0');
    return take_into(chan, buf.data(), n) == n;
  }

  std::mutex mu_;
  std::string got_;
  scripted_peer peer_;
};

class ProxyScriptTest : public ::testing::TestWithParam<proxy_case> {};

TEST_P(ProxyScriptTest, Handshake) {
  const proxy_case &c = GetParam();
  std::string received;
  {
    scripted_proxy proxy(c.script);
    sock_param p{};
    p.connect_timeout = 500;
    p.proxy.type = c.type;
    p.proxy.port = proxy.port();
    snprintf(p.proxy.ip, sizeof p.proxy.ip, "127.0.0.1");
    snprintf(p.proxy.user, sizeof p.proxy.user, "%s", c.user);
    snprintf(p.proxy.pwd, sizeof p.proxy.pwd, "%s", c.pwd);
    verr_info err{};
    const uint32_t sock = sock_connect(c.target, kTargetPort, &p, &err);
    if (c.code == 0) {
      ASSERT_NE(sock, 0u) << err.text;
      chan_owner tunnel(sock, 1000);
      EXPECT_EQ(read_text(&tunnel.chan, 1), "X") << "the byte after the handshake belongs to the target";
    } else {
      EXPECT_EQ(sock, 0u);
      EXPECT_EQ(err.code, c.code);
      EXPECT_STREQ(err.text, c.text);
    }
    received = proxy.received();
  }
  EXPECT_EQ(received, c.request);
}

const std::string kConnect = "CONNECT 10.0.0.7:4660 HTTP/1.1\r\nHost: 10.0.0.7:4660\r\n\r\n";
const std::string kConnectAuth =
    "CONNECT 10.0.0.7:4660 HTTP/1.1\r\nHost: 10.0.0.7:4660\r\nProxy-Authorization: Basic dXNlcjpwYTpzcw==\r\n\r\n";
const std::string kSocks4 = bytes({4, 1, 0x12, 0x34, 10, 0, 0, 7}) + "bob" + bytes({0});
const std::string kHello = bytes({5, 1, 0});
const std::string kHelloUser = bytes({5, 2, 0, 2});
const std::string kSocks5Ipv4 = bytes({5, 1, 0, 1, 10, 0, 0, 7, 0x12, 0x34});
const std::string kGrantedIpv4 = bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80});

std::vector<proxy_case> http_cases() {
  return {
      {"HttpGranted", PROXY_HTTP, "", "", "10.0.0.7",
       {{kHeader, "HTTP/1.1 200 Connection established\r\nProxy-agent: t\r\n\r\nX"}}, kConnect, 0, ""},
      {"HttpGrantedBareStatusLine", PROXY_HTTP, "", "", "10.0.0.7", {{kHeader, "HTTP/1.1 200\r\n\r\nX"}}, kConnect, 0, ""},
      {"HttpGrantedCrLfLf", PROXY_HTTP, "", "", "10.0.0.7", {{kHeader, "HTTP/1.0 200 OK\r\n\nX"}}, kConnect, 0, ""},
      {"HttpBasicAuth", PROXY_HTTP, "user", "pa:ss", "10.0.0.7", {{kHeader, "HTTP/1.1 200 OK\r\n\r\nX"}},
       kConnectAuth, 0, ""},
      {"HttpIpv6Target", PROXY_HTTP, "", "", "::1", {{kHeader, "HTTP/1.1 200 OK\r\n\r\nX"}},
       "CONNECT [::1]:4660 HTTP/1.1\r\nHost: [::1]:4660\r\n\r\n", 0, ""},
      {"Http407", PROXY_HTTP, "user", "pa:ss", "10.0.0.7",
       {{kHeader, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n"}}, kConnectAuth, VERR_GENERAL_FAILURE,
       "proxy user or pwd error"},
      {"Http503", PROXY_HTTP, "", "", "10.0.0.7", {{kHeader, "HTTP/1.1 503 Service Unavailable\r\n\r\n"}}, kConnect,
       VERR_GENERAL_FAILURE, "proxy read return error"},
      {"HttpShortStatusLine", PROXY_HTTP, "", "", "10.0.0.7", {{kHeader, "HTTP/1.1"}}, kConnect, VERR_GENERAL_FAILURE,
       "proxy recv len error"},
      {"HttpHeaderCutOff", PROXY_HTTP, "", "", "10.0.0.7", {{kHeader, "HTTP/1.1 200 OK\r\nVia: x"}}, kConnect,
       VERR_GENERAL_FAILURE, "proxy read return error"},
  };
}

std::vector<proxy_case> socks4_cases() {
  return {
      {"Socks4Granted", PROXY_SOCKS4, "bob", "ignored", "10.0.0.7",
       {{int(kSocks4.size()), bytes({0, 0x5A, 0, 0, 0, 0, 0, 0}) + "X"}}, kSocks4, 0, ""},
      {"Socks4Rejected", PROXY_SOCKS4, "bob", "", "10.0.0.7", {{int(kSocks4.size()), bytes({0, 0x5B, 0, 0, 0, 0, 0, 0})}},
       kSocks4, VERR_GENERAL_FAILURE, "proxy read return error"},
      {"Socks4ShortReply", PROXY_SOCKS4, "bob", "", "10.0.0.7", {{int(kSocks4.size()), bytes({0, 0x5A, 0})}}, kSocks4,
       VERR_GENERAL_FAILURE, "proxy read return error"},
      {"Socks4Ipv6LiteralSendsNothing", PROXY_SOCKS4, "", "", "::1", {}, "", VERR_GENERAL_FAILURE,
       "SOCK4 does not support IPv6"},
      {"Socks4aForTheBroadcastAddress", PROXY_SOCKS4, "", "", "255.255.255.255",
       {{int(8 + 1 + 16), bytes({0, 0x5A, 0, 0, 0, 0, 0, 0}) + "X"}},
       bytes({4, 1, 0x12, 0x34, 0, 0, 0, 1, 0}) + "255.255.255.255" + bytes({0}), 0, ""},
  };
}

std::vector<proxy_case> socks5_cases() {
  const std::string auth = bytes({1, 4}) + "user" + bytes({5}) + "pa:ss";
  std::vector<proxy_case> cases = {
      {"Socks5NoAuthIpv4", PROXY_SOCKS5, "", "", "10.0.0.7", {{3, bytes({5, 0})}, {10, kGrantedIpv4 + "X"}},
       kHello + kSocks5Ipv4, 0, ""},
      {"Socks5NameTargetNameBound", PROXY_SOCKS5, "", "", "files.test",
       {{3, bytes({5, 0})}, {17, bytes({5, 0, 0, 3, 3}) + "abc" + bytes({0, 80}) + "X"}},
       kHello + bytes({5, 1, 0, 3, 10}) + "files.test" + port_bytes(kTargetPort), 0, ""},
      {"Socks5Ipv6TargetIpv6Bound", PROXY_SOCKS5, "", "", "::1",
       {{3, bytes({5, 0})}, {22, bytes({5, 0, 0, 4}) + std::string(18, '\0') + "X"}},
       kHello + bytes({5, 1, 0, 4}) + std::string(15, '\0') + bytes({1}) + port_bytes(kTargetPort), 0, ""},
      {"Socks5UserPassword", PROXY_SOCKS5, "user", "pa:ss", "10.0.0.7",
       {{4, bytes({5, 2})}, {int(auth.size()), bytes({1, 0})}, {10, kGrantedIpv4 + "X"}},
       kHelloUser + auth + kSocks5Ipv4, 0, ""},
      {"Socks5UserButProxyNeedsNone", PROXY_SOCKS5, "user", "pa:ss", "10.0.0.7",
       {{4, bytes({5, 0})}, {10, kGrantedIpv4 + "X"}}, kHelloUser + kSocks5Ipv4, 0, ""},
      {"Socks5WrongPassword", PROXY_SOCKS5, "user", "pa:ss", "10.0.0.7",
       {{4, bytes({5, 2})}, {int(auth.size()), bytes({1, 1})}}, kHelloUser + auth, VERR_INVALID_PARAMETER,
       "Proxy password or user name error"},
      {"Socks5PicksPasswordWithoutUser", PROXY_SOCKS5, "", "", "10.0.0.7", {{3, bytes({5, 2})}}, kHello,
       VERR_INVALID_PARAMETER, "Proxy read return error"},
      {"Socks5NoAcceptableMethod", PROXY_SOCKS5, "user", "x", "10.0.0.7", {{4, bytes({5, 0xFF})}}, kHelloUser,
       VERR_INVALID_PARAMETER, "Proxy read return error"},
      {"Socks5BoundAddressCutOff", PROXY_SOCKS5, "", "", "10.0.0.7", {{3, bytes({5, 0})}, {10, bytes({5, 0, 0, 1, 127})}},
       kHello + kSocks5Ipv4, VERR_GENERAL_FAILURE, "proxy read return error"},
      {"Socks5UnknownReply", PROXY_SOCKS5, "", "", "10.0.0.7", {{3, bytes({5, 0})}, {10, bytes({5, 9, 0, 1})}},
       kHello + kSocks5Ipv4, VERR_GENERAL_FAILURE, "proxy unkown error: 9"},
  };
  const char *texts[] = {"General SOCKS server failure!", "Connection not allowed by ruleset!", "Network unreachable!",
                         "Host unreachable!", "Connection refused!", "TTL (packet time to live) expired!",
                         "SOCKS Command not supported!", "Address type not supported!"};
  static const char *names[] = {"Socks5Reply1", "Socks5Reply2", "Socks5Reply3", "Socks5Reply4",
                                "Socks5Reply5", "Socks5Reply6", "Socks5Reply7", "Socks5Reply8"};
  for (int code = 1; code <= 8; ++code)
    cases.push_back({names[code - 1], PROXY_SOCKS5, "", "", "10.0.0.7",
                     {{3, bytes({5, 0})}, {10, bytes({5, code, 0, 1}) + std::string(6, '\0')}}, kHello + kSocks5Ipv4,
                     VERR_GENERAL_FAILURE, texts[code - 1]});
  return cases;
}

std::string case_name(const ::testing::TestParamInfo<proxy_case> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Http, ProxyScriptTest, ::testing::ValuesIn(http_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Socks4, ProxyScriptTest, ::testing::ValuesIn(socks4_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Socks5, ProxyScriptTest, ::testing::ValuesIn(socks5_cases()), case_name);

TEST(ProxyConnect, UnreachableProxyKeepsTheConnectReason) {
  sock_param p{};
  p.connect_timeout = 1000;
  p.proxy.type = PROXY_HTTP;
  p.proxy.port = unused_port();
  snprintf(p.proxy.ip, sizeof p.proxy.ip, "127.0.0.1");
  verr_info err{};
  EXPECT_EQ(sock_connect("10.0.0.7", 80, &p, &err), 0u);
  EXPECT_EQ(err.code, VERR_NET_CONNECTION_REFUSED);
  EXPECT_EQ(std::string(err.text).rfind("connect 127.0.0.1:" + std::to_string(p.proxy.port) + " ", 0), 0u);
}

}  // namespace
