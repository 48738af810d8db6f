// A server that stops answering while mounted: the reference peer stopped with SIGSTOP, the peer
// told to read on and answer nothing (SIGUSR1), a peer silent from the start, and proftpd stopped
// with SIGSTOP. An application read and stat through the mount must fail with an errno within the
// time-out bound, the heartbeat must then take the broken mount away, and zmue must exit with
// status 0. The measured times are printed. Stopped servers are continued in every teardown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <thread>

#include "hostile_env.h"
#include "peer_process.h"
#include "proftpd_server.h"

namespace {

constexpr int kHeartbeatWaitMs = 20000;  // one heartbeat pass is 5 s; its probe may time out
constexpr int kExitWaitMs = 10000;
// FTP: 2 s connect and I/O time-outs; a command on a pooled connection, then a new login.
constexpr int kFtpOperationBoundMs = 3 * (2000 + 2000) + 2000;

// Continues a stopped process however the test ends.
class continue_on_exit {
 public:
  explicit continue_on_exit(std::function<void()> resume) : resume_(std::move(resume)) {}
  ~continue_on_exit() { resume_(); }

 private:
  std::function<void()> resume_;
};

void write_file(const std::string &path, size_t size) { std::ofstream(path) << std::string(size, 's'); }

bool wait_for_text(const std::function<std::string()> &text, const std::string &wanted, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    if (text().find(wanted) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int read_some(int fd) {
  char buf[65536];
  return int(read(fd, buf, sizeof buf));
}

int stat_path(const std::string &path) {
  struct stat st{};
  return stat(path.c_str(), &st);
}

// The two operations on a hung server, in the given order; both must fail in bounded time.
struct hung_ops {
  hostile::timed_result read, stat;
};

void expect_failed_in_time(const char *what, const hostile::timed_result &r, int bound_ms) {
  EXPECT_EQ(r.result, -1) << what << " succeeded on a server that does not answer";
  EXPECT_GT(r.eno, 0) << what << " failed without an errno";
  EXPECT_LE(r.ms, bound_ms) << what << " blocked too long";
}

// After the failures the heartbeat takes the mount away and zmue ends with status 0.
long expect_clean_end(e2e::mounted_tree &tree) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(tree.wait_unmounted(kHeartbeatWaitMs)) << "the broken mount stayed:\n" << tree.process.log();
  const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count());
  const int status = tree.process.wait_exit(kExitWaitMs);
  EXPECT_EQ(status, 0) << hostile::describe_status(status) << "\n" << tree.process.log();
  EXPECT_FALSE(e2e::fuse_mounted(tree.mnt));
  return ms;
}

class StalledServer : public testing::Test {
 protected:
  void SetUp() override {
    const std::string why = e2e::missing_prerequisite();
    if (!why.empty()) GTEST_SKIP() << why;
  }

  // A mounted peer with a file opened (not yet read) through the mount.
  void mount_peer(const std::vector<std::string> &peer_args) {
    ASSERT_TRUE(peer_.start(peer_args)) << peer_.stderr_text();
    write_file(peer_.dir() + "/data", 1 << 20);
    tree_ = hostile::make_tree("zmp://127.0.0.1:" + std::to_string(peer_.port()) + "/", peer_.dir());
    ASSERT_TRUE(tree_->mount(hostile::zmp_query())) << tree_->process.log() << peer_.stderr_text();
    fd_ = open((tree_->mnt + "/data").c_str(), O_RDONLY);
    ASSERT_GE(fd_, 0) << strerror(errno);
  }

  hung_ops run_hung(bool read_first) {
    hung_ops ops{};
    const std::string fresh = tree_->mnt + "/never-looked-up";
    if (read_first) ops.read = hostile::timed([&] { return read_some(fd_); });
    ops.stat = hostile::timed([&] { return stat_path(fresh); });
    if (!read_first) ops.read = hostile::timed([&] { return read_some(fd_); });
    const int bound = hostile::operation_bound_ms();
    expect_failed_in_time("read", ops.read, bound);
    expect_failed_in_time("stat", ops.stat, bound);
    return ops;
  }

  void TearDown() override {
    if (fd_ >= 0) close(fd_);
  }

