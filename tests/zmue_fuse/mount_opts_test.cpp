// The mount step's pure decisions: the read-only decision on the option list and the
// normalisation of the mount directory.
#include "log_capture.h"
#include "myfuse.h"

#include <gtest/gtest.h>

namespace {

TEST(ReadOnlyDecision, ReadOnlyUnlessRwAskedAndAllowed) {
  const struct {
    const char *options;
    uint32_t readonly;
    const char *result;
    bool warned;
  } cases[] = {
      {"", 0, "ro", false},
      {"rw", 0, "", false},
      {"rw", 1, "rw,ro", true},
      {"rw,allow_other", 0, "allow_other", false},
      {"allow_other,rw,noexec,rw", 0, "allow_other,noexec", false},
      {"allow_other", 0, "allow_other,ro", false},
      {"ro", 0, "ro", false},
      {"noexec,ro", 1, "noexec,ro", false},
      {"rwx,row", 0, "rwx,row,ro", false},  // only whole items count
      {"", 1, "ro", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.options) + " readonly=" + std::to_string(c.readonly));
    log_capture logs;
    EXPECT_EQ(myfuse_readonly_options(c.options, c.readonly), c.result);
    auto lines = logs.taken();
    if (c.warned) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].text, "VFS read-only Forced to read-only mount\n");
      EXPECT_EQ(lines[0].level, LOG2_WARN);
    } else {
      EXPECT_TRUE(lines.empty());
    }
  }
}

TEST(ReadOnlyDecision, LongListIsCutAtItsLimit) {
  std::string list(MYFUSE_OPTIONS_SIZE + 100, 'x');
  std::string result = myfuse_readonly_options(list.c_str(), 0);
  EXPECT_EQ(result.size(), static_cast<size_t>(MYFUSE_OPTIONS_SIZE - 1) + 3);
  EXPECT_EQ(result.substr(result.size() - 3), ",ro");
}

TEST(MountDir, IsNormalised) {
  const struct {
    const char *in;
    const char *out;
  } cases[] = {
      {"/mnt//data/", "/mnt/data/"},
      {"  \"/mnt/share\" ", "/mnt/share"},
      {"'/mnt/a'", "/mnt/a"},
      {"file:///srv//x", "/srv/x"},
      {"\\mnt\\\\win\\dir", "/mnt/win/dir"},
      {"relative//dir", "relative/dir"},
      {"   ", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(myfuse_normalize_mount_dir(c.in), c.out) << c.in;
}

}  // namespace
