// The syslog sink against a real receiver: socat listening on 127.0.0.1 (UDP or TCP) writes
// every byte it gets into a file, which the test reads back.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log2.h"
#include "log_test_util.h"

extern char **environ;

namespace {

// 0 when a socket of this type can bind the port on 127.0.0.1 right now.
int try_bind(int type, uint16_t port, uint16_t *bound) {
  const int fd = socket(AF_INET, type, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  int rc = bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
  if (rc == 0 && bound) {
    socklen_t len = sizeof addr;
    rc = getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    *bound = ntohs(addr.sin_port);
  }
  close(fd);
  return rc;
}

class SyslogReceiver {
 public:
  SyslogReceiver(bool tcp, const std::string &out) : tcp_(tcp) {
    const int type = tcp ? SOCK_STREAM : SOCK_DGRAM;
    if (try_bind(type, 0, &port_) != 0) return;
    const std::string port = std::to_string(port_);
    const std::string listen = tcp ? "TCP-LISTEN:" + port + ",bind=127.0.0.1,reuseaddr"
                                   : "UDP-RECV:" + port + ",bind=127.0.0.1";
    const std::string sink = "OPEN:" + out + ",creat,append";
    std::vector<std::string> args = {"socat", "-u", listen, sink};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "socat", nullptr, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
      return;
    }
    // Listening once the port can no longer be bound; at most 5 s.
    for (int i = 0; i < 100 && try_bind(type, port_, nullptr) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~SyslogReceiver() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool listening() const { return pid_ > 0 && try_bind(tcp_ ? SOCK_STREAM : SOCK_DGRAM, port_, nullptr) != 0; }
  uint16_t port() const { return port_; }

 private:
  bool tcp_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// Waits (at most 5 s) until the file holds count NUL-terminated messages; returns them.
std::vector<std::string> wait_messages(const std::string &path, size_t count) {
  std::vector<std::string> messages;
  for (int i = 0; i < 100; ++i) {
    const std::string text = read_file(path);
    messages.clear();
    size_t begin = 0;
    for (size_t end; (end = text.find('\0', begin)) != std::string::npos; begin = end + 1)
      messages.push_back(text.substr(begin, end - begin));
    if (messages.size() >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return messages;
}

class LogSyslog : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    tcp_ = std::string(GetParam()) == "tcp";
    receiver_ = std::make_unique<SyslogReceiver>(tcp_, out());
    ASSERT_TRUE(receiver_->listening()) << "socat did not start (install it with scripts/install-deps.sh)";
    ctx_ = quiet_ctx("time|tid|func");
    const std::string url = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(receiver_->port());
    ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_SYSLOG_URL, const_cast<char *>(url.c_str()), 0), 0);
    ASSERT_EQ(log2_ioctl(ctx_.get(), LOG2_IOCTL_SYSLOG_ON, log2_arg(1), 0), 0);
  }
  void TearDown() override {
    ctx_.reset();  // closes the TCP connection before the receiver goes
    receiver_.reset();
  }
  std::string out() const { return dir_.file("received"); }

  bool tcp_ = false;
  temp_dir dir_;
  std::unique_ptr<SyslogReceiver> receiver_;
  log_ctx_ptr ctx_;
};

TEST_P(LogSyslog, MessagesCarryPriorityStampHostTagPidAndLineWithoutTime) {
  log2_printf(ctx_.get(), LOG2_ERR, "vfs", __FILE__, __LINE__, "mount", "no route %d\n", 3);
  log2_printf(ctx_.get(), LOG2_DBG, "", __FILE__, __LINE__, "probe", "quiet\n");
  log2_printf(ctx_.get(), LOG2_CRIT | LOG2_NOEXIT, "net", __FILE__, __LINE__, nullptr, "bad\n");
  const std::vector<std::string> got = wait_messages(out(), 3);
  ASSERT_EQ(got.size(), 3u) << read_file(out());
  const std::string pid = std::to_string(getpid());
  const std::string stamp = R"([A-Z][a-z]{2} [ 1-3]\d \d\d:\d\d:\d\d \S+ )";
  EXPECT_TRUE(std::regex_match(got[0], std::regex("<11>" + stamp + "vfs\\[" + pid + R"(\]: \[\d+\] mount\(\): no route 3\n)")))
      << got[0];
  EXPECT_TRUE(std::regex_match(got[1], std::regex("<15>" + stamp + "<someone>\\[" + pid + R"(\]: \[\d+\] probe\(\): quiet\n)")))
      << got[1];
  EXPECT_TRUE(std::regex_match(got[2], std::regex("<10>" + stamp + "net\\[" + pid + R"(\]: \[\d+\] bad\n)")))
      << got[2];
}

TEST_P(LogSyslog, LongLineIsCutTo800Characters) {
  const std::string big(3000, 'z');
  log2_printf(ctx_.get(), LOG2_WARN, "vfs", __FILE__, __LINE__, "f", "%s\n", big.c_str());
  const std::vector<std::string> got = wait_messages(out(), 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].rfind("<12>", 0), 0u);
  const size_t body = got[0].find("]: ") + 3;
  EXPECT_EQ(got[0].size() - body, 800u);
  EXPECT_EQ(got[0].back(), 'z');
}

TEST(LogSyslogDown, MissingReceiverIsReportedAndTheLineStillWritten) {
  uint16_t port = 0;
  ASSERT_EQ(try_bind(SOCK_STREAM, 0, &port), 0);  // free now, and nobody listens on it
  log_ctx_ptr ctx = quiet_ctx("");
  const std::string url = "tcp://127.0.0.1:" + std::to_string(port);
  ASSERT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_SYSLOG_URL, const_cast<char *>(url.c_str()), 0), 0);
  ASSERT_EQ(log2_ioctl(ctx.get(), LOG2_IOCTL_SYSLOG_ON, log2_arg(1), 0), 0);
  testing::internal::CaptureStderr();
  EXPECT_GT(log2_printf(ctx.get(), LOG2_ERR, "vfs", __FILE__, __LINE__, "f", "lost\n"), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("failed to connect to 127.0.0.1 port " + std::to_string(port)), std::string::npos) << err;
  EXPECT_NE(err.find("syslog_write " + url + " err\n"), std::string::npos) << err;
  EXPECT_EQ(last_lines(ctx.get()), "lost\n");
}

INSTANTIATE_TEST_SUITE_P(Transports, LogSyslog, ::testing::Values("udp", "tcp"));

}  // namespace
