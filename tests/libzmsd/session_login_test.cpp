// Connect and login against the reference peer: which login a server gets (probe, simple login
// for frame version 1, key login otherwise), refused logins with the server's own error, the
// server information and its gates, the compressor announcement, reconnect and goodbye, and what
// the log lines show of the secrets.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sd_session.h"
#include "session_fixture.h"

namespace {

constexpr char kUser[] = "alice";
constexpr char kPassword[] = "s3cr3t-Pw";
const std::string kCredentials = std::string(kUser) + ":" + kPassword;

enum : int {
  CMD_LOGIN = 1,
  CMD_GOODBYE = 2,
  CMD_INFO = 4,
  CMD_FCTL = 20,
  CMD_KEY1 = 90,
  CMD_KEY2 = 91
};

class SessionLoginTest : public SessionTest {};

// "ctx=N" of a request log line.
std::string context_of(const std::string &line) {
  const size_t at = line.find(" ctx=");
  return at == std::string::npos ? "" : line.substr(at + 1, line.find(' ', at + 1) - at - 1);
}

// Base64 of the SHA-1 of text, computed by openssl rather than by our code.
std::string openssl_sha1_base64(const std::string &text) {
  const std::string command = "printf %s '" + text + "' | openssl sha1 -binary | base64";
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  char out[128] = "";
  const bool got = fgets(out, sizeof out, pipe) != nullptr;
  pclose(pipe);
  std::string digest = got ? out : "";
  while (!digest.empty() && (digest.back() == '\n' || digest.back() == '\r')) digest.pop_back();
  return digest;
}

struct login_case {
  const char *name;
  std::vector<std::string> peer_args;
  std::string credentials;
  std::vector<int> commands;  // what the peer receives up to the end of the connect
};

TEST_F(SessionLoginTest, LoginChoiceFollowsProbeAndFrameVersion) {
  const std::vector<login_case> cases = {
      {"open share: the probe is the login, the password is never sent",
       {"-f", "2"},
       kCredentials,
       {CMD_LOGIN, CMD_FCTL, CMD_INFO}},
      {"open share, simple-login server", {"-f", "1"}, "", {CMD_LOGIN, CMD_FCTL, CMD_INFO}},
      {"frame version 1: simple login",
       {"-f", "1", "-u", kCredentials},
       kCredentials,
       {CMD_LOGIN, CMD_LOGIN, CMD_FCTL, CMD_INFO}},
      {"frame version 2: key login",
       {"-f", "2", "-u", kCredentials},
       kCredentials,
       {CMD_LOGIN, CMD_KEY1, CMD_KEY2, CMD_FCTL, CMD_INFO}},
      {"key login with an empty password",
       {"-f", "2", "-u", "bob:"},
       "bob",
       {CMD_LOGIN, CMD_KEY1, CMD_KEY2, CMD_FCTL, CMD_INFO}},
      {"simple login with an empty password",
       {"-f", "1", "-u", "bob:"},
       "bob",
       {CMD_LOGIN, CMD_LOGIN, CMD_FCTL, CMD_INFO}},
  };
  for (const login_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_peer(c.peer_args);
    session_ptr s(zmsd_cli_connect(url(c.credentials).c_str(), &err));
    ASSERT_TRUE(s) << err.code << " " << err.text;
    EXPECT_EQ(commands(), c.commands);
    EXPECT_EQ(zmsd_cli_last_errno(s.get()), 0);
    for (const std::string &line : requests())
      EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
    s.reset();
    EXPECT_TRUE(wait_for_last_command(CMD_GOODBYE));
  }
}

TEST_F(SessionLoginTest, SimpleLoginSendsThePasswordDigest) {
  start_peer({"-f", "1", "-u", kCredentials});
  session_ptr s(zmsd_cli_connect(url(kCredentials).c_str(), &err));
  ASSERT_TRUE(s) << err.text;
  const std::vector<std::string> lines = requests();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[0].find("user=\":\" passwd=\"\""), std::string::npos) << lines[0];
  const std::string digest = openssl_sha1_base64(kPassword);
  ASSERT_EQ(digest.size(), 28u);
  EXPECT_NE(lines[1].find("user=\"alice\" passwd=\"{SHA}" + digest + "\""), std::string::npos)
      << lines[1];
}

struct refused_case {
  const char *name;
  const char *frame_version;
  std::string credentials;
};

TEST_F(SessionLoginTest, RefusedLoginReportsTheServersErrorNumberAndText) {
  const std::vector<refused_case> cases = {
      {"simple login, wrong password", "1", std::string(kUser) + ":wrong"},
      {"simple login, unknown user", "1", std::string("mallory:") + kPassword},
      {"key login, wrong password", "2", std::string(kUser) + ":wrong"},
      {"key login, unknown user", "2", std::string("mallory:") + kPassword},
      {"key login, no password", "2", kUser},
  };
  for (const refused_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_peer({"-f", c.frame_version, "-u", kCredentials});
    err = verr_info{};
    session_ptr s(zmsd_cli_connect(url(c.credentials).c_str(), &err));
    EXPECT_FALSE(s);
    EXPECT_EQ(err.code, VERR_AUTHENTICATION_FAILURE);
    EXPECT_STREQ(err.text, "user or password error");
    for (const int command : commands()) EXPECT_NE(command, CMD_FCTL);
  }
}

