// Paths of the running program and the file-system helpers: the executable's directory,
// normalising, absolute paths, existence tests and creating a directory with its parents.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "pal_os.h"

namespace fs = std::filesystem;

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pal_os_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

TEST(ExeDir, IsTheFolderOfTheRunningProgram) {
  char dir[OS_PATH_SIZE];
  ASSERT_EQ(os_exe_get_dir(dir, sizeof dir), 0);
  EXPECT_EQ(fs::path(dir), fs::read_symlink("/proc/self/exe").parent_path());
  EXPECT_TRUE(os_file_exists((std::string(dir) + "/pal_os_tests").c_str()));
}

TEST(ExeDir, TooSmallBufferFails) {
  char dir[4];
  EXPECT_EQ(os_exe_get_dir(dir, sizeof dir), -1);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST(PathText, Normalize) {
  const struct {
    const char *in;
    const char *out;
  } cases[] = {
      {"c:\\dir\\sub", "c:/dir/sub"}, {"//a///b//", "/a/b/"}, {"a\\\\b", "a/b"},
      {"plain", "plain"},             {"", ""},
  };
  for (const auto &c : cases) {
    std::string text = c.in;
    EXPECT_STREQ(os_path_normalize(text.data()), c.out) << c.in;
  }
}

TEST(PathText, Absolute) {
  const struct {
    const char *path;
    bool absolute;
  } cases[] = {{"/opt/x", true}, {"C:/x", true}, {"d:", true}, {"cores", false},
               {"./cores", false}, {"", false}, {"1:", false}};
  for (const auto &c : cases) EXPECT_EQ(os_path_is_absolute(c.path), c.absolute) << c.path;
  EXPECT_FALSE(os_path_is_absolute(nullptr));
}

TEST_F(TempDir, ExistenceTellsFilesFromDirectories) {
  const std::string file = (root / "f").string();
  std::ofstream(file) << "x";
  EXPECT_TRUE(os_file_exists(file.c_str()));
  EXPECT_FALSE(os_dir_exists(file.c_str()));
  EXPECT_TRUE(os_dir_exists(root.c_str()));
  EXPECT_FALSE(os_file_exists(root.c_str()));
  EXPECT_FALSE(os_file_exists((root / "missing").c_str()));
  EXPECT_FALSE(os_dir_exists(nullptr));
}

TEST_F(TempDir, MkdirsCreatesMissingParents) {
  const std::string deep = (root / "a/b//c/").string();
  ASSERT_EQ(os_mkdirs(deep.c_str(), 0755), 0);
  EXPECT_TRUE(fs::is_directory(root / "a/b/c"));
  EXPECT_EQ(os_mkdirs(deep.c_str(), 0755), 0) << "an existing directory is success";
}

TEST_F(TempDir, MkdirsFailsWhereAFileIsInTheWay) {
  std::ofstream((root / "f").string()) << "x";
  errno = 0;
  EXPECT_EQ(os_mkdirs((root / "f").c_str(), 0755), -1);
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_EQ(os_mkdirs((root / "f/sub").c_str(), 0755), -1);
  EXPECT_EQ(os_mkdirs("", 0755), -1);
  EXPECT_EQ(os_mkdirs(std::string(OS_PATH_SIZE, 'a').c_str(), 0755), -1);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

}  // namespace
