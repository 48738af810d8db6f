// Sessions through a real HTTP proxy (tinyproxy, started by the test on 127.0.0.1): the connect
// and every reconnect go through the proxy named by the base64 "proxy_url", with and without
// Basic authentication, and a reconnect never falls back to a direct connection.
#include <string>

#include "net_peer.h"
#include "pal_url.h"
#include "server_process.h"
#include "session_fixture.h"
#include "temp_dir.h"

namespace {

constexpr char kTinyproxy[] = "/usr/bin/tinyproxy";
constexpr char kProxyUser[] = "zmproxy";
constexpr char kProxyPassword[] = "pr0xy-Pass";

std::string base64(const std::string &text) {
  char out[URL_PART_SIZE];
  return str_base64_encode(text.data(), text.size(), out, sizeof out) < 0 ? "" : out;
}

class SessionProxyTest : public SessionTest {
 protected:
  void start_proxy(bool with_auth) {
    if (!program_exists(kTinyproxy)) GTEST_SKIP() << "tinyproxy is not installed";
    proxy_port_ = unused_port();
    std::string conf =
        "Port " + std::to_string(proxy_port_) +
        "\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nMaxClients 8\nLogLevel Info\n";
    if (with_auth) conf += std::string("BasicAuth ") + kProxyUser + " " + kProxyPassword + "\n";
    proxy_ = std::make_unique<server_process>(
        std::vector<std::string>{kTinyproxy, "-d", "-c", dir_.write("tinyproxy.conf", conf)},
        dir_.file("tinyproxy.log"));
    ASSERT_TRUE(proxy_->wait_port(proxy_port_)) << proxy_->log();
  }
  std::string proxy_query(const std::string &credentials) const {
    const std::string at = credentials.empty() ? "" : credentials + "@";
    return "proxy_url=" + base64("http://" + at + "127.0.0.1:" + std::to_string(proxy_port_));
  }
  // How many tunnels the proxy has opened to the peer.
  int tunnels_to_peer() const {
    const std::string wanted = "CONNECT 127.0.0.1:" + std::to_string(port());
    const std::string log = proxy_->log();
    int count = 0;
    for (size_t at = log.find(wanted); at != std::string::npos; at = log.find(wanted, at + 1))
      ++count;
    return count;
  }

  temp_dir dir_;
  int proxy_port_ = 0;
  std::unique_ptr<server_process> proxy_;
};

TEST_F(SessionProxyTest, ConnectAndReconnectGoThroughTheProxy) {
  start_peer({"-u", "alice:pw"});
  start_proxy(false);
  session_ptr s(zmsd_cli_connect(url("alice:pw", proxy_query("")).c_str(), &err));
  ASSERT_TRUE(s) << err.code << " " << err.text << "\n" << proxy_->log();
  EXPECT_EQ(tunnels_to_peer(), 1) << proxy_->log();
  ASSERT_EQ(zmsd_cli_reconnect(s.get()), 0) << zmsd_cli_last_error(s.get());
  EXPECT_EQ(tunnels_to_peer(), 2) << proxy_->log();
  EXPECT_EQ(zmsd_cli_ver_info(s.get()), 0) << "the new tunnel carries requests";
}

TEST_F(SessionProxyTest, ReconnectNeverBypassesAVanishedProxy) {
  start_peer({});
  start_proxy(false);
  session_ptr s(zmsd_cli_connect(url("", proxy_query("") + "&connect_timeout=1").c_str(), &err));
  ASSERT_TRUE(s) << err.text << "\n" << proxy_->log();
  proxy_->stop();
  EXPECT_EQ(zmsd_cli_reconnect(s.get()), -1) << "the server itself is still reachable directly";
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_TIMEOUT);
  EXPECT_STREQ(zmsd_cli_last_error(s.get()), "connect timeout error");
}

TEST_F(SessionProxyTest, AuthenticatingProxyAcceptsTheUrlsCredentialsAndLogsHideThem) {
  start_peer({});
  start_proxy(true);
  {
    log_capture log;
    session_ptr s(zmsd_cli_connect(
        url("", proxy_query(std::string(kProxyUser) + ":" + kProxyPassword)).c_str(), &err));
    ASSERT_TRUE(s) << err.code << " " << err.text << "\n" << proxy_->log();
    ASSERT_EQ(zmsd_cli_reconnect(s.get()), 0) << zmsd_cli_last_error(s.get());
    EXPECT_EQ(tunnels_to_peer(), 2) << proxy_->log();
    for (const std::string &line : log.lines())
      EXPECT_EQ(line.find(kProxyPassword), std::string::npos) << line;
  }
  err = verr_info{};
  session_ptr refused(
      zmsd_cli_connect(url("", proxy_query(std::string(kProxyUser) + ":wrong")).c_str(), &err));
  EXPECT_FALSE(refused);
  EXPECT_STREQ(err.text, "proxy user or pwd error");
}

}  // namespace