TEST_F(SessionLoginTest, ConnectWithoutLoginMeetsTheServersRefusal) {
  start_peer({"-u", kCredentials});
  session_ptr refused(zmsd_cli_connect3(url(kCredentials).c_str(), nullptr, 0, &err));
  EXPECT_FALSE(refused);
  EXPECT_EQ(err.code, 1);
  EXPECT_EQ(commands(), std::vector<int>{CMD_FCTL}) << "no login, and nothing after the refusal";
}

struct info_case {
  std::string ver, plat;
  bool ext_stat, positioned_io, windows;
  int32_t os_type;
};

TEST_F(SessionLoginTest, ServerInformationSetsVersionGatesAndPlatform) {
  const std::vector<info_case> cases = {
      {"1.6.8", "linux", true, true, false, 2},   {"1.6.4", "linux", true, true, false, 2},
      {"1.6", "linux", true, false, false, 2},    {"1.5.3", "windows", true, false, true, 1},
      {"1.5.2", "linux", false, false, false, 2}, {"1.6.10", "Windows", true, true, false, 2},
      {"0.9.9", "linux", false, false, false, 2}, {"1.2.3.4.5", "linux", false, false, false, 2},
  };
  for (const info_case &c : cases) {
    SCOPED_TRACE(c.ver + " " + c.plat);
    start_peer({"--ver", c.ver, "--plat", c.plat});
    session_ptr s(zmsd_cli_connect(url().c_str(), &err));
    ASSERT_TRUE(s) << err.text;
    EXPECT_STREQ(zmsd_cli_srv_ver(s.get()), c.ver.c_str());
    EXPECT_EQ(zmsd_cli_ext_stat(s.get()), c.ext_stat);
    EXPECT_EQ(zmsd_cli_positioned_io(s.get()), c.positioned_io);
    EXPECT_EQ(zmsd_cli_is_windows(s.get()), c.windows);
    EXPECT_EQ(s->os_type, c.os_type);
  }
}

TEST_F(SessionLoginTest, ServerInformationLineIsLogged) {
  start_peer({"--ver", "1.6.8", "--plat", "linux"});
  log_capture log;
  session_ptr s(zmsd_cli_connect(url().c_str(), &err));
  ASSERT_TRUE(s) << err.text;
  char info[4096];
  ASSERT_EQ(cli_info(s.get(), info, sizeof info), SD_OK);
  char arch[64], bit[8], order[16], is_root[4];
  zmsd_info_value(info, "arch", arch, sizeof arch);
  zmsd_info_value(info, "bit", bit, sizeof bit);
  zmsd_info_value(info, "order", order, sizeof order);
  zmsd_info_value(info, "is_root", is_root, sizeof is_root);
  EXPECT_NE(arch[0], '\0');
  EXPECT_STREQ(order, "little");
  const std::string line = std::string("ver=1.6.8 os=linux.") + arch + "." + bit +
                           " order=" + order + " is_root=" + is_root + "\n";
  EXPECT_TRUE(log.any_contains(line)) << line;
}

struct pack_case {
  std::string query;
  bool connects;
  const char *name;        // the session's compressor afterwards
  const char *data_field;  // the payload field in the peer's request log
};

TEST_F(SessionLoginTest, CompressorIsAnnouncedWithFileControl10001) {
  const std::vector<pack_case> cases = {
      {"", true, "lz4", "cmd=10001 len=4 data=<4 bytes>"},
      {"pack=none", true, "none", "cmd=10001 len=5 data=<5 bytes>"},
      {"pack=LZ4", false, "", "cmd=10001 len=4 data=<4 bytes>"},
      {"pack=zstd", false, "", "cmd=10001 len=5 data=<5 bytes>"},
  };
  for (const pack_case &c : cases) {
    SCOPED_TRACE(c.query);
    start_peer({});
    err = verr_info{};
    session_ptr s(zmsd_cli_connect(url("", c.query).c_str(), &err));
    ASSERT_EQ(bool(s), c.connects) << err.text;
    const std::vector<std::string> lines = requests();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[1].find("command=20 fd=0 " + std::string(c.data_field)), std::string::npos)
        << lines[1];
    if (s) {
      EXPECT_STREQ(s->comp.name, c.name);
      EXPECT_NE(s->comp.comp, nullptr);
    } else {
      EXPECT_EQ(err.code, VERR_NOT_SUPPORTED);
      EXPECT_NE(strstr(err.text, "unknown compressor"), nullptr) << err.text;
    }
  }
}