  PeerProcess peer_;
  std::unique_ptr<e2e::mounted_tree> tree_;  // after the peer: unmounted before the peer stops
  int fd_ = -1;
};

TEST_F(StalledServer, ZmpPeerStoppedBySigstop) {
  mount_peer({});
  const pid_t pid = peer_.pid();
  continue_on_exit resume([pid] { kill(pid, SIGCONT); });
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  const hung_ops ops = run_hung(true);
  const long unmount_ms = expect_clean_end(*tree_);
  std::cout << "zmp SIGSTOP: read failed after " << ops.read.ms << " ms (" << strerror(ops.read.eno)
            << "), stat after " << ops.stat.ms << " ms (" << strerror(ops.stat.eno) << "), unmounted "
            << unmount_ms << " ms later; bound " << hostile::operation_bound_ms() << " ms\n";
}

TEST_F(StalledServer, ZmpPeerThatReadsButNeverReplies) {
  mount_peer({});
  ASSERT_EQ(kill(peer_.pid(), SIGUSR1), 0);
  ASSERT_TRUE(wait_for_text([&] { return peer_.stderr_text(); }, "stall requested by signal", 5000));
  const hung_ops ops = run_hung(false);
  const long unmount_ms = expect_clean_end(*tree_);
  std::cout << "zmp never-reply: stat failed after " << ops.stat.ms << " ms (" << strerror(ops.stat.eno)
            << "), read after " << ops.read.ms << " ms (" << strerror(ops.read.eno) << "), unmounted "
            << unmount_ms << " ms later; bound " << hostile::operation_bound_ms() << " ms\n";
  EXPECT_NE(peer_.stderr_text().find("stalled: request"), std::string::npos);
}

// A peer that accepts and never answers from the first request: the mount is refused and zmue
// ends with its failure status in bounded time.
TEST_F(StalledServer, ZmpPeerSilentFromTheStartRefusesTheMount) {
  ASSERT_TRUE(peer_.start({"--stall-after", "1"})) << peer_.stderr_text();
  tree_ = hostile::make_tree("zmp://127.0.0.1:" + std::to_string(peer_.port()) + "/", peer_.dir());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(tree_->mount(hostile::zmp_query()));
  const int status = tree_->process.wait_exit(hostile::operation_bound_ms());
  const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count());
  EXPECT_EQ(status, 255) << hostile::describe_status(status) << "\n" << tree_->process.log();
  EXPECT_FALSE(e2e::fuse_mounted(tree_->mnt));
  std::cout << "zmp silent at mount: zmue ended with " << hostile::describe_status(status) << " after "
            << ms << " ms\n";
}

TEST(StalledFtpServer, ProftpdStoppedBySigstop) {
  std::string why = e2e::missing_prerequisite();
  if (why.empty()) why = ProftpdServer::missing_prerequisite();
  if (!why.empty()) GTEST_SKIP() << why;
  ProftpdServer server;
  ASSERT_TRUE(server.start()) << server.why();
  write_file(server.home() + "/data", 8 << 20);
  auto tree = hostile::make_tree(server.user_url(), server.home());
  ASSERT_TRUE(tree->mount("options=rw")) << tree->process.log();
  const int fd = open((tree->mnt + "/data").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << strerror(errno);
  ASSERT_GT(read_some(fd), 0) << "the download runs before the server stops";
  continue_on_exit resume([&] {
    close(fd);
    server.signal_all(SIGCONT);
  });
  server.signal_all(SIGSTOP);
  // What the socket buffers still hold comes at once; the read that finds them empty must fail.
  hostile::timed_result read{};
  for (int i = 0; i < 8 * 16; ++i) {
    read = hostile::timed([&] { return read_some(fd); });
    if (read.result <= 0) break;
  }
  expect_failed_in_time("read", read, kFtpOperationBoundMs);
  const hostile::timed_result st = hostile::timed([&] { return stat_path(tree->mnt + "/never-looked-up"); });
  expect_failed_in_time("stat", st, kFtpOperationBoundMs);
  const long unmount_ms = expect_clean_end(*tree);
  std::cout << "ftp SIGSTOP: read failed after " << read.ms << " ms (" << strerror(read.eno) << "), stat after "
            << st.ms << " ms (" << strerror(st.eno) << "), unmounted " << unmount_ms << " ms later; bound "
            << kFtpOperationBoundMs << " ms\n";
}

}  // namespace
