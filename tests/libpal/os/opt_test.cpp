// The -s settings table: listing the keys, "key=val" kept as pending texts (keys ignore case),
// syntax and key errors, and applying the pending values to their targets.
#include <gtest/gtest.h>

#include <string>

#include "../comm/log_capture.h"
#include "pal_env.h"
#include "pal_os.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void TearDown() override {
    for (os_opt_kv *row = table; row->key; ++row) os_free(row->pending);
    os_free(name);
  }
  int http_port = 0;
  int debug_port = 0;
  char *name = nullptr;
  os_opt_kv table[4] = {
      {"http_server_port", &http_port, OS_OPT_TYPE_INT, nullptr},
      {"debug_server_port", &debug_port, OS_OPT_TYPE_INT, nullptr},
      {"name", &name, 0, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
};

TEST_F(Settings, ListPrintsEveryKeyAndExitsZero) {
  EXPECT_EXIT(os_opt_kv_get(table, "list"), ::testing::ExitedWithCode(0),
              ::testing::Eq("support the following key settings\nhttp_server_port\n"
                            "debug_server_port\nname\n"));
}

TEST_F(Settings, KeyIgnoresCaseAndValueWaitsUntilApplied) {
  ASSERT_EQ(os_opt_kv_get(table, "HTTP_SERVER_PORT=8080"), 0);
  EXPECT_STREQ(table[0].pending, "8080");
  EXPECT_EQ(http_port, 0);
  ASSERT_EQ(os_opt_kv_get(table, "Debug_Server_Port=1"), 0);
  ASSERT_EQ(os_opt_kv_get(table, "debug_server_port=9090"), 0) << "a later value replaces";
  ASSERT_EQ(os_opt_kv_get(table, "name=a=b"), 0) << "only the first = splits";

  const uint64_t blocks = os_mem_get_stats().malloc_count;
  os_opt_kv_apply(table);
  EXPECT_EQ(http_port, 8080);
  EXPECT_EQ(debug_port, 9090);
  EXPECT_STREQ(name, "a=b");
  for (const os_opt_kv *row = table; row->key; ++row) EXPECT_EQ(row->pending, nullptr);
  EXPECT_EQ(os_mem_get_stats().malloc_count, blocks - 3 + 1) << "pending freed, one copy made";
}

TEST_F(Settings, MissingEqualsIsASyntaxError) {
  log_capture log;
  EXPECT_EQ(os_opt_kv_get(table, "port"), -1);
  ASSERT_EQ(log.all().size(), 1u);
  EXPECT_EQ(log.all()[0].level, LOG2_ERR);
  EXPECT_EQ(log.all()[0].file, "src/lib/libpal/os/os_opt.cpp");
  EXPECT_EQ(log.all()[0].text, "port syntax error Example: k=v\n");
}

TEST_F(Settings, UnknownKeyIsRejected) {
  log_capture log;
  EXPECT_EQ(os_opt_kv_get(table, "nope=1"), -1);
  ASSERT_EQ(log.all().size(), 1u);
  EXPECT_EQ(log.all()[0].text, "unsupported key [nope]\n");
  for (const os_opt_kv *row = table; row->key; ++row) EXPECT_EQ(row->pending, nullptr);
}

TEST_F(Settings, ValueIsCutAt255Bytes) {
  ASSERT_EQ(os_opt_kv_get(table, ("name=" + std::string(400, 'v')).c_str()), 0);
  EXPECT_EQ(std::string(table[2].pending), std::string(255, 'v'));
}

}  // namespace
