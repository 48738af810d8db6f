// The peer's answers after login: server information, unknown commands, compressor choice and
// LZ4 data both ways, listings in chunks, confinement to the share, read-only shares, goodbye.
#include <lz4.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "peer_fixture.h"

namespace {

Bytes lz4_pack(const std::string &s) {
  Bytes out(size_t(LZ4_compressBound(int(s.size()))));
  const int n = LZ4_compress_default(s.data(), reinterpret_cast<char *>(out.data()), int(s.size()), int(out.size()));
  out.resize(size_t(n));
  return out;
}

std::string lz4_unpack(const Bytes &b, size_t len) {
  std::string out(len, '\0');
  const int n = LZ4_decompress_safe(reinterpret_cast<const char *>(b.data()), out.data(), int(b.size()), int(len));
  return n < 0 ? "<bad block>" : out.substr(0, size_t(n));
}

Response choose_codec(RawClient &c, const std::string &name) {
  return c.call(20, {i64("fd", 0), i32("cmd", 10001), i32("len", int32_t(name.size() + 1)), bin("data", text_bytes(name))});
}

void write_file(const std::string &path, const std::string &content) { std::ofstream(path) << content; }

}  // namespace

TEST_F(PeerTest, ServerInformationCarriesEveryKeyInBrackets) {
  start({"--ver", "1.5.3", "--plat", "windows", "--readonly"});
  ASSERT_EQ(probe(*client).err(), 0);
  const Response r = client->call(4, {str("param", "")});
  ASSERT_EQ(r.err(), 0);
  const std::string info = r.text("info");
  for (const char *line : {"ver=[1.5.3]\n", "plat=[windows]\n", "readonly=[1]\n", "bit=[", "arch=[", "order=[", "is_root=["})
    EXPECT_NE(info.find(line), std::string::npos) << line << " in " << info;
}

struct GateCase {
  const char *ver;
  uint8_t command;
  int32_t control;  // server control code for command 8
  bool admitted;
};

class VersionGateTest : public PeerTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(VersionGateTest, CommandsBeyondTheAnnouncedVersionAreRefused) {
  start({"--ver", GetParam().ver});
  ASSERT_EQ(probe(*client).err(), 0);
  const Response r = GetParam().command == 8 ? client->control(GetParam().control, "0")
                                             : client->call(GetParam().command, {str("path", rooted("/")), i64("fd", 1),
                                                                                 i32("len", 1), i64("offset", 0)});
  EXPECT_EQ(r.text("errno_str").find("needs a newer server") == std::string::npos, GetParam().admitted)
      << r.text("errno_str");
}

INSTANTIATE_TEST_SUITE_P(
    Gates, VersionGateTest,
    ::testing::Values(GateCase{"1.5.2", 6, 0, true}, GateCase{"1.5.2", 7, 0, false}, GateCase{"1.5.3", 7, 0, true},
                      GateCase{"1.5.3", 44, 0, true}, GateCase{"1.6", 29, 0, false}, GateCase{"1.6.4", 29, 0, true},
                      GateCase{"1.6.10", 30, 0, true}, GateCase{"1.5.3", 8, 101, false}, GateCase{"1.5.4", 8, 101, true},
                      GateCase{"0.9", 7, 0, false}, GateCase{"1.6.4.1.2", 7, 0, false}));

TEST_F(PeerTest, UnknownCommandGetsAnErrorWithText) {
  start({});
  ASSERT_EQ(probe(*client).err(), 0);
  const Response r = client->call(99, {});
  EXPECT_NE(r.err(), 0);
  EXPECT_EQ(r.text("errno_str"), "unknown command 99");
}

TEST_F(PeerTest, ChosenCompressorPacksReadsAndUnpacksWrites) {
  start({});
  ASSERT_EQ(probe(*client).err(), 0);
  EXPECT_EQ(choose_codec(*client, "zstd").text("errno_str"), "unknown compressor zstd");
  ASSERT_EQ(choose_codec(*client, "LZ4").err(), 0) << "the peer takes any letter case";
  const std::string content(3000, 'z');
  const Response open = client->call(10, {str("path", rooted("/f")), i64("mode", 0x4 | 0x8)});
  ASSERT_EQ(open.err(), 0) << open.text("errno_str");
  const int64_t fd = open.num("fd");
  const Response wrote = client->call(30, {i64("fd", fd), i32("flags", 0), i32("len", int32_t(content.size())),
                                           i64("offset", 0), bin("data", lz4_pack(content))});
  ASSERT_EQ(wrote.err(), 0) << wrote.text("errno_str");
  EXPECT_EQ(wrote.num("len"), 3000);
  const Response read = client->call(29, {i64("fd", fd), i32("len", 4096), i64("offset", 0)});
  ASSERT_EQ(read.err(), 0);
  EXPECT_EQ(read.num("len"), 3000);
  EXPECT_LT(read.data("data").size(), 100u) << "sent compressed";
  EXPECT_EQ(lz4_unpack(read.data("data"), 4096), content);
  const Response at_end = client->call(29, {i64("fd", fd), i32("len", 4096), i64("offset", 3000)});
  EXPECT_EQ(at_end.num("len"), 0);
  EXPECT_EQ(lz4_unpack(at_end.data("data"), 4096), "") << "an empty read is still one LZ4 block";
  EXPECT_EQ(client->call(11, {i64("fd", fd)}).err(), 0);
  EXPECT_NE(client->call(11, {i64("fd", fd)}).err(), 0) << "closed numbers are gone";
}

