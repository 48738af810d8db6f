// The error record: bounded texts, the appended system detail, the fallback to the code's
// message, copies and the null record that callers may pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pal_verr.h"

namespace {

class VerrInfo : public ::testing::Test {
 protected:
  verr_info info{};
  const std::string long_text = std::string(6000, 'x');
};

TEST_F(VerrInfo, SetStoresLocationCodeAndText) {
  VERR_SET(&info, VERR_TIMEOUT, "connect %s:%d", "127.0.0.1", 9000);
  EXPECT_STREQ(info.text, "connect 127.0.0.1:9000");
  EXPECT_EQ(info.code, VERR_TIMEOUT);
  EXPECT_STREQ(info.file, "tests/libpal/comm/verr_info_test.cpp");
  EXPECT_STREQ(info.func, "TestBody");
  EXPECT_GT(info.line, 0);
}

TEST_F(VerrInfo, NullRecordAndNullFormatAreHarmless) {
  verr_info_set(nullptr, "f", 1, "fn", -2, "%s", "ignored");
  verr_info_set_os(nullptr, "f", 1, "fn", -2, "detail", "%s", "ignored");
  strcpy(info.text, "old");
  verr_info_set(&info, "f", 1, "fn", -2, nullptr);
  EXPECT_STREQ(info.text, "");
}

TEST_F(VerrInfo, FormattedTextIsCutAt4094Characters) {
  verr_info_set(&info, "f", 1, "fn", -1, "%s", long_text.c_str());
  EXPECT_EQ(strlen(info.text), 4094u);
}

TEST_F(VerrInfo, OsVariantAppendsDetailWithinTheField) {
  verr_info_set_os(&info, "f", 1, "fn", ECONNREFUSED, "Connection refused",
                   "os_socket_init error: ");
  EXPECT_STREQ(info.text, "os_socket_init error: : Connection refused");
  EXPECT_EQ(info.code, ECONNREFUSED);

  verr_info_set_os(&info, "f", 1, "fn", -1, "tail-of-detail", "%s", long_text.c_str());
  ASSERT_EQ(strlen(info.text), static_cast<size_t>(VERR_TEXT_SIZE - 1));
  EXPECT_EQ(std::string(info.text + 4094), ":");
}

TEST_F(VerrInfo, TextFallsBackToTheCodesMessage) {
  verr_info_set(&info, "f", 1, "fn", VERR_NET_CONNECTION_REFUSED, nullptr);
  EXPECT_STREQ(verr_info_text(&info), "Connection refused.");
  verr_info_set(&info, "f", 1, "fn", VERR_NET_CONNECTION_REFUSED, "proxy said no");
  EXPECT_STREQ(verr_info_text(&info), "proxy said no");
}

TEST_F(VerrInfo, CopyTakesEveryFieldAndIgnoresSelfCopy) {
  verr_info_set(&info, "src/x", 7, "fn", -40, "%s", long_text.c_str());
  verr_info copy{};
  verr_info_copy(&copy, &info);
  EXPECT_STREQ(copy.file, "src/x");
  EXPECT_STREQ(copy.func, "fn");
  EXPECT_EQ(copy.line, 7);
  EXPECT_EQ(copy.code, -40);
  EXPECT_STREQ(copy.text, info.text);
  verr_info_copy(&info, &info);
  EXPECT_EQ(strlen(info.text), 4094u);
}

}  // namespace
