// Writing INI files: byte-exact round trips that keep comments and order, the byte-order mark,
// the "key=value" form, and files that the store saved reading back identically.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conf.h"
#include "log_capture.h"
#include "temp_dir.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

class IniSave : public ::testing::Test {
 protected:
  // Loads the text, saves it and returns what was written.
  std::string resave(const std::string &text) {
    const std::string path = dir.write("t.ini", text);
    conf_ptr conf(conf_load(path.c_str()));
    EXPECT_TRUE(conf);
    if (!conf) return {};
    EXPECT_EQ(conf_save(conf.get()), 0);
    return read_file(path);
  }
  temp_dir dir;
};

TEST_F(IniSave, CanonicalFilesRoundTripByteForByte) {
  const std::string cases[] = {
      kBom + "# about the program\n[main]\nname=zmue\n# the level\nlevel=7\n\n[log]\nfile=/tmp/x.log\n\n",
      kBom + "[a]\nk=v\n# heading comment of b\n[b]\nx=\n# trailing\n; comments\n",
      kBom + "top=1\n\n[s]\nk=2\n\n",
      kBom + "only=globals\n\n",
      kBom + "# nothing but a comment\n",
  };
  for (const std::string &text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(resave(text), text);
  }
}

TEST_F(IniSave, NormalisesSpacingQuotesAndInlineComments) {
  const std::string saved = resave("  [ s ]  \n k = v ; inline\nq = \"a;b\"\n\n\n[t]\nempty=\n");
  EXPECT_EQ(saved, kBom + "[s]\nk=v\nq=\"a;b\"\n\n[t]\nempty=\n\n");
  EXPECT_EQ(resave(saved), saved);
}

// A key that begins with "[" reads from a file; written back with a value that ends in "]", its
// line must still read as that key and not as a section header.
TEST_F(IniSave, KeysThatLookLikeHeadersStayKeys) {
  const std::string cases[][2] = {
      {"[s]\n[r/=  [x]#n\n", "[s]\n[r/=[x];\n\n"},
      {"[s]\n[k=\"x]\"\n", "[s]\n[k=x];\n\n"},
      {"[s]\n[k=a\"b'c] ;z\n", "[s]\n[k=a\"b'c];\n\n"},
      {"[s]\n[k=]x\n", "[s]\n[k=]x\n\n"},
  };
  for (const auto &[text, saved] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(resave(text), kBom + saved);
    EXPECT_EQ(resave(kBom + saved), kBom + saved);
  }
}

TEST_F(IniSave, NewKeysJoinTheirSectionAndNewSectionsGoLast) {
  const std::string path = dir.file("new.ini");
  conf_ptr conf(conf_create_load(path.c_str()));
  ASSERT_TRUE(conf);
  EXPECT_TRUE(std::filesystem::exists(path));
  ASSERT_EQ(conf_set_string(conf.get(), "one", "a", "1"), 0);
  ASSERT_EQ(conf_set_string(conf.get(), "two", "b", "2"), 0);
  ASSERT_EQ(conf_set_int(conf.get(), "one", "c", -3), 0);
  ASSERT_EQ(conf_set_string(conf.get(), "two", "b", "changed"), 0);
  ASSERT_EQ(conf_save(conf.get()), 0);
  const std::string expected = kBom + "[one]\na=1\nc=-3\n\n[two]\nb=changed\n\n";
  EXPECT_EQ(read_file(path), expected);
  EXPECT_EQ(resave(expected), expected);
}

TEST_F(IniSave, EditsKeepTheCommentsOfUntouchedEntries) {
  const std::string path = dir.write("t.ini", kBom + "# s\n[s]\n# about k\nk=1\nj=2\n\n");
  conf_ptr conf(conf_load(path.c_str()));
  ASSERT_TRUE(conf);
  ASSERT_EQ(conf_set_string(conf.get(), "s", "k", "9"), 0);
  conf_del_key(conf.get(), "s", "j");
  ASSERT_EQ(conf_save(conf.get()), 0);
  EXPECT_EQ(read_file(path), kBom + "# s\n[s]\n# about k\nk=9\n\n");
}

TEST_F(IniSave, ValuesTheParserWouldCutAreQuoted) {
  const std::string values[] = {"a;b", "#x", "\"q\"", "it's;", "''", "plain text", ""};
  const std::string path = dir.file("q.ini");
  {
    conf_ptr conf(conf_create_load(path.c_str()));
    ASSERT_TRUE(conf);
    for (size_t i = 0; i < std::size(values); ++i)
      ASSERT_EQ(conf_set_string(conf.get(), "s", std::to_string(i).c_str(), values[i].c_str()), 0);
    ASSERT_EQ(conf_save(conf.get()), 0);
  }
  EXPECT_EQ(read_file(path), kBom + "[s]\n0=\"a;b\"\n1=\"#x\"\n2='\"q\"'\n3=\"it's;\"\n4=\"''\"\n"
                                    "5=plain text\n6=\n\n");
  conf_ptr again(conf_load(path.c_str()));
  ASSERT_TRUE(again);
  for (size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(conf_get_string(again.get(), "s", std::to_string(i).c_str(), "MISSING"), values[i]);
}

TEST_F(IniSave, TextsThatWouldNotReadBackAreRefused) {
  const std::string path = dir.file("t.ini");
  conf_ptr conf(conf_create_load(path.c_str()));
  ASSERT_TRUE(conf);
  log_capture logs;
  EXPECT_EQ(conf_set_string(conf.get(), "s", "k", "two\nlines"), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s", "k", std::string(1021, 'x').c_str()), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s", "a=b", "v"), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s", "", "v"), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s]x", "k", "v"), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s", "k", "both \" and ' ;"), -1);
  EXPECT_EQ(conf_set_string(conf.get(), "s", "k", std::string(1020, 'x').c_str()), 0);
  ASSERT_EQ(conf_save(conf.get()), 0);
  conf_ptr again(conf_load(path.c_str()));
  ASSERT_TRUE(again);
  EXPECT_EQ(std::string(conf_get_string(again.get(), "s", "k", "")), std::string(1020, 'x'));
}

TEST_F(IniSave, SaveFailureIsReported) {
  const std::string sub = dir.file("gone");
  std::filesystem::create_directory(sub);
  conf_ptr conf(conf_create_load((sub + "/t.ini").c_str()));
  ASSERT_TRUE(conf);
  ASSERT_EQ(conf_set_string(conf.get(), "s", "k", "v"), 0);
  std::filesystem::remove_all(sub);
  log_capture logs;
  EXPECT_EQ(conf_save(conf.get()), -1);
  ASSERT_FALSE(logs.all().empty());
  EXPECT_EQ(logs.all().back().text, "fopen [" + sub + "/t.ini] err: ");
  EXPECT_EQ(logs.all().back().level & 0xff, 7u);
  EXPECT_STREQ(conf_get_string(conf.get(), "s", "k", ""), "v");
}

TEST_F(IniSave, CreateLoadFailsWhereNoFileCanBeMade) {
  EXPECT_FALSE(conf_create_load(dir.file("no/such/dir/t.ini").c_str()));
}

}  // namespace