TEST_F(PeerTest, ListingComesInChunksThatFitAndEndsWithAnEmptyLine) {
  start({});
  for (int i = 0; i < 20; ++i) write_file(peer.dir() + "/file" + std::to_string(i), "x");
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_EQ(choose_codec(*client, "none").err(), 0);
  const Response dir = client->call(41, {str("path", rooted("/")), str("pattern", "file1*")});
  ASSERT_EQ(dir.err(), 0);
  std::string all;
  int chunks = 0;
  bool ended = false;
  for (; chunks < 20 && !ended; ++chunks) {
    const Response c = client->call(44, {i64("fd", dir.num("fd")), i32("len", 300)});
    ASSERT_EQ(c.err(), 0) << c.text("errno_str");
    const Bytes d = c.data("data");
    ASSERT_FALSE(d.empty());
    ASSERT_LE(d.size(), 300u);
    EXPECT_EQ(d.back(), 0) << "each chunk ends with a NUL";
    EXPECT_EQ(c.num("len"), int64_t(d.size()));
    const std::string piece(d.begin(), d.end() - 1);
    ended = piece == "\n" || (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\n\n") == 0);
    all += piece;
  }
  EXPECT_TRUE(ended);
  EXPECT_GT(chunks, 1);
  EXPECT_NE(all.find("\tfile1\n"), std::string::npos);
  EXPECT_NE(all.find("\tfile19\n"), std::string::npos);
  EXPECT_EQ(all.find("\tfile2\n"), std::string::npos) << "pattern filters";
}

TEST_F(PeerTest, PathsCannotLeaveTheShare) {
  start({});
  ASSERT_EQ(symlink("/etc", (peer.dir() + "/out").c_str()), 0);
  write_file(peer.work() + "/secret", "outside");
  ASSERT_EQ(probe(*client).err(), 0);
  for (const char *path : {"/../secret", "/a/../../secret"}) {
    const Response r = client->call(7, {str("path", rooted(path))});
    EXPECT_NE(r.err(), 0) << path;
  }
  // The link's absolute target is taken inside the share, where there is no etc/passwd.
  EXPECT_NE(client->call(10, {str("path", rooted("/out/passwd")), i64("mode", 0x1)}).err(), 0);
  const Response link = client->call(28, {str("path", rooted("/out"))});
  ASSERT_EQ(link.err(), 0);
  EXPECT_EQ(link.num("type") & 0x100, 0x100);
}

TEST_F(PeerTest, ReadOnlyShareRefusesChanges) {
  start({"--readonly"});
  write_file(peer.dir() + "/f", "keep");
  ASSERT_EQ(probe(*client).err(), 0);
  EXPECT_EQ(client->call(10, {str("path", rooted("/f")), i64("mode", 0x2)}).err(), -113);
  const std::string mkdir = rooted("/d") + "\t493";
  EXPECT_EQ(client->call(20, {i64("fd", 0), i32("cmd", 10020), i32("len", int32_t(mkdir.size() + 1)),
                              bin("data", text_bytes(mkdir))}).err(), -113);
  EXPECT_EQ(client->call(10, {str("path", rooted("/f")), i64("mode", 0x1)}).err(), 0) << "reading is fine";
  struct stat st {};
  EXPECT_NE(stat((peer.dir() + "/d").c_str(), &st), 0);
}

TEST_F(PeerTest, GoodbyeGetsNoAnswerAndEndsTheLink) {
  start({});
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_TRUE(client->send(request(2, {})));
  EXPECT_TRUE(client->closed_by_peer(3000));
}

TEST_F(PeerTest, MalformedMessageIsAnsweredButABrokenFrameEndsTheLink) {
  start({});
  ASSERT_EQ(probe(*client).err(), 0);
  const Response r = client->call(4, {field(4, "param", text_bytes("x", false))});  // STRING without NUL
  EXPECT_EQ(r.err(), -53);
  EXPECT_NE(r.text("errno_str").find("bad message"), std::string::npos);
  EXPECT_EQ(client->call(4, {str("param", "")}).err(), 0) << "the link is still in step";
  Bytes bad_magic = request(4, {str("param", "")});
  bad_magic[1] = 0x00;
  ASSERT_TRUE(client->send(bad_magic));
  EXPECT_TRUE(client->closed_by_peer(3000));
}

namespace {

struct ControlStep {
  int32_t code;
  std::string payload;  // "%P" stands for the rooted form of the path that follows it
  bool ok;
};

std::string expand(const std::string &payload) {
  std::string out;
  for (size_t at = 0; at < payload.size();) {
    if (payload.compare(at, 2, "%P") == 0) {
      out += "/\\";
      at += 2;
    } else {
      out += payload[at++];
    }
  }
  return out;
}

}  // namespace

TEST_F(PeerTest, FileControlsChangeTheShareAsAsked) {
  start({});
  write_file(peer.dir() + "/a", "A");
  write_file(peer.dir() + "/b", "B");
  ASSERT_EQ(probe(*client).err(), 0);
  const ControlStep steps[] = {
      {10020, "%P/d\t448", true},           // mkdir 0700
      {10020, "%P/d\t448", false},          // again: it exists
      {10013, "%P/d/e/f", true},            // with parents
      {10016, "%P/a\t%P/b\t0", false},      // rename without replacing an existing target
      {10016, "%P/a\t%P/b\t1", true},       // and with
      {10024, "b\t%P/link", true},          // symbolic link, target literal
      {10025, "%P/b\t384", true},           // chmod 0600
      {10035, "%P/b\t0", true},             // truncate by path
      {10015, "%P/d/e/f", true},            // remove takes a directory too
      {10014, "%P/d", false},               // not empty
      {10016, "%P/../x\t%P/y\t1", false},   // leaves the share
      {10099, "%P/b", false},               // unknown code
  };
  for (const ControlStep &s : steps) {
    const std::string payload = expand(s.payload);
    const Response r = client->call(20, {i64("fd", 0), i32("cmd", s.code), i32("len", int32_t(payload.size() + 1)),
                                         bin("data", text_bytes(payload))});
    EXPECT_EQ(r.err() == 0, s.ok) << s.code << " " << payload << ": " << r.text("errno_str");
  }
  struct stat st {};
  ASSERT_EQ(stat((peer.dir() + "/d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(stat((peer.dir() + "/b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_NE(access((peer.dir() + "/a").c_str(), F_OK), 0);
  const Response link = client->control(10002, "/\\/link");
  EXPECT_EQ(link.data("data"), text_bytes("b", false));
}

TEST_F(PeerTest, RequestLogHasOneLinePerRequestWithItsFields) {
  char log_dir[] = "/tmp/zmsd-peer-log.XXXXXX";
  ASSERT_NE(mkdtemp(log_dir), nullptr);
  const std::string log = std::string(log_dir) + "/requests";
  start({"--request-log", log});
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_EQ(client->call(12, {i64("fd", 9), i32("len", 5)}).err(), -4);
  std::ifstream in(log);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first, "req=1 ctx=1 command=1 user=\":\" passwd=\"\"");
  EXPECT_EQ(second, "req=2 ctx=1 command=12 fd=9 len=5");
  std::filesystem::remove_all(log_dir);
}

TEST_F(PeerTest, ListingCanBeRepositionedByEntryNumber) {
  start({});
  write_file(peer.dir() + "/only", "x");
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_EQ(choose_codec(*client, "none").err(), 0);
  const int64_t dir = client->call(41, {str("path", rooted("/")), str("pattern", "")}).num("fd");
  auto listing = [&] {
    const Bytes d = client->call(42, {i64("fd", dir), i32("len", 4096)}).data("data");
    return d.empty() ? std::string() : std::string(d.begin(), d.end() - 1);
  };
  const std::string full = listing();
  EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 4) << "., .., only and the end line: " << full;
  EXPECT_EQ(listing(), "\n") << "nothing left";
  const Bytes two = text_bytes("2");
  EXPECT_EQ(client->call(8, {i64("fd", dir), i32("cmd", 10050), bin("data", two), i32("olen", 0)}).err(), 0);
  const std::string rest = listing();
  EXPECT_EQ(rest.substr(rest.rfind('\t', rest.size() - 3) + 1), "only\n\n");
  EXPECT_NE(client->call(8, {i64("fd", 77), i32("cmd", 10050), bin("data", two), i32("olen", 0)}).err(), 0);
}

TEST_F(PeerTest, NamedAttributesRoundTrip) {
  start({});
  write_file(peer.dir() + "/f", "x");
  ASSERT_EQ(probe(*client).err(), 0);
  ASSERT_EQ(choose_codec(*client, "lz4").err(), 0);
  const Response set = client->call(9, {str("path", rooted("/f")), str("name", "user.colour"), i32("flags", 0),
                                        i32("len", 4), bin("data", lz4_pack("blue"))});
  ASSERT_EQ(set.err(), 0) << set.text("errno_str");
  EXPECT_EQ(client->control(10004, rooted("/f") + "\tuser.colour").data("data"), text_bytes("blue", false));
  EXPECT_EQ(client->control(10003, rooted("/f")).data("data"), text_bytes("user.colour"));
  EXPECT_EQ(client->control(10005, rooted("/f") + "\tuser.colour").err(), 0);
  EXPECT_EQ(client->control(10004, rooted("/f") + "\tuser.colour").err(), -304) << "ENODATA";
}
