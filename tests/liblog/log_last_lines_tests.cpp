// The last-lines buffer: whole lines pushed out from the front, over-long lines refused.
#include <gtest/gtest.h>

#include <string>

#include "log_last_lines.h"

namespace {

constexpr size_t kRoom = LOG2_LAST_LINES_SIZE - 1;

std::string line_of(char c, size_t len) { return std::string(len - 1, c) + "\n"; }

class LastLines : public ::testing::Test {
 protected:
  void add(const std::string &line) { buf_.append(line.data(), line.size()); }
  log_last_lines buf_;
};

TEST_F(LastLines, KeepsLinesThatFit) {
  add("a\n");
  add("b\n");
  EXPECT_EQ(buf_.text(), "a\nb\n");
  char last[16];
  EXPECT_STREQ(buf_.last_line(last, sizeof last), "b");
}

TEST_F(LastLines, ExactFitUsesTheWholeRoom) {
  add(line_of('a', 500));
  add(line_of('b', kRoom - 500));
  EXPECT_EQ(buf_.text().size(), kRoom);
  EXPECT_EQ(buf_.text().front(), 'a');
}

TEST_F(LastLines, PushesOutOnlyAsManyOldestWholeLinesAsNeeded) {
  add(line_of('a', 300));
  add(line_of('b', 300));
  add(line_of('c', 300));
  add(line_of('d', 400));  // needs 277 more bytes: "a" goes, "b" stays
  EXPECT_EQ(buf_.text(), line_of('b', 300) + line_of('c', 300) + line_of('d', 400));
  add(line_of('e', 300));  // "b" goes
  EXPECT_EQ(buf_.text(), line_of('c', 300) + line_of('d', 400) + line_of('e', 300));
  add(line_of('f', 650));  // "c" and "d" go
  EXPECT_EQ(buf_.text(), line_of('e', 300) + line_of('f', 650));
}

TEST_F(LastLines, LineLongerThanTheBufferIsNotStored) {
  add("keep\n");
  add(line_of('x', kRoom + 1));
  EXPECT_EQ(buf_.text(), "keep\n");
  add(line_of('y', kRoom));
  EXPECT_EQ(buf_.text(), line_of('y', kRoom));
}

}  // namespace
