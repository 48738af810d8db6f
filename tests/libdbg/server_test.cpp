// The shell server loop as a client meets it: replies with "\r\n" line ends and a NUL each,
// the repeat of the last line, overlong lines, the end of input and exit, the prompt and the
// hint of STDIO mode, and refused modes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "debug_shell.h"

namespace {

// Reads until the peer closes or nothing arrives for timeout_ms.
std::string read_all(int fd, int timeout_ms = 3000) {
  std::string text;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return text;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buf, static_cast<size_t>(n));
  }
}

bool write_all(int fd, const std::string &text) {
  return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// A NET-mode loop on one end of a socket pair, in its own thread; the test is the client.
class ServerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(libsh_init(), 0); }
  void TearDown() override { libsh_exit(); }

  struct session {
    int client = -1;
    int loop_result = -99;
    std::thread loop;
  };
  static void start(session &s) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    s.client = fds[0];
    // The channel takes a socket as its handle (descriptor + 1), non-blocking like all of them.
    ASSERT_EQ(fcntl(fds[1], F_SETFL, O_NONBLOCK), 0);
    s.loop = std::thread([&s, server = fds[1] + 1] {
      sh_ctx ctx;
      net_sock channel;
      s.loop_result = dbgsh_srv_ctx_init(&ctx, &channel, SH_MODE_NET, static_cast<uint32_t>(server));
      if (s.loop_result == 0) s.loop_result = dbgsh_srv_imp(&ctx);
    });
  }
  // Everything the loop wrote until it closed its end; then the loop's result.
  static std::string finish(session &s) {
    std::string out = read_all(s.client);
    s.loop.join();
    close(s.client);
    return out;
  }
  // Sends the input and ends it.
  static std::string converse(const std::string &input, int *loop_result = nullptr) {
    session s;
    start(s);
    EXPECT_TRUE(write_all(s.client, input));
    shutdown(s.client, SHUT_WR);
    std::string out = finish(s);
    if (loop_result) *loop_result = s.loop_result;
    return out;
  }
};

std::string nul(const std::string &text) { return text + '\0'; }

TEST_F(ServerTest, RepliesInCrLfLinesEndedByNul) {
  struct reply_case {
    const char *input;
    std::string out;
  };
  const reply_case cases[] = {
      {"echo -e 'a\\nb'\n", nul("a\r\nb\r\n")},
      {"echo one; echo two\n", nul("one\r\n") + nul("two\r\n")},
      {"echo -n 'x  '\n", nul("x")},  // an unfinished line loses its trailing blanks
      {"  echo hi  \r\n", nul("hi\r\n")},
      {"echo hi\n\n", nul("hi\r\n") + nul("hi\r\n")},  // the empty line repeats the last one
      {"nosuch\n", nul("command not found: [nosuch]\r\nType `help` to learn how to use prompt\r\n")},
  };
  for (const reply_case &c : cases) {
    SCOPED_TRACE(c.input);
    int loop_result = -99;
    EXPECT_EQ(converse(c.input, &loop_result), c.out);
    EXPECT_EQ(loop_result, 0);
  }
}

TEST_F(ServerTest, QuitEndsTheLoopAfterTheLine) {
  session s;
  start(s);
  ASSERT_TRUE(write_all(s.client, "quit; echo still\necho never\n"));
  EXPECT_EQ(finish(s), nul("") + nul("") + nul("still\r\n"));  // closed without end of input
  EXPECT_EQ(s.loop_result, 0);
}

// A line that does not fit the channel's line buffer is a failed read: the session ends.
TEST_F(ServerTest, OverlongNetworkLineEndsTheSession) {
  int loop_result = -99;
  EXPECT_EQ(converse("echo " + std::string(5000, 'x') + "\necho next\n", &loop_result), "");
  EXPECT_EQ(loop_result, 0);
}

TEST(ServerSetup, RefusesUnknownModes) {
  sh_ctx ctx;
  net_sock channel;
  for (uint32_t mode : {2u, 4u}) EXPECT_EQ(dbgsh_srv_ctx_init(&ctx, &channel, mode, 0), -1);
}

TEST(ServerSetup, PromptIsCutAndDefaults) {
  const std::string long_prompt(40, 'p');
  debug_shell_param param{long_prompt.c_str()};
  EXPECT_EQ(debug_shell_init(&param), 0);
  EXPECT_EQ(std::string(debug_shell_prompt()), long_prompt.substr(0, 31));
  param.prompt = nullptr;
  EXPECT_EQ(debug_shell_init(&param), 0);
  EXPECT_STREQ(debug_shell_prompt(), ">");
  param.prompt = "zm>";
  EXPECT_EQ(debug_shell_init(&param), 0);
  EXPECT_EQ(debug_shell_init(nullptr), 0);
  EXPECT_STREQ(debug_shell_prompt(), ">");
}

// STDIO mode in a child whose standard input and output are pipes: hint, prompt before every
// line, an overlong line cut with its rest dropped, a last line without its line feed, and the
// end of input ending the loop with 0.
TEST(ServerStdio, PromptsAndEndsWithItsInput) {
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    close(in[1]);
    close(out[0]);
    debug_shell_param param{"zm>"};
    if (libsh_init() != 0 || debug_shell_init(&param) != 0) _exit(3);
    _exit(debug_shell_stdio_loop());
  }
  close(in[0]);
  close(out[1]);
  const std::string word(5000, 'x');
  std::thread writer([&] {
    EXPECT_TRUE(write_all(in[1], "echo hi\n\necho -n\necho " + word + "\necho next"));
    close(in[1]);
  });
  std::string text = read_all(out[0], 5000);
  writer.join();
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string cut = word.substr(0, SH_LINE_SIZE - 1 - 5);
  EXPECT_EQ(text, "\nType `help` to learn how to use prompt\n"
                  "zm>" + nul("hi\r\n") + "zm>" + nul("hi\r\n") + "zm>" + nul("") +
                  "zm>" + nul(cut + "\r\n") + "zm>" + nul("next\r\n") + "zm>");
}

}  // namespace
