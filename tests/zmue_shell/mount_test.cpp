// `mount` from the shell: it serves a local directory through the kernel and keeps the shell
// waiting until the mount is taken down from outside, after which the shell prompts again.
// A mount request that cannot be served answers with its reason and the log file.
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "shell_fixture.h"

namespace {

bool is_mounted(const std::string &point) {
  for (const std::string &at : mount_points()) {
    if (at == point) return true;
  }
  return false;
}

bool wait_mounted(const std::string &point, bool mounted, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    if (is_mounted(point) == mounted) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return is_mounted(point) == mounted;
}

std::string nul(const std::string &text) { return text + '\0'; }

class ShellMountTest : public ShellProgramTest {
 protected:
  void SetUp() override {
    ShellProgramTest::SetUp();
    if (IsSkipped()) return;
    if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "needs /dev/fuse";
    std::filesystem::create_directory(src());
    std::ofstream(src() + "/hello.txt") << "hello through the mount\n";
  }
  std::string src() const { return dir() + "/src"; }
  std::string mnt() const { return dir() + "/mnt"; }
};

TEST_F(ShellMountTest, MountBlocksUntilUnmountedFromOutside) {
  shell_session zmue(dir(), {"-q"});
  ASSERT_TRUE(zmue.send("mount " + src() + "?fuse_mount_point=" + mnt() + "\n"));
  ASSERT_TRUE(wait_mounted(mnt(), true, 10000)) << zmue.err();

  std::ifstream through(mnt() + "/hello.txt");
  std::string text;
  std::getline(through, text);
  through.close();
  EXPECT_EQ(text, "hello through the mount");

  // The shell is inside `mount`: a line typed now waits for the mount to end.
  ASSERT_TRUE(zmue.send("echo back\n"));
  EXPECT_FALSE(zmue.wait_output("back", 1, 500));

  int res = -1;
  for (int tries = 0; tries < 50 && (res = umount2(mnt().c_str(), 0)) != 0 && errno == EBUSY; ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(res, 0) << strerror(errno);
  ASSERT_TRUE(zmue.wait_output("back\r\n", 1, 10000)) << show_nul(zmue.out()) << zmue.err();

  ASSERT_TRUE(zmue.send("quit\n"));
  EXPECT_EQ(zmue.wait_exit(15000), 0);
  EXPECT_EQ(show_nul(zmue.out()),
            show_nul(kHint + ">" + nul("") + ">" + nul("back\r\n") + ">" + nul("") + nul("")));
  EXPECT_FALSE(is_mounted(mnt()));
}

TEST_F(ShellMountTest, RefusedMountShowsTheReasonAndTheLogFile) {
  const std::string log = dir() + "/zmue.log";
  shell_session zmue(dir(), {"-q", "-o", log});
  ASSERT_TRUE(zmue.send("mount " + src() + "; echo skipped\n"));
  zmue.close_input();
  EXPECT_EQ(zmue.wait_exit(15000), 0);
  const std::string &out = zmue.out();
  const std::string head = kHint + ">error: ";
  const std::string tail = " log_file=[" + log + "]\r\n" + nul("") + ">";
  ASSERT_GE(out.size(), head.size() + tail.size()) << show_nul(out);
  EXPECT_EQ(out.substr(0, head.size()), head) << show_nul(out);
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << show_nul(out);
  EXPECT_FALSE(is_mounted(mnt()));
}

}  // namespace
