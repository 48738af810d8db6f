// Reading INI files: value and quoting rules, case, byte-order mark, line ends, and the errors
// that make a whole load fail with their exact messages.
#include <gtest/gtest.h>

#include <string>

#include "conf.h"
#include "log_capture.h"
#include "temp_dir.h"

namespace {

struct value_case {
  const char *line;
  const char *key;
  const char *expected;
};

class IniParse : public ::testing::Test {
 protected:
  conf_ptr load(const std::string &text) { return conf_ptr(conf_load(dir.write("t.ini", text).c_str())); }
  temp_dir dir;
};

TEST_F(IniParse, ValueRules) {
  const value_case cases[] = {
      {"a = \"x;y\" ; note", "a", "x;y"},
      {"b = x;y", "b", "x"},
      {"c = 'q#r'", "c", "q#r"},
      {"d = \"\"", "d", ""},
      {"e = ''", "e", ""},
      {"f =", "f", ""},
      {"g = ; only a comment", "g", ""},
      {"h=# only a comment", "h", ""},
      {"i =   spaced  value   ", "i", "spaced  value"},
      {"j = a = b", "j", "a = b"},
      {"  k  =v", "k", "v"},
      {"l = \"open quote", "l", "open quote"},
      {"m = x # tail", "m", "x"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.line);
    conf_ptr conf = load(std::string("[s]\n") + c.line + "\n");
    ASSERT_TRUE(conf);
    EXPECT_STREQ(conf_get_string(conf.get(), "s", c.key, "MISSING"), c.expected);
  }
}

TEST_F(IniParse, NamesKeepTheirCaseAndDiffer) {
  conf_ptr conf = load("[Sec]\nKey=upper\nkey=lower\n[sec]\nkey=other\n");
  ASSERT_TRUE(conf);
  EXPECT_STREQ(conf_get_string(conf.get(), "Sec", "Key", ""), "upper");
  EXPECT_STREQ(conf_get_string(conf.get(), "Sec", "key", ""), "lower");
  EXPECT_STREQ(conf_get_string(conf.get(), "sec", "key", ""), "other");
  EXPECT_STREQ(conf_get_string(conf.get(), "SEC", "key", "none"), "none");
  EXPECT_EQ(conf_sections(conf.get(), nullptr), (std::vector<std::string>{"Sec", "sec"}));
}

TEST_F(IniParse, SectionHeaderIsTrimmedAndCutAtBracket) {
  conf_ptr conf = load("[  spaced name ]\na=1\n[x]y]\nb=2\n");
  ASSERT_TRUE(conf);
  EXPECT_EQ(conf_sections(conf.get(), nullptr), (std::vector<std::string>{"spaced name", "x"}));
  EXPECT_STREQ(conf_get_string(conf.get(), "x", "b", ""), "2");
}

TEST_F(IniParse, ByteOrderMarkAndCrLfAreAccepted) {
  conf_ptr conf = load("\xEF\xBB\xBF[s]\r\nk=v\r\n");
  ASSERT_TRUE(conf);
  EXPECT_STREQ(conf_get_string(conf.get(), "s", "k", ""), "v");
}

TEST_F(IniParse, ByteOrderMarkOnlyCountsAtTheStart) {
  log_capture logs;
  EXPECT_FALSE(load("[s]\n\xEF\xBB\xBFk\n"));
}

TEST_F(IniParse, KeysBeforeAnySectionBelongToTheEmptySection) {
  conf_ptr conf = load("top=1\n[s]\nk=2\n");
  ASSERT_TRUE(conf);
  EXPECT_STREQ(conf_get_string(conf.get(), "", "top", ""), "1");
  EXPECT_EQ(conf_sections(conf.get(), nullptr), (std::vector<std::string>{"s"}));
}

struct error_case {
  const char *name;
  std::string text;
  std::string message;  // with "%s" for the file path
};

TEST_F(IniParse, ErrorsFailTheWholeLoad) {
  const error_case cases[] = {
      {"no equals sign", "[s]\na=1\ngarbage line\nb=2\n",
       "iniparser: syntax error in %s (3):\n-> garbage line\n"},
      {"no key", "[s]\n  = value\n", "iniparser: syntax error in %s (2):\n->   = value\n"},
      {"open header", "[s\n", "iniparser: syntax error in %s (1):\n-> [s\n"},
      // A TAB would make the section read back as a key of section "s" after a save.
      {"tab in a section name", "[s]\nk=1\n[s\ts2]\nk2=v\n",
       "iniparser: syntax error in %s (3):\n-> [s\ts2]\n"},
      {"line too long", "[s]\nk=" + std::string(1021, 'x') + "\n",
       "iniparser: input line too long in %s (2)\n"},
      {"last line too long", "[s]\nk=" + std::string(1021, 'x'),
       "iniparser: input line too long in %s (2)\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    log_capture logs;
    EXPECT_FALSE(load(c.text));
    const std::string path = dir.file("t.ini");
    std::string expected = c.message;
    expected.replace(expected.find("%s"), 2, path);
    ASSERT_FALSE(logs.all().empty());
    EXPECT_EQ(logs.all().back().text, expected);
    EXPECT_EQ(logs.all().back().level & 0xff, 3u);
    EXPECT_EQ(logs.all().back().tag, "conf");
  }
}

TEST_F(IniParse, EverySyntaxErrorIsReported) {
  log_capture logs;
  EXPECT_FALSE(load("bad one\n[s]\nbad two\n"));
  ASSERT_EQ(logs.all().size(), 2u);
  EXPECT_NE(logs.all()[1].text.find("(3)"), std::string::npos);
}

TEST_F(IniParse, LongestLinesThatFit) {
  const std::string value(1020, 'y');  // "k=" + value + "\n" is 1023 characters
  conf_ptr with_end = load("[s]\nk=" + value + "\n");
  ASSERT_TRUE(with_end);
  EXPECT_EQ(conf_get_string(with_end.get(), "s", "k", ""), value);
  conf_ptr at_end = load("[s]\nk=" + value.substr(1));
  ASSERT_TRUE(at_end);
  EXPECT_EQ(conf_get_string(at_end.get(), "s", "k", ""), value.substr(1));
}

TEST_F(IniParse, MissingUnreadableAndForeignFiles) {
  EXPECT_FALSE(conf_load(dir.file("absent.ini").c_str()));
  EXPECT_FALSE(conf_load(dir.write("t.txt", "[s]\nk=v\n").c_str()));
  std::filesystem::create_directory(dir.file("d.ini"));
  log_capture logs;
  EXPECT_FALSE(conf_load(dir.file("d.ini").c_str()));
  conf_ptr upper(conf_load(dir.write("T.ZMI", "[s]\nk=v\n").c_str()));
  EXPECT_TRUE(upper);
}

}  // namespace
