// The type-1 log record: the head read back through the type's own descriptor, the source-root
// cut, texts that overflow the shared budget, null texts, and shortening a finished record.
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "bsv.h"
#include "pal_env.h"
#include "pal_log.h"

namespace {

class BsvLogRecord : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(bsv_value_init_type(&v_, BSV_LOG_TYPE), 0); }
  const char *text(const char *name) {
    return bsv_value_get_str(&v_, rec_.data, rec_.len, bsv_value_find(&v_, name));
  }
  size_t texts_size() const { return rec_.len - BSV_LOG_HEAD_SIZE; }

  bsv_value v_{};
  bsv_log_record rec_{};
};

TEST_F(BsvLogRecord, HeadAndTexts) {
  timeval before{};
  gettimeofday(&before, nullptr);
  bsv_log_record_build(&rec_, LOG2_NET | LOG2_ERR, "vfs", "src/lib/libvfs/file.cpp", 42, "vfs_open",
                       "open failed\n");
  uint64_t sec = 0;
  uint32_t usec = 0, pid = 0, tid = 0;
  uint8_t level = 0;
  ASSERT_EQ(bsv_value_get_u64(&v_, rec_.data, rec_.len, 0, &sec), 0);
  ASSERT_EQ(bsv_value_get_u32(&v_, rec_.data, rec_.len, 1, &usec), 0);
  ASSERT_EQ(bsv_value_get_u32(&v_, rec_.data, rec_.len, 2, &pid), 0);
  ASSERT_EQ(bsv_value_get_u32(&v_, rec_.data, rec_.len, 3, &tid), 0);
  ASSERT_EQ(bsv_value_get_u8(&v_, rec_.data, rec_.len, 4, &level), 0);
  EXPECT_GE(sec * 1000000 + usec, static_cast<uint64_t>(before.tv_sec) * 1000000 + before.tv_usec);
  EXPECT_LT(usec, 1000000u);
  EXPECT_EQ(pid, static_cast<uint32_t>(getpid()));
  EXPECT_EQ(tid, static_cast<uint32_t>(os_gettid()));
  EXPECT_EQ(level, LOG2_ERR);  // the bits above the level byte are not part of it

  char thread_name[300];
  EXPECT_STREQ(text("tag"), "vfs");
  EXPECT_STREQ(text("tid_name"), os_thread_name_get(thread_name, sizeof thread_name));
  EXPECT_STREQ(text("file"), "libvfs/file.cpp");
  EXPECT_STREQ(text("line"), "42");
  EXPECT_STREQ(text("func"), "vfs_open");
  EXPECT_STREQ(text("msg"), "open failed\n");
  EXPECT_EQ(rec_.data[rec_.len - 1], '\0');
}

TEST_F(BsvLogRecord, PathsOutsideTheRootAreKept) {
  bsv_log_record_build(&rec_, LOG2_INFO, "t", "/abs/src/lib/x.cpp", -3, "f", "m");
  EXPECT_STREQ(text("file"), "/abs/src/lib/x.cpp");
  EXPECT_STREQ(text("line"), "-3");
}

// A call without a function name still carries its message.
TEST_F(BsvLogRecord, NullTextsAreStoredEmpty) {
  bsv_log_record_build(&rec_, LOG2_INFO, nullptr, nullptr, 1, nullptr, "message");
  EXPECT_STREQ(text("tag"), "");
  EXPECT_STREQ(text("file"), "");
  EXPECT_STREQ(text("func"), "");
  EXPECT_STREQ(text("msg"), "message");
}

TEST_F(BsvLogRecord, LongMessageIsCutToTheBudget) {
  const std::string msg(2000, 'm');
  bsv_log_record_build(&rec_, LOG2_INFO, "tag", "f.cpp", 1, "func", msg.c_str());
  EXPECT_EQ(texts_size(), BSV_LOG_TEXTS_MAX);
  EXPECT_EQ(rec_.len, BSV_LOG_RECORD_MAX);
  const std::string kept = text("msg");
  EXPECT_EQ(kept, msg.substr(0, kept.size()));
  EXPECT_GT(kept.size(), 1300u);
  EXPECT_EQ(rec_.data[rec_.len - 1], '\0');
}

// The text that reaches the end is cut; the ones after it are left out.
TEST_F(BsvLogRecord, LongTagDropsTheLaterTexts) {
  const std::string tag(1500, 't');
  bsv_log_record_build(&rec_, LOG2_INFO, tag.c_str(), "f.cpp", 1, "func", "msg");
  EXPECT_EQ(texts_size(), BSV_LOG_TEXTS_MAX);
  EXPECT_EQ(std::string(text("tag")), tag.substr(0, BSV_LOG_TEXTS_MAX - 1));
  EXPECT_EQ(text("tid_name"), nullptr);
  EXPECT_EQ(text("msg"), nullptr);
}

TEST_F(BsvLogRecord, CutKeepsAReadableRecord) {
  bsv_log_record_build(&rec_, LOG2_INFO, "tag", "f.cpp", 1, "func", std::string(500, 'x').c_str());
  const size_t full = rec_.len;
  bsv_log_record_cut(&rec_, full + 10);
  EXPECT_EQ(rec_.len, full);
  bsv_log_record_cut(&rec_, 300);
  EXPECT_EQ(rec_.len, 300u);
  EXPECT_EQ(rec_.data[299], '\0');
  ASSERT_NE(text("msg"), nullptr);
  EXPECT_EQ(std::string(text("msg")), std::string(strlen(text("msg")), 'x'));
  EXPECT_STREQ(text("tag"), "tag");
}

}  // namespace
