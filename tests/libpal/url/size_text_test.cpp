// The size-text rule: decimal number, unit suffix consumed left to right, 0 for anything else.
#include <gtest/gtest.h>

#include <string>

#include "pal_url.h"

namespace {

struct SizeCase {
  const char *text;
  uint64_t bytes;
};

class SizeTextTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeTextTest, Converts) {
  EXPECT_EQ(str_size_text_bytes(GetParam().text), GetParam().bytes)
      << "\"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SizeTextTest,
    ::testing::Values(SizeCase{"2m", 2097152}, SizeCase{"2M", 2097152}, SizeCase{"2mb", 2000000},
                      SizeCase{"2MB", 2000000}, SizeCase{"512k", 524288}, SizeCase{"512kB", 512000},
                      SizeCase{"512KD", 512000}, SizeCase{"1g", 1ull << 30},
                      SizeCase{"1GB", 1000000000}, SizeCase{"3t", 3ull << 40},
                      SizeCase{"1TB", 1000000000000ull}, SizeCase{"2p", 2ull << 50},
                      SizeCase{"1PB", 1000000000000000ull}, SizeCase{"4b", 2048}, SizeCase{"3w", 6},
                      SizeCase{"7c", 7},
                      SizeCase{"1bk", 512 * 1024},  // two one-letter units in a row
                      SizeCase{"4096", 4096}, SizeCase{"0", 0}, SizeCase{"0m", 0},
                      // outside the rule
                      SizeCase{"", 0}, SizeCase{"m", 0}, SizeCase{"-2m", 0}, SizeCase{"+2m", 0},
                      SizeCase{" 2m", 0}, SizeCase{"2 m", 0}, SizeCase{"2x", 0},
                      SizeCase{"1.5m", 0}, SizeCase{"2mbx", 0},  // three letters at the end
                      SizeCase{"2kbb", 0}, SizeCase{"99999999999999999999", 0},
                      SizeCase{"20000000p", 0}));  // beyond 64 bits

TEST(SizeTextLimits, TextLongerThan256CharactersIsZero) {
  EXPECT_EQ(str_size_text_bytes(("000" + std::string(253, '0') + "1").c_str()), 0u);
  EXPECT_EQ(str_size_text_bytes((std::string(255, '0') + "1").c_str()), 1u);
  EXPECT_EQ(str_size_text_bytes(nullptr), 0u);
}

}  // namespace
