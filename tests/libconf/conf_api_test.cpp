// Front-end operations on loaded files: typed reads, combined names, section patterns, deletes,
// renames, list sections, the section map and the one-shot file read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conf.h"
#include "log_capture.h"
#include "temp_dir.h"

namespace {

using strings = std::vector<std::string>;

class ConfApi : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.write("t.ini",
                     "[conf]\nnum=42\nneg=-7\nword=abc\nmixed=12abc\nempty=\n"
                     "[session/office]\nprot=zmp\nip=10.0.0.5\n"
                     "[session/home]\nprot=loc\n"
                     "[other]\nk=v\n"
                     "[list]\nname=keep\n0=a\n1=b\n");
    conf.reset(conf_load(path.c_str()));
    ASSERT_TRUE(conf);
  }
  conf_handle *h() { return conf.get(); }
  temp_dir dir;
  std::string path;
  conf_ptr conf;
};

TEST_F(ConfApi, IntegerReads) {
  const struct {
    const char *key;
    int expected;
  } cases[] = {{"num", 42}, {"neg", -7}, {"word", 0}, {"mixed", 12}, {"empty", 0}, {"absent", 99}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(conf_get_int(h(), "conf", c.key, 99), c.expected);
  }
}

TEST_F(ConfApi, ReturnedTextSurvivesOtherChanges) {
  const char *ip = conf_get_string(h(), "session/office", "ip", nullptr);
  ASSERT_NE(ip, nullptr);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(conf_set_int(h(), "bulk", std::to_string(i).c_str(), i), 0);
  conf_del_section(h(), "other");
  EXPECT_STREQ(ip, "10.0.0.5");
}

