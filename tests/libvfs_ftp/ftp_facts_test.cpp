// Listing facts, times and passive-mode replies as the FTP driver reads them: what a server
// sends, and what must be refused rather than misread.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ftp/ftp_ctx.h"

namespace {

struct FactCase {
  const char *line;
  bool ok;
  uint32_t type;  // without the no-mode bit
  int64_t size;
  int64_t mtime;
  const char *name;
};

TEST(FtpFacts, ListingLines) {
  const FactCase cases[] = {
      {"type=cdir;modify=20240101000000; .", true, VFS_FTYPE_DIR, 0, 1704067200, "."},
      {"type=file;size=5368709120;modify=20240229123456; big.bin", true, VFS_FTYPE_FILE,
       5368709120LL, 1709210096, "big.bin"},
      {"Type=File;Size=12; name with blanks", true, VFS_FTYPE_FILE, 12, 0, "name with blanks"},
      {"type=dir;modify=19991231235959.5; sub", true, VFS_FTYPE_DIR, 0, 946684799, "sub"},
      {"type=file; no-size", true, VFS_FTYPE_FILE, 0, 0, "no-size"},
      {"size=12;modify=20240101000000; untyped", false, 0, 0, 0, ""},
      {"type=file;size=-1; negative", false, 0, 0, 0, ""},
      {"type=file;size=12x; trailing", false, 0, 0, 0, ""},
      {"type=file;size=99999999999999999999; overflow", false, 0, 0, 0, ""},
      {"type=file;size=1;", false, 0, 0, 0, ""},
      {"", false, 0, 0, 0, ""},
  };
  for (const FactCase &c : cases) {
    SCOPED_TRACE(c.line);
    VfsDirEntry entry{};
    ASSERT_EQ(ftp_parse_facts(c.line, &entry), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(entry.info.type & 0xff, c.type);
    EXPECT_EQ(entry.info.size, c.size);
    EXPECT_EQ(entry.info.mtime.sec, c.mtime);
    EXPECT_STREQ(entry.name, c.name);
  }
}

TEST(FtpFacts, UnixModeAndOwnerReplaceTheDerivedMode) {
  VfsDirEntry entry{};
  ASSERT_TRUE(
      ftp_parse_facts("type=file;size=3;UNIX.mode=0640;UNIX.owner=1001;UNIX.group=27; f", &entry));
  EXPECT_EQ(entry.info.type, VFS_FTYPE_FILE);
  EXPECT_EQ(entry.info.mode, 0100640u);
  EXPECT_EQ(entry.info.uid, 1001u);
  EXPECT_EQ(entry.info.gid, 27u);
  ASSERT_TRUE(ftp_parse_facts("type=dir;UNIX.mode=rwx; d", &entry));
  EXPECT_EQ(entry.info.type, VFS_FTYPE_DIR | VFS_FTYPE_NO_MODE);
}

// The block count of the largest size a listing may carry is counted without overflow.
TEST(FtpFacts, LargestSizeKeepsItsBlockCount) {
  VfsDirEntry entry{};
  ASSERT_TRUE(ftp_parse_facts("type=file;size=9223372036854775807; huge", &entry));
  EXPECT_EQ(entry.info.size, INT64_MAX);
  EXPECT_EQ(entry.info.blocks, uint64_t(INT64_MAX) / 512 + 1);
}

TEST(FtpFacts, NamesLongerThanAnEntryHoldsAreRefused) {
  VfsDirEntry entry{};
  const std::string line = "type=file;size=1; " + std::string(VFS_NAME_SIZE, 'n');
  EXPECT_FALSE(ftp_parse_facts(line.c_str(), &entry));
}

TEST(FtpFacts, Times) {
  struct {
    const char *text;
    bool ok;
    int64_t sec;
    uint32_t nsec;
  } cases[] = {
      {"20240101000000", true, 1704067200, 0},
      {"20240101000000.123", true, 1704067200, 123000000},
      {"21060207062816", true, 4294967296LL, 0},  // past 32-bit seconds
      {"20380119031408", true, 2147483648LL, 0},  // first second a 32-bit time_t cannot hold
      {"99991231235959", true, 253402300799LL, 0},
      {"19691231235959", true, -1, 0},
      {"20240229120000", true, 1709208000, 0},
      {"20240230000000", true, 1709251200, 0},  // a day past the month's end rolls over
      {"20241301000000", false, 0, 0},
      {"2024010100000", false, 0, 0},
      {"20240101000000.", false, 0, 0},
      {"2024010100000x", false, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    VfsTime t{};
    ASSERT_EQ(ftp_parse_time(c.text, &t), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(t.sec, c.sec);
    EXPECT_EQ(t.nsec, c.nsec);
  }
}

TEST(FtpPasv, Replies) {
  struct {
    const char *reply;
    bool ok;
    const char *host;
    int port;
  } cases[] = {
      {"227 Entering Passive Mode (127,0,0,1,195,80).", true, "127.0.0.1", 50000},
      {"227 =(10,1,2,3,0,21)", true, "10.1.2.3", 21},
      {"227 Entering Passive Mode 127,0,0,1,195,80", false, "", 0},
      {"227 (127,0,0,1,195)", false, "", 0},
      {"227 (127,0,0,256,1,1)", false, "", 0},
      {"227 (127,0,0,1,-1,1)", false, "", 0},
      {"227 (127,0,0,1,0,0)", false, "", 0},
      {"227 (127,0,0,1,1,1", false, "", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.reply);
    std::string host;
    int port = 0;
    ASSERT_EQ(ftp_parse_pasv(c.reply, &host, &port), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
  }
}

}  // namespace
