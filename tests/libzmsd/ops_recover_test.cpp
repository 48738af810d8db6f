// Link recovery against the reference peer's fault injection: the link is cut when a chosen
// request arrives, before or after the peer executed it, in the middle of a read, a write and a
// listing. The caller sees no error, no byte is lost or doubled, a write that ran is not run again,
// and the session's count follows the server's. A recovery that cannot work is final.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ops_fixture.h"
#include "sd_session.h"

namespace {

enum : int { CMD_READ = 12, CMD_WRITE = 13, CMD_SERVER_CONTROL = 8 };

// Requests before the operation: probe, compressor, information, retention (101), number (102).
constexpr int kSetupRequests = 5;
constexpr uint32_t kRead = 0x1, kWrite = 0x2, kCreate = 0x8, kTrunc = 0x20;

class OpsRecoverTest : public OpsTest {
 protected:
  // A session at the current position commands (1.6.3) with recovery on and 64 KiB chunks.
  session_ptr recovering_session(const std::string &query = "mblock-size=64k&rdir-size=4k") {
    session_ptr s = connect(query);
    if (s) {
      EXPECT_EQ(zmsd_cli_set_auto_reconnect(s.get()), 0) << zmsd_cli_last_error(s.get());
    }
    return s;
  }
  // The count of commands the session sent, against the peer's count for its context.
  static uint64_t sent_count(zmsd_session *s) { return s->link.cmd_count; }
};

enum class op { read, write, list };

struct drop_case {
  const char *name;
  op what;
  const char *mode;  // --drop-before or --drop-after
};

std::string names_text(const std::vector<std::string> &names) {
  std::string all;
  for (const std::string &n : names) all += n + "\n";
  return all;
}

TEST_F(OpsRecoverTest, DroppedLinkInTheMiddleOfAnOperationIsRepaired) {
  const std::vector<drop_case> cases = {
      {"read, cut before the request runs", op::read, "--drop-before"},
      {"read, cut after it ran", op::read, "--drop-after"},
      {"write, cut before", op::write, "--drop-before"},
      {"write, cut after: the chunk is not written twice", op::write, "--drop-after"},
      {"listing, cut before", op::list, "--drop-before"},
      {"listing, cut after", op::list, "--drop-after"},
  };
  const std::string data = random_bytes(256 << 10);
  for (const drop_case &c : cases) {
    SCOPED_TRACE(c.name);
    // Request 6 opens; 8 carries the second chunk. The peer numbers requests over all links, so
    // the recovery's own requests follow on from there.
    start_peer({"--ver", "1.6.3", c.mode, std::to_string(kSetupRequests + 3)});
    std::vector<std::string> want;
    if (c.what == op::read) put_file("f", data);
    if (c.what == op::list)
      for (int i = 0; i < 300; ++i) {
        want.push_back("entry-with-a-long-name-" + std::to_string(i));
        put_file(want.back(), "");
      }
    session_ptr s = recovering_session();
    ASSERT_TRUE(s);
    if (c.what == op::list) {
      zmsd_dir *d = zmsd_cli_opendir(s.get(), "/", nullptr);
      ASSERT_NE(d, nullptr);
      std::vector<std::string> got;
      while (zmsd_dirent *e = zmsd_cli_readdir(d))
        if (e->name[0] != '.') got.push_back(e->name);
      EXPECT_EQ(zmsd_cli_last_errno(s.get()), 0) << zmsd_cli_last_error(s.get());
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
      EXPECT_EQ(names_text(got), names_text(want));
      EXPECT_EQ(zmsd_cli_closedir(d), 0);
    } else {
      zmsd_file *f = zmsd_cli_open(s.get(), "/f", c.what == op::read ? kRead : kWrite | kCreate | kTrunc);
      ASSERT_NE(f, nullptr);
      if (c.what == op::read) {
        std::string back(data.size(), '\0');
        EXPECT_EQ(zmsd_cli_read(f, back.data(), int(back.size()), -1), int(data.size()))
            << zmsd_cli_last_error(s.get());
        EXPECT_TRUE(back == data);
      } else {
        EXPECT_EQ(zmsd_cli_write(f, data.data(), int(data.size()), -1), int(data.size()))
            << zmsd_cli_last_error(s.get());
      }
      EXPECT_EQ(zmsd_cli_close(f), 0);
      if (c.what == op::write) {
        EXPECT_TRUE(get_file("f") == data) << get_file("f").size();
      }
    }
    // Still in step with the server: one more request works and both sides count alike.
    char info[256];
    EXPECT_EQ(zmsd_cli_info(s.get(), info, sizeof info), 0);
    char count[32] = {};
    int n = 0;
    ASSERT_EQ(zmsd_cli_ioctl2(s.get(), ZMSD_IOCTL2_GET_LAST_CMD_IDX, "0", -1, count, 31, &n), 0);
    EXPECT_EQ(strtoull(count, nullptr, 10) + 1, sent_count(s.get()));
  }
}

TEST_F(OpsRecoverTest, WithoutAutoReconnectTheFailureIsReturned) {
  start_peer({"--drop-before", std::to_string(kSetupRequests - 1)});
  put_file("f", "abc");
  session_ptr s = connect();
  ASSERT_TRUE(s);
  zmsd_stat st{};
  // Request 4 is cut: the call fails, the session stays usable on the broken link.
  EXPECT_EQ(zmsd_cli_stat(s.get(), "/f", &st), -1);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_TIMEOUT);
  EXPECT_EQ(s->link.recovery_failed, 0);
}

TEST_F(OpsRecoverTest, AFailedRecoveryIsFinalAndTouchesNoNetwork) {
  // The context is not kept once its link is gone: there is nothing to attach to.
  start_peer({"--context-keep", "0", "--drop-before", std::to_string(kSetupRequests + 2)});
  put_file("f", "abc");
  session_ptr s = recovering_session();
  ASSERT_TRUE(s);
  zmsd_file *f = zmsd_cli_open(s.get(), "/f", kRead);
  ASSERT_NE(f, nullptr);
  char buf[8];
  EXPECT_EQ(zmsd_cli_read(f, buf, 3, -1), -1);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_TIMEOUT);
  const size_t seen = requests().size();
  EXPECT_EQ(zmsd_cli_read(f, buf, 3, -1), -1);
  zmsd_stat st{};
  EXPECT_EQ(zmsd_cli_stat(s.get(), "/f", &st), -1);
  EXPECT_EQ(requests().size(), seen);
}

TEST_F(OpsRecoverTest, AutoReconnectSetUpLearnsTheContextNumber) {
  start_peer({});
  session_ptr s = connect();
  ASSERT_TRUE(s);
  const size_t first = requests().size();
  ASSERT_EQ(zmsd_cli_set_auto_reconnect(s.get()), 0);
  EXPECT_EQ(commands_since(first), (std::vector<int>{CMD_SERVER_CONTROL, CMD_SERVER_CONTROL}));
  EXPECT_NE(requests()[first].text.find("101"), std::string::npos) << requests()[first].text;
  EXPECT_GT(s->srv_ctx, 0u);
  EXPECT_EQ(s->link.auto_reconnect, 1);
}

TEST_F(OpsRecoverTest, ContextControlsAreRefusedByOldServers) {
  start_peer({"--ver", "1.5.3"});
  session_ptr s = connect();
  ASSERT_TRUE(s);
  EXPECT_LT(zmsd_cli_set_auto_reconnect(s.get()), 0);
  EXPECT_EQ(s->link.auto_reconnect, 0);
}

}  // namespace
