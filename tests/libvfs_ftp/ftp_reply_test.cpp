// Reply reading on a control connection over a socket pair: single and multi-line replies, the
// lines that only look like an end, and replies that cannot be read.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "ftp/ftp_ctx.h"

namespace {

class FtpReply : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(os_socket_pair(pair_));
    conn_.chan.handle = pair_[0];
    conn_.chan.timeout = 500;
  }
  void TearDown() override { os_socket_exit(pair_[1]); }

  void peer_sends(const std::string &text) {
    ASSERT_EQ(os_socket_send(pair_[1], text.data(), static_cast<int>(text.size())),
              static_cast<int>(text.size()));
  }
  std::string peer_receives() {
    char buf[256];
    const int r = os_socket_recv(pair_[1], buf, sizeof buf);
    return r > 0 ? std::string(buf, r) : "";
  }

  uint32_t pair_[2] = {0, 0};
  FtpConn conn_;  // closes pair_[0]
};

TEST_F(FtpReply, SingleAndMultiLineReplies) {
  struct {
    const char *wire;
    int code;
    const char *text;
  } cases[] = {
      {"220 ready\r\n", 220, "220 ready\n"},
      {"226\r\n", 226, "226\n"},
      {"211-Features:\r\n MLST size*;\r\n211 End\r\n", 211,
       "211-Features:\n MLST size*;\n211 End\n"},
      {"250-first\r\n250-still going\r\n123 other code\r\n\r\n250 done\r\n", 250,
       "250-first\n250-still going\n123 other code\n\n250 done\n"},
      {"213-a\r\n 213 indented is no end\r\n213 5368709120\r\n", 213,
       "213-a\n 213 indented is no end\n213 5368709120\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.wire);
    peer_sends(c.wire);
    std::string text;
    EXPECT_EQ(ftp_reply(&conn_, &text), c.code);
    EXPECT_EQ(text, c.text);
    EXPECT_FALSE(conn_.lost);
  }
}

TEST_F(FtpReply, RepliesThatCannotBeReadLoseTheConnection) {
  peer_sends("hello there\r\n");
  EXPECT_EQ(ftp_reply(&conn_, nullptr), -1);
  EXPECT_TRUE(conn_.lost);
  conn_.lost = false;
  peer_sends("211-never ends\r\n");
  EXPECT_LE(ftp_reply(&conn_, nullptr), 0);  // time-out inside the multi-line reply
  EXPECT_TRUE(conn_.lost);
}

TEST_F(FtpReply, CommandsEndWithCrLfAndLineBreaksAreRefused) {
  peer_sends("200 ok\r\n");
  EXPECT_EQ(ftp_cmd(&conn_, nullptr, "TYPE %s", "I"), 200);
  EXPECT_EQ(peer_receives(), "TYPE I\r\n");
  EXPECT_EQ(ftp_cmd(&conn_, nullptr, "DELE %s", "a\r\nRMD b"), -1);
  EXPECT_EQ(ftp_cmd(&conn_, nullptr, "STOR %s", std::string(FTP_CMD_MAX, 'x').c_str()), -1);
  peer_sends("200 ok\r\n");
  EXPECT_EQ(ftp_cmd(&conn_, nullptr, "%s", std::string(FTP_CMD_MAX, 'x').c_str()), 200);
}

}  // namespace