TEST_F(SessionLoginTest, ReconnectLogsInAgainOnAFreshConnection) {
  start_peer({"-f", "2", "-u", kCredentials, "--ver", "1.6.8"});
  session_ptr s(zmsd_cli_connect(url(kCredentials, "read_timeout=3").c_str(), &err));
  ASSERT_TRUE(s) << err.text;
  ASSERT_EQ(zmsd_cli_reconnect(s.get()), 0) << err.text;
  EXPECT_NE(s->link.chan.handle, 0u);
  EXPECT_EQ(s->link.chan.timeout, 3000);
  EXPECT_EQ(s->link.srv_frame_ver, 2);
  EXPECT_TRUE(zmsd_cli_positioned_io(s.get()));
  EXPECT_EQ(commands(), (std::vector<int>{CMD_LOGIN, CMD_KEY1, CMD_KEY2, CMD_FCTL, CMD_INFO,
                                          CMD_LOGIN, CMD_KEY1, CMD_KEY2}));
  const std::vector<std::string> lines = requests();
  EXPECT_NE(context_of(lines[0]), context_of(lines[5]))
      << "the new login runs on a connection of its own";
  EXPECT_EQ(zmsd_cli_ver_info(s.get()), 0) << "the reconnected session answers";
}

TEST_F(SessionLoginTest, ReconnectToAVanishedServerIsATimeout) {
  start_peer({});
  session_ptr s(zmsd_cli_connect(url("", "connect_timeout=1").c_str(), &err));
  ASSERT_TRUE(s) << err.text;
  stop_peer();
  EXPECT_EQ(zmsd_cli_reconnect(s.get()), -1);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_TIMEOUT);
  EXPECT_STREQ(zmsd_cli_last_error(s.get()), "connect timeout error");
  EXPECT_EQ(s->link.chan.handle, 0u) << "nothing left to say goodbye on";
}

TEST_F(SessionLoginTest, LogLinesNeverShowPasswordDigestOrKey) {
  for (const char *frame_version : {"1", "2"}) {
    SCOPED_TRACE(frame_version);
    start_peer({"-f", frame_version, "-u", kCredentials});
    log_capture log;
    session_ptr s(zmsd_cli_connect(url(kCredentials, "ssl-cipher=none").c_str(), &err));
    ASSERT_TRUE(s) << err.text;
    ASSERT_EQ(zmsd_cli_reconnect(s.get()), 0);
    const std::string key = s->login_key.reveal();
    for (const std::string &line : log.lines()) {
      EXPECT_EQ(line.find(kPassword), std::string::npos) << line;
      EXPECT_EQ(line.find("{SHA}"), std::string::npos) << line;
      if (!key.empty()) {
        EXPECT_EQ(line.find(key), std::string::npos) << line;
      }
    }
    EXPECT_TRUE(log.any_contains("user=[alice] passwd=[***] pack=[lz4] bssl=[0] cipher=[none]\n"));
    EXPECT_TRUE(log.any_contains("ip=127.0.0.1 port=" + std::to_string(port()) +
                                 " sock_bufsize=262144 block_size=10485760 rdir_size=1048576\n"));
    EXPECT_TRUE(log.any_contains("connect_timeout=4000 read_timeout=10000 write_timeout=8000\n"));
  }
}

TEST_F(SessionLoginTest, FailedConnectKeepsTheSocketLayersReason) {
  start_peer({});
  const int gone = port();
  stop_peer();
  session_ptr refused(zmsd_cli_connect(url_for(gone, "", "").c_str(), &err));
  EXPECT_FALSE(refused);
  EXPECT_EQ(strncmp(err.text, "connect 127.0.0.1:", 18), 0) << err.text;

  start_peer({});
  stop_ctl stop;
  stop.stop = 1;
  err = verr_info{};
  session_ptr stopped(zmsd_cli_connect2(url().c_str(), &stop, &err));
  EXPECT_FALSE(stopped);
  // A loopback connect may complete before the stop is polled; the login's read then stops.
  EXPECT_TRUE(strcmp(err.text, "User request stop") == 0 || err.code == VERR_CANCELLED) << err.text;
}

TEST_F(SessionLoginTest, SessionWithoutCallerRecordReportsIntoItsOwn) {
  start_peer({});
  session_ptr s(zmsd_cli_connect(url().c_str(), nullptr));
  ASSERT_TRUE(s);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), 0);
  stop_peer();
  EXPECT_EQ(zmsd_cli_reconnect(s.get()), -1);
  EXPECT_STREQ(zmsd_cli_last_error(s.get()), "connect timeout error");
  const uint32_t not_a_session = ZMSD_HANDLE_DIR + 7;
  EXPECT_EQ(zmsd_cli_last_errno(&not_a_session), -1);
  EXPECT_STREQ(zmsd_cli_last_error(nullptr), "invalid handle");
}

}  // namespace
