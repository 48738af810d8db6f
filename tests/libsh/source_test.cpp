// `source`: lines of files through the executor, blank lines skipped, a missing file, nesting
// bounded, and the exit flag ending a file early.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sh_fixture.h"

namespace {

class SourceTest : public ShellTest {
 protected:
  void TearDown() override {
    for (const std::string &path : files_) unlink(path.c_str());
    ShellTest::TearDown();
  }
  std::string script(const std::string &text) {
    char path[] = "/tmp/zmsh-source-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(close(fd), 0);
    files_.push_back(path);
    return path;
  }

 private:
  std::vector<std::string> files_;
};

TEST_F(SourceTest, RunsEveryLineAndSkipsBlankOnes) {
  std::string path = script("rec one\n\n   \nrec two; rec three\r\n# comment\nrec last");
  run("source " + path);
  EXPECT_EQ(calls(), (std::vector<std::string>{"rec|one", "rec|two", "rec|three", "rec|last"}));
  EXPECT_EQ(result(), 0);
}

TEST_F(SourceTest, MissingFileStops) {
  EXPECT_EQ(run("source /nonexistent/zmsh.rc; rec after"),
            std::string("open:[/nonexistent/zmsh.rc] error:No such file or directory\n") + '\0');
  EXPECT_EQ(result(), -1);
  EXPECT_TRUE(calls().empty());
}

TEST_F(SourceTest, SeveralFilesInOrder) {
  std::string a = script("rec a\n");
  std::string b = script("rec b\n");
  run("source " + a + " " + b);
  EXPECT_EQ(calls(), (std::vector<std::string>{"rec|a", "rec|b"}));
}

TEST_F(SourceTest, SelfSourcingEndsWithAnError) {
  char path[] = "/tmp/zmsh-source-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(close(fd), 0);
  std::string self = path;
  unlink(path);
  std::string made = script("source " + self + "\nrec after\n");
  ASSERT_EQ(rename(made.c_str(), self.c_str()), 0);
  std::string out = run("source " + self);
  unlink(self.c_str());
  const std::string message = "source: [" + self + "] nested too deep\n";
  size_t at = out.find(message);
  ASSERT_NE(at, std::string::npos) << show_nul(out);
  EXPECT_EQ(out.find(message, at + 1), std::string::npos);
  EXPECT_EQ(calls().size(), 8u);  // each level goes on after its inner source
}

TEST_F(SourceTest, QuitEndsTheFile) {
  std::string path = script("rec before\nquit\nrec after\n");
  run("source " + path);
  EXPECT_EQ(calls(), (std::vector<std::string>{"rec|before"}));
  EXPECT_EQ(ctx_.exit_flag, 1);
}

}  // namespace
