// One session through a pseudo-terminal, as an operator at a console meets the shell: tmux
// runs zmue in a detached session on its own server socket; the test types lines with
// send-keys and reads the screen with capture-pane. The tmux server is ended by its socket.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "shell_fixture.h"

namespace {

// Runs a command line and returns its standard output.
std::string run_capture(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

std::string sh_quote(const std::string &text) { return "'" + text + "'"; }

class ShellTerminalTest : public ShellProgramTest {
 protected:
  void SetUp() override {
    ShellProgramTest::SetUp();
    if (IsSkipped()) return;
    if (access("/usr/bin/tmux", X_OK) != 0) GTEST_SKIP() << "needs tmux";
    socket_ = dir() + "/tmux.sock";
  }
  void TearDown() override {
    if (!socket_.empty()) tmux("kill-server 2>/dev/null");
    ShellProgramTest::TearDown();
  }
  std::string tmux(const std::string &args) {
    return run_capture("/usr/bin/tmux -S " + sh_quote(socket_) + " " + args);
  }
  std::string screen() { return tmux("capture-pane -p -t zmsh"); }
  // Polls the screen until it holds text (bounded).
  bool wait_screen(const std::string &text, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 100) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  void type(const std::string &line) {
    tmux("send-keys -t zmsh -l " + sh_quote(line));
    tmux("send-keys -t zmsh Enter");
  }

  std::string socket_;
};

TEST_F(ShellTerminalTest, LinesTypedAtATerminal) {
  const std::string rc = dir() + "/rc";
  const std::string program = "cd " + sh_quote(dir()) + " && " + zmue_binary() + " -q 2>/dev/null; echo rc=$? > " + sh_quote(rc);
  tmux("new-session -d -s zmsh -x 120 -y 40 " + sh_quote(program));
  ASSERT_TRUE(wait_screen("Type `help` to learn how to use prompt\n>", 10000)) << screen();

  type("echo via tty; echo second");
  ASSERT_TRUE(wait_screen(">echo via tty; echo second\nvia tty\nsecond\n>", 10000)) << screen();
  type("");  // repeats the last line
  ASSERT_TRUE(wait_screen("second\n>\nvia tty\nsecond\n>", 10000)) << screen();
  type("quit");

  std::string status;
  for (int waited = 0; waited < 10000 && status.empty(); waited += 100) {
    std::ifstream(rc) >> status;
    if (status.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(status, "rc=0");
}

}  // namespace
