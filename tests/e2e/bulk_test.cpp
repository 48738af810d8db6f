// Volume through the mount: a 64 MiB file copied in and out with tools, a directory of 5000
// entries listed completely, block I/O with dd and a tree copied with cp -a.
#include "e2e_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <set>

namespace {

using Bulk = MountedTest;

std::string q(const std::string &path) { return "\"" + path + "\""; }

TEST_F(Bulk, LargeFileCopiesInAndOutIntact) {
  std::string original = tree_.work + "/big";
  ASSERT_EQ(e2e::shell("dd if=/dev/urandom of=" + q(original) + " bs=1M count=64 2>/dev/null"), 0);
  std::string sum = e2e::sha256_of(original);
  ASSERT_EQ(sum.size(), 64u);
  ASSERT_EQ(e2e::shell("cp " + q(original) + " " + q(m("big")), 300), 0);
  EXPECT_EQ(e2e::sha256_of(b("big")), sum);
  struct stat st{};
  ASSERT_EQ(stat(m("big").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64LL << 20);
  std::string back = tree_.work + "/big.out";
  ASSERT_EQ(e2e::shell("cp " + q(m("big")) + " " + q(back), 300), 0);
  EXPECT_EQ(e2e::sha256_of(back), sum);
  EXPECT_EQ(e2e::shell("cmp " + q(m("big")) + " " + q(original), 300), 0);
}

TEST_F(Bulk, DirectoryOf5000EntriesIsListedCompletely) {
  const int count = 5000;
  ASSERT_EQ(mkdir(m("many").c_str(), 0755), 0);
  std::set<std::string> expected = {".", ".."};
  for (int i = 0; i < count; ++i) {
    std::string name = "entry_with_a_longish_name_" + std::to_string(i);
    int fd = open(m("many/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << name << ": " << strerror(errno);
    ASSERT_EQ(close(fd), 0);
    expected.insert(name);
  }
  for (const std::string &dir : {m("many"), b("many")}) {
    SCOPED_TRACE(dir);
    std::set<std::string> names;
    size_t delivered = 0;
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    while (dirent *e = readdir(d)) {
      names.insert(e->d_name);
      delivered++;
    }
    closedir(d);
    EXPECT_EQ(delivered, expected.size()) << "no entry twice";
    EXPECT_EQ(names, expected);
  }
  EXPECT_EQ(e2e::shell_output("find " + q(m("many")) + " -type f | wc -l"), std::to_string(count));
}

TEST_F(Bulk, DdWritesAndReadsBlocks) {
  ASSERT_EQ(e2e::shell("dd if=/dev/urandom of=" + q(m("dd")) + " bs=64k count=32 2>/dev/null"), 0);
  struct stat st{};
  ASSERT_EQ(stat(b("dd").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 2 << 20);
  ASSERT_EQ(e2e::shell("dd if=" + q(m("dd")) + " of=" + q(tree_.work + "/part") +
                       " bs=4k skip=100 count=50 2>/dev/null"),
            0);
  ASSERT_EQ(e2e::shell("dd if=" + q(b("dd")) + " of=" + q(tree_.work + "/part.ref") +
                       " bs=4k skip=100 count=50 2>/dev/null"),
            0);
  EXPECT_EQ(e2e::shell("cmp " + q(tree_.work + "/part") + " " + q(tree_.work + "/part.ref")), 0);
  const std::string before = e2e::sha256_of(b("dd"));
  const int patched = e2e::shell("dd if=/dev/zero of=" + q(m("dd")) +
                                 " bs=4k seek=10 count=1 conv=notrunc 2>/dev/null");
  if (e2e::expected().read_write) {
    EXPECT_NE(patched, 0) << "a write inside the file cannot be done";
    EXPECT_EQ(e2e::sha256_of(b("dd")), before);
  } else {
    EXPECT_EQ(patched, 0);
    EXPECT_NE(e2e::sha256_of(b("dd")), before);
  }
  EXPECT_EQ(e2e::sha256_of(m("dd")), e2e::sha256_of(b("dd")));
}

TEST_F(Bulk, TreeCopiedWithCpArchiveMatches) {
  std::string src = tree_.work + "/tree";
  ASSERT_EQ(e2e::shell("mkdir -p " + q(src + "/a/b") + " && echo one > " + q(src + "/a/one") +
                       " && echo two > " + q(src + "/a/b/two") + " && chmod 0751 " +
                       q(src + "/a/b") + " && ln -s one " + q(src + "/a/link") +
                       " && touch -d @1100000000 " + q(src + "/a/one")),
            0);
  const e2e::backend_expectations &can = e2e::expected();
  const int copied = e2e::shell("cp -a " + q(src) + " " + q(m("tree")) + " 2>/dev/null");
  if (can.symlink || can.utimens || !can.keeps_modes) {
    // cp reports what it could not keep, yet every directory and file arrives whole.
    EXPECT_NE(copied, 0);
    EXPECT_EQ(read_all(b("tree/a/one")), "one\n");
    EXPECT_EQ(read_all(b("tree/a/b/two")), "two\n");
  } else {
    ASSERT_EQ(copied, 0);
    EXPECT_EQ(e2e::shell("diff -r " + q(src) + " " + q(b("tree"))), 0);
    struct stat st{};
    ASSERT_EQ(stat(b("tree/a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0751u);
    ASSERT_EQ(stat(b("tree/a/one").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
    ASSERT_EQ(lstat(b("tree/a/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  EXPECT_EQ(e2e::shell("rm -r " + q(m("tree"))), 0);
  EXPECT_NE(access(b("tree").c_str(), F_OK), 0);
}

}  // namespace
