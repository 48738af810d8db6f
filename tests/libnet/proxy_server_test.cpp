// The proxy handshakes against real proxy servers from the distribution, each started by the test
// on 127.0.0.1 with its configuration in a temporary directory: tinyproxy (HTTP CONNECT, with and
// without Basic authentication), danted (SOCKS4 and SOCKS5) and microsocks (SOCKS5 with user and
// password). An echo server in the test process is the target; a connect counts as working when
// bytes come back through the tunnel.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net.h"
#include "net_peer.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";
constexpr char kDanted[] = "/usr/sbin/danted";
constexpr char kMicrosocks[] = "/usr/bin/microsocks";
constexpr char kUser[] = "zmtest";
constexpr char kPassword[] = "s3cret";

// One running proxy server, shared by the tests of its suite.
struct proxy_server {
  temp_dir dir;
  int port = unused_port();
  std::unique_ptr<server_process> process;

  bool start(const std::vector<std::string> &argv) {
    process = std::make_unique<server_process>(argv, dir.file("server.log"));
    return process->wait_port(port);
  }
};

proxy_server *start_tinyproxy(bool with_auth) {
  auto *s = new proxy_server;
  std::string conf = "Port " + std::to_string(s->port) +
                     "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nMaxClients 8\nLogLevel Info\n";
  if (with_auth) conf += std::string("BasicAuth ") + kUser + " " + kPassword + "\n";
  const std::string path = s->dir.write("tinyproxy.conf", conf);
  if (!program_exists(kTinyproxy) || !s->start({kTinyproxy, "-d", "-c", path})) {
    delete s;
    return nullptr;
  }
  return s;
}

proxy_server *start_danted() {
  auto *s = new proxy_server;
  const std::string conf = "logoutput: stderr\ninternal: 127.0.0.1 port = " + std::to_string(s->port) +
                           "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                           "user.privileged: root\nuser.unprivileged: nobody\n"
                           "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
                           "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n}\n";
  const std::string path = s->dir.write("danted.conf", conf);
  if (!program_exists(kDanted) || !s->start({kDanted, "-N", "1", "-f", path, "-p", s->dir.file("danted.pid")})) {
    delete s;
    return nullptr;
  }
  return s;
}

proxy_server *start_microsocks() {
  auto *s = new proxy_server;
  if (!program_exists(kMicrosocks) ||
      !s->start({kMicrosocks, "-i", "127.0.0.1", "-p", std::to_string(s->port), "-u", kUser, "-P", kPassword})) {
    delete s;
    return nullptr;
  }
  return s;
}

sock_param through(const proxy_server &server, int32_t type, const char *user, const char *pwd) {
  sock_param p{};
  p.connect_timeout = 3000;
  p.proxy.type = type;
  p.proxy.port = server.port;
  snprintf(p.proxy.ip, sizeof p.proxy.ip, "127.0.0.1");
  snprintf(p.proxy.user, sizeof p.proxy.user, "%s", user);
  snprintf(p.proxy.pwd, sizeof p.proxy.pwd, "%s", pwd);
  return p;
}

// Connects through the proxy and checks that the echo answers; the error text otherwise.
std::string echo_through(const sock_param &p, int target_port) {
  verr_info err{};
  const uint32_t sock = sock_connect("127.0.0.1", target_port, &p, &err);
  if (!sock) return err.text;
  chan_owner tunnel(sock, 3000);
  if (net_write(&tunnel.chan, "ping", 4) != 4) return "write failed";
  return read_text(&tunnel.chan, 4);
}

std::string failure_of(const sock_param &p, int target_port) {
  verr_info err{};
  const uint32_t sock = sock_connect("127.0.0.1", target_port, &p, &err);
  if (sock) {
    os_socket_exit(sock);
    return "connected";
  }
  return err.text;
}

class ProxyServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    http_ = start_tinyproxy(false);
    http_auth_ = start_tinyproxy(true);
    socks_ = start_danted();
    socks_auth_ = start_microsocks();
  }
  static void TearDownTestSuite() {
    for (proxy_server **s : {&http_, &http_auth_, &socks_, &socks_auth_}) {
      delete *s;
      *s = nullptr;
    }
  }
  void SetUp() override {
    ASSERT_TRUE(http_ && http_auth_) << "tinyproxy did not start (scripts/install-deps.sh installs it)";
    ASSERT_TRUE(socks_) << "danted did not start (package dante-server)";
    ASSERT_TRUE(socks_auth_) << "microsocks did not start (package microsocks)";
  }

  static proxy_server *http_, *http_auth_, *socks_, *socks_auth_;
  echo_server target_;
};

proxy_server *ProxyServerTest::http_ = nullptr;
proxy_server *ProxyServerTest::http_auth_ = nullptr;
proxy_server *ProxyServerTest::socks_ = nullptr;
proxy_server *ProxyServerTest::socks_auth_ = nullptr;

TEST_F(ProxyServerTest, HttpConnect) {
  EXPECT_EQ(echo_through(through(*http_, PROXY_HTTP, "", ""), target_.port()), "ping");
  EXPECT_EQ(failure_of(through(*http_, PROXY_HTTP, "", ""), unused_port()), "proxy read return error")
      << "a refused target is a 5xx reply";
}

TEST_F(ProxyServerTest, HttpConnectWithBasicAuthentication) {
  EXPECT_EQ(echo_through(through(*http_auth_, PROXY_HTTP, kUser, kPassword), target_.port()), "ping");
  EXPECT_EQ(failure_of(through(*http_auth_, PROXY_HTTP, kUser, "wrong"), target_.port()), "proxy user or pwd error");
  EXPECT_EQ(failure_of(through(*http_auth_, PROXY_HTTP, "", ""), target_.port()), "proxy user or pwd error");
}

TEST_F(ProxyServerTest, Socks4) {
  EXPECT_EQ(echo_through(through(*socks_, PROXY_SOCKS4, "anyone", ""), target_.port()), "ping");
  EXPECT_EQ(failure_of(through(*socks_, PROXY_SOCKS4, "", ""), unused_port()), "proxy read return error");
}

TEST_F(ProxyServerTest, Socks5WithoutAuthentication) {
  EXPECT_EQ(echo_through(through(*socks_, PROXY_SOCKS5, "", ""), target_.port()), "ping");
  EXPECT_EQ(echo_through(through(*socks_, PROXY_SOCKS5, kUser, kPassword), target_.port()), "ping")
      << "a user is offered, the proxy picks no authentication";
  EXPECT_EQ(failure_of(through(*socks_, PROXY_SOCKS5, "", ""), unused_port()), "Connection refused!");
}

TEST_F(ProxyServerTest, Socks5WithUserAndPassword) {
  EXPECT_EQ(echo_through(through(*socks_auth_, PROXY_SOCKS5, kUser, kPassword), target_.port()), "ping");
  EXPECT_EQ(failure_of(through(*socks_auth_, PROXY_SOCKS5, kUser, "wrong"), target_.port()),
            "Proxy password or user name error");
  EXPECT_EQ(failure_of(through(*socks_auth_, PROXY_SOCKS5, "", ""), target_.port()), "Proxy read return error");
  EXPECT_EQ(failure_of(through(*socks_auth_, PROXY_SOCKS5, kUser, kPassword), unused_port()), "Connection refused!");
}

TEST_F(ProxyServerTest, ReconnectRebuildsTheSameLinkFromTheKeptParameters) {
  struct kept {
    const char *name;
    sock_param param;
  };
  const kept links[] = {
      {"http", through(*http_auth_, PROXY_HTTP, kUser, kPassword)},
      {"socks4", through(*socks_, PROXY_SOCKS4, "", "")},
      {"socks5", through(*socks_auth_, PROXY_SOCKS5, kUser, kPassword)},
  };
  for (const kept &k : links) {
    EXPECT_EQ(echo_through(k.param, target_.port()), "ping") << k.name;
    EXPECT_EQ(echo_through(k.param, target_.port()), "ping") << k.name << " again";
  }
}

}  // namespace
