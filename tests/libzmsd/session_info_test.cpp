// Server information texts and version gates as pure functions: the value between the first
// "[" and the last "]" of a key's line, and dotted versions compared field by field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zmsd.h"

namespace {

struct gate_case {
  const char *ver;
  const char *least;
  bool passes;
};

TEST(SessionVersion, GatesCompareFieldByField) {
  const std::vector<gate_case> cases = {
      {"1.6", "1.5.4", true},      {"1.6", "1.6.4", false},    {"1.6.10", "1.6.7", true},
      {"1.6.4", "1.6.4", true},    {"1.5.3", "1.5.4", false},  {"2", "1.6.7", true},
      {"1.5.2.1", "1.5.2", true},  {"1.5.2.1.0", "1.5.2", false},  // five numbers: version 0
      {"0.9", "1.5.2", false},       {"", "1.5.2", false},       {"v1.6", "1.5.2", false},
      {"1.6.8-beta", "1.6.8", true}, {"1.65537", "1.2", false},  // 65537 kept in 16 bits is 1
      {"1..7", "1.0.7", true},
  };
  for (const gate_case &c : cases) {
    SCOPED_TRACE(std::string(c.ver) + " >= " + c.least);
    EXPECT_EQ(zmsd_ver_at_least(c.ver, c.least), c.passes);
  }
  EXPECT_EQ(zmsd_ver_parse("1.2.3.4"), 0x0001000200030004ull);
  EXPECT_EQ(zmsd_ver_parse(nullptr), 0u);
}

struct info_value_case {
  const char *key;
  size_t size;
  const char *value;
};

TEST(SessionInfoText, ValueLiesBetweenFirstOpenAndLastCloseBracket) {
  const char info[] =
      "ver=[1.6.8]\n"
      "plat=[linux]\n"
      "arch=[x[86]_64]\n"
      "bit=64\n"
      "order=[little\n"
      "version=[9.9]\n"
      "is_root=[1]";
  const std::vector<info_value_case> cases = {
      {"ver", 32, "1.6.8"},    {"plat", 64, "linux"},  {"arch", 64, "x[86]_64"}, {"bit", 8, ""},
      {"order", 16, ""},       {"is_root", 4, "1"},    {"missing", 16, ""},      {"ver", 4, "1.6"},
      {"versio", 16, ""},      {"ver=", 16, ""},
  };
  for (const info_value_case &c : cases) {
    SCOPED_TRACE(c.key);
    char out[64] = "stale";
    EXPECT_STREQ(zmsd_info_value(info, c.key, out, c.size), c.value);
  }
}

}  // namespace
