// A peer whose context keeps running (a held reply, stop requests ignored) makes link recovery
// fail while a file is open: the read that timed out fails, the mount is broken, the next read
// fails without a request to the peer, and the heartbeat unmounts within about one pass (5 s),
// which ends zmue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "peer_mount.h"

namespace {

constexpr uint64_t kHeld = 60;  // the request whose reply the peer holds; the test steers its read there
constexpr auto kHeartbeatPass = std::chrono::milliseconds(5000);
constexpr auto kSlack = std::chrono::milliseconds(3000);  // a loaded machine

TEST(RunningContext, FailedRecoveryBreaksTheMountAndTheHeartbeatUnmounts) {
  const std::string why = e2e::missing_prerequisite();
  if (!why.empty()) GTEST_SKIP() << why;
  recovery::peer_mount m;
  ASSERT_TRUE(m.start({"--delay", "60000", "--delay-at", std::to_string(kHeld), "--ignore-stop"},
                      "options=rw&read_timeout=2"))
      << m.why();
  ASSERT_TRUE(e2e::write_all(m.backing() + "/held", std::string(1 << 20, 'h')));
  const int fd = open((m.mnt() + "/held").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << strerror(errno);
  // Each lookup of a missing name is one request; the read that follows is the held one.
  for (int i = 0; m.requests().size() + 1 < kHeld && i < int(kHeld); ++i) {
    struct stat st{};
    (void)stat((m.mnt() + "/missing-" + std::to_string(i)).c_str(), &st);
  }
  ASSERT_EQ(m.requests().size() + 1, kHeld) << "the padding went past the held request";

  char buf[4096];
  EXPECT_EQ(pread(fd, buf, sizeof buf, 0), -1) << "the read whose context never stops";
  const auto failed_at = std::chrono::steady_clock::now();
  const auto seen = m.requests();
  ASSERT_GE(seen.size(), kHeld);
  EXPECT_NE(m.zmue().log().find("ctx thread now is runing"), std::string::npos) << m.zmue().log();

  EXPECT_EQ(pread(fd, buf, sizeof buf, 512 << 10), -1) << "a broken mount still read";
  EXPECT_EQ(m.requests().size(), seen.size()) << "the broken mount sent a request";

  EXPECT_EQ(m.zmue().wait_exit(int((kHeartbeatPass + kSlack).count())), 0) << m.zmue().log();
  EXPECT_LE(std::chrono::steady_clock::now() - failed_at, kHeartbeatPass + kSlack);
  EXPECT_FALSE(e2e::fuse_mounted(m.mnt()));
  close(fd);
}

}  // namespace
