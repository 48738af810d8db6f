// Proxy passwords never reach a log line in clear: the HTTP request is logged with "***" in place
// of its credentials, and SOCKS5 authentication and every settings path log no password at all.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "net.h"
#include "net_peer.h"
#include "pal_log.h"
#include "temp_dir.h"

namespace {

// Records every log line, from any thread, while it lives.
class line_recorder {
 public:
  line_recorder() { pal_log_set_sink(&record); }
  ~line_recorder() { pal_log_set_sink(nullptr); }
  static std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mu());
    return store();
  }

 private:
  static std::mutex &mu() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string> &store() {
    static std::vector<std::string> s;
    return s;
  }
  static int record(uint32_t, const char *, const char *, int, const char *, const char *fmt, va_list ap) {
    char text[8192];
    const int n = vsnprintf(text, sizeof text, fmt, ap);
    std::lock_guard<std::mutex> lock(mu());
    store().push_back(text);
    return n < 0 ? 0 : n;
  }
};

constexpr char kPassword[] = "Tr0ub4dor";
constexpr char kBasic[] = "bWFsbG9yeTpUcjB1YjRkb3I=";  // "mallory:Tr0ub4dor"

// Answers a handshake the client starts, so that the client goes through every step.
void run_client(int32_t type, const std::string &reply) {
  scripted_peer proxy([reply](net_sock *chan) {
    char buf[256];
    (void)net_read(chan, buf, 1);
    (void)net_write(chan, reply.data(), int(reply.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  sock_param p{};
  p.connect_timeout = 300;
  p.proxy.type = type;
  p.proxy.port = proxy.port();
  snprintf(p.proxy.ip, sizeof p.proxy.ip, "127.0.0.1");
  snprintf(p.proxy.user, sizeof p.proxy.user, "mallory");
  snprintf(p.proxy.pwd, sizeof p.proxy.pwd, "%s", kPassword);
  os_socket_exit(sock_connect("10.0.0.7", 80, &p, nullptr));
  proxy_conf_clear(&p.proxy);
}

TEST(ProxySecrets, NoLogLineShowsAPassword) {
  temp_dir dir;
  const std::string ini = dir.write("p.ini", "[x]\nproto=http\nip=gw\nport=1\nuser=mallory\npwd=547230756234646F72\n");
  {
    line_recorder rec;
    run_client(PROXY_HTTP, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n");
    run_client(PROXY_SOCKS5, std::string("\x05\x02\x01\x01", 4));
    proxy_conf out{};
    verr_info err{};
    EXPECT_EQ(conf_proxy_get("http://mallory:Tr0ub4dor@gw:1", "", &out, &err), 0);
    setenv("ZM_PROXY_FILE", ini.c_str(), 1);
    EXPECT_EQ(conf_proxy_get("", "x", &out, &err), 0);
    unsetenv("ZM_PROXY_FILE");
    EXPECT_STREQ(out.pwd, kPassword);
  }
  bool masked_request = false;
  for (const std::string &line : line_recorder::lines()) {
    EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
    EXPECT_EQ(line.find(kBasic), std::string::npos) << line;
    EXPECT_EQ(line.find("547230756234646F72"), std::string::npos) << line;
    if (line.find("Proxy-Authorization: Basic ***\r\n") != std::string::npos) masked_request = true;
  }
  EXPECT_TRUE(masked_request) << "the request is logged, with its credentials masked";
}

}  // namespace
