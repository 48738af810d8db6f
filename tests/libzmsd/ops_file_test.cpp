// File commands against the reference peer: opens, chunked reads and writes in both variants
// (positioned from 1.6.4, seek then the plain command before), both compressors, end of file,
// seek, truncate, flush, times, locks, status, the read restart with 204800-byte chunks, gates
// and closing the session with files still open.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ops_fixture.h"
#include "sd_session.h"

namespace {

enum : int {
  CMD_GOODBYE = 2,
  CMD_OPEN = 10,
  CMD_CLOSE = 11,
  CMD_READ = 12,
  CMD_WRITE = 13,
  CMD_SEEK = 15,
  CMD_FCTL = 20,
  CMD_PREAD = 29,
  CMD_PWRITE = 30,
  CMD_CLOSEDIR = 43,
  CMD_LOGIN = 1,
  CMD_INFO = 4,
};

constexpr uint32_t kRead = 0x1, kWrite = 0x2, kRdwr = 0x4, kCreate = 0x8, kTrunc = 0x20;

struct file_closer {
  void operator()(zmsd_file *f) const { (void)zmsd_cli_close(f); }
};
using file_ptr = std::unique_ptr<zmsd_file, file_closer>;

int count_of(const std::vector<int> &commands, int command) {
  return int(std::count(commands.begin(), commands.end(), command));
}

class OpsFileTest : public OpsTest {};

struct io_case {
  const char *name;
  const char *ver;
  const char *pack;
  int read_command, write_command;
  int seeks;  // seek requests per explicit-offset call
};

// 1 MiB in 64 KiB chunks, written at an explicit offset and read back the same way.
TEST_F(OpsFileTest, ChunkedWriteAndReadByVersionAndCompressor) {
  const std::vector<io_case> cases = {
      {"positioned, lz4", "1.6.8", "lz4", CMD_PREAD, CMD_PWRITE, 0},
      {"positioned, none", "1.6.4", "none", CMD_PREAD, CMD_PWRITE, 0},
      {"before 1.6.4: seek, then the current-position commands", "1.6.3", "lz4", CMD_READ,
       CMD_WRITE, 1},
  };
  const std::string data = random_bytes(1 << 20) + std::string(100000, 'z');
  for (const io_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_peer({"--ver", c.ver});
    session_ptr s = connect(std::string("mblock-size=64k&pack=") + c.pack);
    ASSERT_TRUE(s);
    const size_t first = requests().size();
    file_ptr w(zmsd_cli_open(s.get(), "/big", kWrite | kCreate | kTrunc));
    ASSERT_TRUE(w) << zmsd_cli_last_error(s.get());
    ASSERT_EQ(zmsd_cli_write(w.get(), data.data(), int(data.size()), 0), int(data.size()));
    EXPECT_EQ(zmsd_cli_last_errno(w.get()), 0);
    w.reset();
    EXPECT_EQ(get_file("big"), data);

    file_ptr r(zmsd_cli_open(s.get(), "/big", kRead));
    ASSERT_TRUE(r);
    std::string back(data.size(), '\0');
    ASSERT_EQ(zmsd_cli_read(r.get(), back.data(), int(back.size()), 0), int(data.size()));
    EXPECT_TRUE(back == data);
    r.reset();

    const std::vector<int> sent = commands_since(first);
    const int chunks = int((data.size() + 65535) / 65536);
    EXPECT_EQ(count_of(sent, c.write_command), chunks);
    EXPECT_EQ(count_of(sent, c.read_command), chunks);
    EXPECT_EQ(count_of(sent, CMD_SEEK), 2 * c.seeks);
    int full_chunks = 0;
    for (const request_line &line : requests())
      full_chunks += line.command == c.read_command && line.text.find("len=65536") != std::string::npos;
    EXPECT_EQ(full_chunks, chunks - 1);
  }
}

TEST_F(OpsFileTest, ReadAtEndOfFileReturnsTheShortCountWithoutAnotherRequest) {
  start_peer({});
  put_file("short", std::string(3000, 'a'));
  session_ptr s = connect("mblock-size=1k");
  file_ptr f(zmsd_cli_open(s.get(), "/short", kRead));
  ASSERT_TRUE(f);
  const size_t first = requests().size();
  std::vector<char> buf(10000);
  EXPECT_EQ(zmsd_cli_read(f.get(), buf.data(), int(buf.size()), -1), 3000);
  // 1024 + 1024 + 952: the third chunk is short, so nothing more is asked for.
  EXPECT_EQ(count_of(commands_since(first), CMD_READ), 3);
  EXPECT_EQ(zmsd_cli_read(f.get(), buf.data(), 10, -1), 0);
}

TEST_F(OpsFileTest, SeekTruncateFlushTimesLocksAndStatusOfAnOpenFile) {
  start_peer({});
  put_file("f", "0123456789");
  session_ptr s = connect();
  file_ptr f(zmsd_cli_open(s.get(), "/f", kRdwr));
  ASSERT_TRUE(f);
  EXPECT_EQ(zmsd_cli_seek(f.get(), 4, SEEK_SET), 4);
  char two[2];
  ASSERT_EQ(zmsd_cli_read(f.get(), two, 2, -1), 2);
  EXPECT_EQ(std::string(two, 2), "45");
  EXPECT_EQ(zmsd_cli_seek(f.get(), -1, SEEK_END), 9);
  EXPECT_EQ(zmsd_cli_ftruncate(f.get(), 5), 0);
  EXPECT_EQ(get_file("f"), "01234");
  EXPECT_EQ(zmsd_cli_fsync(f.get()), 0);

  const zmsd_ftimes times = {1000000, 0, 2000000, 500, 0, 0};
  EXPECT_EQ(zmsd_cli_futime(f.get(), &times), 0);
  struct stat st {};
  ASSERT_EQ(stat(local("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 2000000);
  EXPECT_EQ(st.st_atime, 1000000);

  zmsd_stat zs{};
  ASSERT_EQ(zmsd_cli_fstat(f.get(), &zs), 0);
  EXPECT_EQ(zs.len, 5u);
  EXPECT_EQ(zs.time_write, 2000000u);
  EXPECT_EQ(zs.ino, uint64_t(st.st_ino));
  zmsd_stat via_ioctl{};
  EXPECT_EQ(zmsd_cli_ioctl(f.get(), ZMSD_OP_FSTAT, &via_ioctl, sizeof via_ioctl), 0);
  EXPECT_EQ(via_ioctl.ino, zs.ino);

  EXPECT_EQ(zmsd_cli_lock(f.get(), F_WRLCK, 0, 5), 0);
  EXPECT_EQ(zmsd_cli_lock(f.get(), F_UNLCK, 0, 5), 0);
  EXPECT_EQ(zmsd_cli_ioctl(f.get(), ZMSD_OP_ERROR_CLASS, nullptr, 0), 0);
}

struct stat_case {
  const char *name;
  const char *ver;
  int command;
  bool extended;
};

TEST_F(OpsFileTest, StatOfPathsInBothVariants) {
  const std::vector<stat_case> cases = {{"extended from 1.5.3", "1.5.3", 7, true},
                                        {"plain before", "1.5.2", 6, false}};
  for (const stat_case &c : cases) {
    SCOPED_TRACE(c.name);
    start_peer({"--ver", c.ver});
    put_file("s", "hello");
    ASSERT_EQ(symlink("s", local("ln").c_str()), 0);
    session_ptr s = connect();
    const size_t first = requests().size();
    zmsd_stat st{};
    st.nlink = 77;  // left alone without the extended fields
    ASSERT_EQ(zmsd_cli_stat(s.get(), "/ln", &st), 0);
    EXPECT_EQ(commands_since(first), std::vector<int>{c.command});
    EXPECT_EQ(st.len, 5u);
    EXPECT_EQ(st.type, 2u);
    EXPECT_EQ(st.nlink, c.extended ? 1u : 77u);
    zmsd_stat link{};
    ASSERT_EQ(zmsd_cli_stat2(s.get(), "/ln", &link), 0);
    EXPECT_EQ(link.type & 0x100, 0x100u);
    EXPECT_EQ(zmsd_cli_stat(s.get(), "/missing", &st), -1);
    EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_FILE_NOT_FOUND);
  }
}

TEST_F(OpsFileTest, OpensOfAllThreeKindsAndTheirFailures) {
  start_peer({});
  session_ptr s = connect();
  file_ptr a(zmsd_cli_open2(s.get(), "/two", 1 | 0x4, 0640));
  ASSERT_TRUE(a) << zmsd_cli_last_error(s.get());
  struct stat st {};
  ASSERT_EQ(stat(local("two").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  file_ptr b(zmsd_cli_wopen(s.get(), "/win", 0x40000000u, 0, nullptr, 2, 0, 0));
  ASSERT_TRUE(b) << zmsd_cli_last_error(s.get());
  EXPECT_EQ(zmsd_cli_write(b.get(), "xyz", 3, -1), 3);
  b.reset();
  EXPECT_EQ(get_file("win"), "xyz");

  EXPECT_EQ(zmsd_cli_open(s.get(), "/nothing/here", kRead), nullptr);
  const int code = zmsd_cli_last_errno(s.get());
  EXPECT_TRUE(code == VERR_PATH_NOT_FOUND || code == VERR_FILE_NOT_FOUND) << code;
  EXPECT_EQ(zmsd_cli_ioctl(s.get(), ZMSD_OP_ERROR_CLASS, nullptr, 0), 3);
  // A handle of the wrong kind is refused before anything is sent.
  EXPECT_EQ(zmsd_cli_read(reinterpret_cast<zmsd_file *>(s.get()), &st, 1, -1), -1);
}

TEST_F(OpsFileTest, GatesRefuseBeforeSending) {
  start_peer({"--ver", "1.6.6"});
  session_ptr s = connect();
  const size_t first = requests().size();
  EXPECT_EQ(zmsd_cli_open(s.get(), "/x", kRead | ZMSD_O_VSS), nullptr);
  EXPECT_EQ(zmsd_cli_last_errno(s.get()), -12);
  EXPECT_STREQ(zmsd_cli_last_error(s.get()), ZMSD_UPGRADE_TEXT);
  char root[4096];
  EXPECT_EQ(zmsd_cli_vss_mount(s.get(), "C:\\", root), -1);
  EXPECT_STREQ(zmsd_cli_last_error(s.get()), ZMSD_UPGRADE_TEXT);
  EXPECT_TRUE(commands_since(first).empty());
}

TEST_F(OpsFileTest, ExitClosesWhatIsOpenThenSaysGoodbye) {
  start_peer({});
  put_file("a", "1");
  session_ptr s = connect();
  ASSERT_NE(zmsd_cli_open(s.get(), "/a", kRead), nullptr);
  ASSERT_NE(zmsd_cli_open(s.get(), "/a", kRead), nullptr);
  ASSERT_NE(zmsd_cli_opendir(s.get(), "/", nullptr), nullptr);
  const size_t first = requests().size();
  s.reset();
  // The goodbye has no answer: the peer may log it a moment after the client has gone.
  for (int i = 0; i < 100 && commands_since(first).size() < 4; ++i) usleep(20000);
  EXPECT_EQ(commands_since(first),
            (std::vector<int>{CMD_CLOSE, CMD_CLOSE, CMD_CLOSEDIR, CMD_GOODBYE}));
}

// The first read of 10 MiB is lost, by a cut link or by a reply that comes later than the read
// time-out: the client reconnects, reopens, seeks to where it was and goes on in 204800-byte
// chunks, which stay for the rest of the session. A second loss returns the failure.
struct restart_case {
  const char *name;
  std::vector<std::string> once, twice;  // peer options: the first read lost; also the retry
  const char *query;
};

const restart_case kRestartCases[] = {
    {"link cut when the read arrives", {"--drop-before", "5"}, {"--drop-before", "5,10"}, ""},
    {"reply later than the read time-out",
     {"--delay", "4000", "--delay-at", "5"},
     {"--delay", "4000", "--delay-at", "5,10"},
     "read_timeout=2"},
};

TEST_F(OpsFileTest, ReadRestartWithTheSmallBlock) {
  const std::string data = random_bytes(10 << 20);
  for (const restart_case &c : kRestartCases) {
    SCOPED_TRACE(c.name);
    // Requests: 1 probe, 2 compressor, 3 information, 4 open, 5 the first read.
    start_peer(c.once);
    put_file("ten", data);
    session_ptr s = connect(c.query);
    file_ptr f(zmsd_cli_open(s.get(), "/ten", kRead));
    ASSERT_TRUE(f);
    std::string back(data.size(), '\0');
    ASSERT_EQ(zmsd_cli_read(f.get(), back.data(), int(back.size()), 0), int(data.size()))
        << zmsd_cli_last_error(s.get());
    EXPECT_TRUE(back == data);
    const auto sent = requests();
    ASSERT_GT(sent.size(), 9u);
    EXPECT_EQ(sent[5].command, CMD_LOGIN);
    EXPECT_EQ(sent[6].command, CMD_OPEN);
    EXPECT_EQ(sent[7].command, CMD_SEEK);
    EXPECT_EQ(sent[8].command, CMD_FCTL);
    EXPECT_EQ(count_of(commands_since(9), CMD_PREAD), int((data.size() + 204799) / 204800));
    EXPECT_NE(sent[9].text.find("len=204800"), std::string::npos) << sent[9].text;
  }
}

TEST_F(OpsFileTest, ReadRestartHappensOnlyOnce) {
  for (const restart_case &c : kRestartCases) {
    SCOPED_TRACE(c.name);
    start_peer(c.twice);
    put_file("ten", random_bytes(10 << 20));
    session_ptr s = connect(c.query);
    file_ptr f(zmsd_cli_open(s.get(), "/ten", kRead));
    ASSERT_TRUE(f);
    std::string back(10 << 20, '\0');
    EXPECT_EQ(zmsd_cli_read(f.get(), back.data(), int(back.size()), 0), -1);
    EXPECT_EQ(zmsd_cli_last_errno(s.get()), VERR_TIMEOUT);
  }
}

// A restart on a session with recovery on: the peer refuses a read above 12 MiB, the client
// restarts into a fresh server context. The reopen keeps what was written through a handle
// opened with truncation, and the session is as ready for recovery as after its first connect:
// a link cut on the next read is repaired against the new context, and both sides count alike.
TEST_F(OpsFileTest, ReadRestartKeepsTheFileAndLeavesRecoveryReady) {
  std::string data(13 << 20, '\0');
  for (size_t i = 0; i < data.size(); i += 4096) snprintf(&data[i], 32, "block %zu", i / 4096);
  // Requests: 1 probe, 2 compressor, 3 information, 4 retention, 5 context number, 6 open,
  // 7 write, 8 the refused read; restart: 9 probe, 10 open, 11 seek, 12 compressor, 13 retention,
  // 14 context number; 15 is the first small read, cut after the peer ran it.
  start_peer({"--drop-after", "15"});
  session_ptr s = connect("mblock-size=16m");
  ASSERT_EQ(zmsd_cli_set_auto_reconnect(s.get()), 0);
  const uint64_t first_ctx = s->srv_ctx;
  file_ptr f(zmsd_cli_open(s.get(), "/thirteen", kRdwr | kCreate | kTrunc));
  ASSERT_TRUE(f);
  ASSERT_EQ(zmsd_cli_write(f.get(), data.data(), int(data.size()), 0), int(data.size()));
  std::string back(data.size(), '\0');
  ASSERT_EQ(zmsd_cli_read(f.get(), back.data(), int(back.size()), 0), int(data.size()))
      << zmsd_cli_last_error(s.get());
  EXPECT_TRUE(back == data);
  EXPECT_EQ(get_file("thirteen").size(), data.size());
  const auto sent = requests();
  ASSERT_GT(sent.size(), 15u);
  EXPECT_NE(sent[7].text.find("len=13631488"), std::string::npos) << sent[7].text;
  EXPECT_EQ(sent[8].command, CMD_LOGIN);
  EXPECT_EQ(sent[9].command, CMD_OPEN);
  EXPECT_NE(sent[9].text.find("mode=12"), std::string::npos) << "reopened without truncation";

  EXPECT_NE(s->srv_ctx, first_ctx);
  char number[32] = {};
  int n = 0;
  ASSERT_EQ(zmsd_cli_ioctl2(s.get(), ZMSD_IOCTL2_CTX_NUMBER, nullptr, 0, number, 31, &n), 0);
  EXPECT_EQ(strtoull(number, nullptr, 10), s->srv_ctx);
  ASSERT_EQ(zmsd_cli_ioctl2(s.get(), ZMSD_IOCTL2_GET_LAST_CMD_IDX, "0", -1, number, 31, &n), 0);
  EXPECT_EQ(strtoull(number, nullptr, 10) + 1, s->link.cmd_count);
}

}  // namespace