TEST_F(ConfApi, CombinedNames) {
  EXPECT_EQ(conf_set_by_name(h(), "new\tk:x", "tab"), 0);
  EXPECT_STREQ(conf_get_string(h(), "new", "k:x", ""), "tab");
  const struct {
    const char *name;
    const char *expected;
  } cases[] = {
      {"conf:num", "42"},        {"conf\tnum", "42"},     {"new\tk:x", "tab"},
      {"session/office:ip", "10.0.0.5"}, {"conf:absent", "DEF"}, {"nosplit", "DEF"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(conf_get_by_name(h(), c.name, "DEF"), c.expected);
  }
  EXPECT_EQ(conf_get_int_by_name(h(), "conf:neg", 5), -7);
  EXPECT_EQ(conf_get_int_by_name(h(), "nosplit", 5), 5);
  EXPECT_EQ(conf_set_int_by_name(h(), "a:b:c", 3), 0);
  EXPECT_EQ(conf_get_int(h(), "a", "b:c", 0), 3);
  EXPECT_EQ(conf_set_by_name(h(), "nosplit", "v"), -1);
  EXPECT_EQ(conf_set_int_by_name(h(), "nosplit", 1), -1);
}

TEST_F(ConfApi, SectionsKeysAndPatterns) {
  EXPECT_EQ(conf_sections(h(), nullptr),
            (strings{"conf", "session/office", "session/home", "other", "list"}));
  EXPECT_EQ(conf_sections(h(), "session/*"), (strings{"session/office", "session/home"}));
  EXPECT_EQ(conf_sections(h(), "?ther"), (strings{"other"}));
  EXPECT_EQ(conf_keys(h(), "session/office"), (strings{"prot", "ip"}));
  EXPECT_EQ(conf_has_section(h(), "other"), 1);
  EXPECT_EQ(conf_has_section(h(), "session"), 0);
  EXPECT_EQ(conf_has_key(h(), "other", "k"), 1);
  EXPECT_EQ(conf_has_key(h(), "other", "K"), 0);
}

TEST_F(ConfApi, DeletesRemoveKeysWithTheirSection) {
  conf_del_section(h(), "session/office");
  EXPECT_EQ(conf_has_section(h(), "session/office"), 0);
  EXPECT_STREQ(conf_get_string(h(), "session/office", "ip", "gone"), "gone");
  conf_del_key(h(), "conf", "num");
  EXPECT_EQ(conf_has_key(h(), "conf", "num"), 0);
  EXPECT_EQ(conf_has_key(h(), "conf", "neg"), 1);
}

TEST_F(ConfApi, RenameSectionMovesItsKeysUnlessTheNameIsTaken) {
  ASSERT_EQ(conf_rename_section(h(), "session/office", "session/work"), 0);
  EXPECT_STREQ(conf_get_string(h(), "session/work", "ip", ""), "10.0.0.5");
  EXPECT_EQ(conf_has_section(h(), "session/office"), 0);
  EXPECT_EQ(conf_sections(h(), "session/*"), (strings{"session/work", "session/home"}));

  log_capture logs;
  EXPECT_EQ(conf_rename_section(h(), "session/home", "session/work"), -1);
  ASSERT_EQ(logs.all().size(), 1u);
  EXPECT_EQ(logs.all()[0].text, "nsec=session/work exist error\n");
  EXPECT_EQ(logs.all()[0].level & 0xff, 3u);
  EXPECT_STREQ(conf_get_string(h(), "session/home", "prot", ""), "loc");
  EXPECT_STREQ(conf_get_string(h(), "session/work", "prot", ""), "zmp");
  EXPECT_EQ(conf_rename_section(h(), "absent", "fresh"), -1);
}

TEST_F(ConfApi, RenameKeyIsNotSupported) {
  log_capture logs;
  EXPECT_EQ(conf_rename_key(h(), "other", "k", "j"), -1);
  ASSERT_EQ(logs.all().size(), 1u);
  EXPECT_EQ(logs.all()[0].text, "noimpl\n");
  EXPECT_EQ(logs.all()[0].level & 0xff, 4u);
  EXPECT_STREQ(conf_get_string(h(), "other", "k", ""), "v");
}

TEST_F(ConfApi, ListSections) {
  EXPECT_EQ(conf_list_get(h(), "list"), (strings{"a", "b"}));
  ASSERT_EQ(conf_list_add(h(), "list", "c"), 0);
  ASSERT_EQ(conf_list_add(h(), "list", "a"), 0);
  EXPECT_EQ(conf_list_get(h(), "list"), (strings{"a", "b", "c"}));
  ASSERT_EQ(conf_list_del(h(), "list", "a"), 0);
  EXPECT_EQ(conf_list_get(h(), "list"), (strings{"b", "c"}));
  EXPECT_EQ(conf_keys(h(), "list"), (strings{"name", "0", "1"}));
  ASSERT_EQ(conf_list_clear(h(), "list"), 0);
  EXPECT_TRUE(conf_list_get(h(), "list").empty());
  EXPECT_EQ(conf_keys(h(), "list"), (strings{"name"}));
  ASSERT_EQ(conf_list_add(h(), "fresh", "x"), 0);
  EXPECT_STREQ(conf_get_string(h(), "fresh", "0", ""), "x");
}

TEST_F(ConfApi, ListRewriteDropsStrayIndexKeys) {
  temp_dir other;
  conf_ptr c(conf_load(other.write("l.ini", "[l]\n3=x\n07=y\n").c_str()));
  ASSERT_TRUE(c);
  ASSERT_EQ(conf_list_add(c.get(), "l", "z"), 0);
  EXPECT_EQ(conf_keys(c.get(), "l"), (strings{"0", "1", "2"}));
  EXPECT_EQ(conf_list_get(c.get(), "l"), (strings{"x", "y", "z"}));
}

TEST_F(ConfApi, SectionMap) {
  auto map = conf_section_map(h(), "session/office");
  ASSERT_TRUE(map);
  EXPECT_EQ(*map, (str_map{{"prot", "zmp"}, {"ip", "10.0.0.5"}}));
  auto none = conf_section_map(h(), "absent");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

TEST_F(ConfApi, GetFromFile) {
  char out[16];
  EXPECT_EQ(conf_get_from_file(path.c_str(), "conf:num", "d", out, sizeof out), 0);
  EXPECT_STREQ(out, "42");
  EXPECT_EQ(conf_get_from_file(path.c_str(), "conf:absent", "d", out, sizeof out), 0);
  EXPECT_STREQ(out, "d");
  EXPECT_EQ(conf_get_from_file(dir.file("absent.ini").c_str(), "conf:num", "d", out, sizeof out), -1);
  EXPECT_STREQ(out, "d");
  EXPECT_EQ(conf_get_from_file(path.c_str(), "session/office:ip", "", out, 5), 0);
  EXPECT_STREQ(out, "10.0");
}

TEST_F(ConfApi, NullHandleIsHarmless) {
  EXPECT_STREQ(conf_get_string(nullptr, "s", "k", "def"), "def");
  EXPECT_EQ(conf_get_int(nullptr, "s", "k", 4), 4);
  EXPECT_EQ(conf_set_string(nullptr, "s", "k", "v"), -1);
  EXPECT_EQ(conf_save(nullptr), -1);
  EXPECT_TRUE(conf_sections(nullptr, nullptr).empty());
  EXPECT_FALSE(conf_section_map(nullptr, "s"));
  conf_free(nullptr);
}

}  // namespace
