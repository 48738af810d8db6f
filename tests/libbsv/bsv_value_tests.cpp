// Value descriptors: the record type table, the refused descriptors with their messages, and
// reading every kind of field out of hand-made records in both byte orders, including records
// cut short.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bsv.h"
#include "bsv_log_catch.h"

namespace {

struct type_case {
  int id;
  int count;
  int fixed_size;
  bool big_endian;
  const char *first_text;  // name of the first text field
};

class BsvTypes : public ::testing::TestWithParam<type_case> {};

TEST_P(BsvTypes, DescriptorLayout) {
  const type_case &c = GetParam();
  bsv_value v{};
  ASSERT_EQ(bsv_value_init_type(&v, c.id), 0);
  EXPECT_EQ(bsv_value_get_count(&v), c.count);
  EXPECT_EQ(v.fixed_size, c.fixed_size);
  EXPECT_EQ(v.big_endian, c.big_endian);
  const int first_text = bsv_value_find(&v, c.first_text);
  ASSERT_GE(first_text, 0);
  EXPECT_EQ(v.fields[first_text].type, BSV_STR);
  EXPECT_EQ(v.fields[first_text].offset, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, BsvTypes,
                         ::testing::Values(type_case{1, 11, 21, false, "tag"}, type_case{2, 11, 21, true, "tag"},
                                           type_case{3, 13, 24, false, "tag"},
                                           type_case{5, 10, 34, false, "hostname"},
                                           type_case{6, 10, 34, true, "hostname"}));

TEST(BsvTypes, UnknownIdIsRefused) {
  log_capture log;
  bsv_value v{};
  EXPECT_EQ(bsv_value_init_type(&v, 4), -1);
  EXPECT_EQ(bsv_type_desc(4), nullptr);
  EXPECT_EQ(bsv_error_lines(log), "type=4 error: not found\n");
}

TEST(BsvTypes, LogRecordFieldOffsets) {
  bsv_value v{};
  ASSERT_EQ(bsv_value_init_type(&v, 1), 0);
  const struct {
    const char *name;
    int offset;
  } want[] = {{"sec", 0}, {"usec", 8}, {"pid", 12}, {"tid", 16}, {"level", 20}};
  for (const auto &w : want) {
    const int i = bsv_value_find(&v, w.name);
    ASSERT_GE(i, 0) << w.name;
    EXPECT_EQ(v.fields[i].offset, w.offset) << w.name;
  }
  EXPECT_STREQ(bsv_value_get_name(&v, 10), "msg");
  EXPECT_EQ(bsv_value_get_name(&v, 11), nullptr);
}

struct bad_case {
  const char *desc;
  const char *message;
};

class BsvBadDescriptor : public ::testing::TestWithParam<bad_case> {};

TEST_P(BsvBadDescriptor, IsRefusedWithItsReason) {
  log_capture log;
  bsv_value v{};
  EXPECT_EQ(bsv_value_init(&v, GetParam().desc, false), -1);
  EXPECT_EQ(bsv_error_lines(log), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BsvBadDescriptor,
    ::testing::Values(bad_case{"a-u8,b-u128", "type=[u128] error\n"},
                      bad_case{"a-u8,b", "buf=[b] info=[a-u8,b] error\n"},
                      bad_case{"a-u8,", "buf=[] info=[a-u8,] error\n"},
                      bad_case{"a||b-str", "name=[] error\n"},
                      bad_case{"a-u8,abcdefghijklmnopqrstuvwxyz012345-u8",
                               "name=[abcdefghijklmnopqrstuvwxyz012345] error\n"}));

TEST(BsvBadDescriptor, TooManyFields) {
  std::string desc = "f0-u8";
  for (int i = 1; i <= BSV_FIELD_MAX; ++i) desc += ",f" + std::to_string(i) + "-u8";
  log_capture log;
  bsv_value v{};
  EXPECT_EQ(bsv_value_init(&v, desc.c_str(), false), -1);
  EXPECT_NE(bsv_error_lines(log).find("too many"), std::string::npos);
}

// "a-u16,s|t-str,b-u32,c-u64,d-u8": the integers packed 0, 2, 6, 14; the texts after byte 15.
class BsvRecord : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_EQ(bsv_value_init(&v_, "a-u16,s|t-str,b-u32,c-u64,d-u8", GetParam()), 0);
    const bool be = GetParam();
    auto put = [&](uint64_t value, int size) {
      for (int i = 0; i < size; ++i)
        data_.push_back(static_cast<uint8_t>(value >> (8 * (be ? size - 1 - i : i))));
    };
    put(0x1234, 2);
    put(0x89abcdef, 4);
    put(0x0102030405060708ull, 8);
    put(0xfe, 1);
    for (const char *text : {"first", "second"}) data_.insert(data_.end(), text, text + strlen(text) + 1);
  }
  bsv_value v_{};
  std::vector<uint8_t> data_;
};

TEST_P(BsvRecord, ReadsEveryField) {
  uint16_t a = 0;
  uint32_t b = 0;
  uint64_t c = 0;
  uint8_t d = 0;
  ASSERT_EQ(bsv_value_get_u16(&v_, data_.data(), data_.size(), 0, &a), 0);
  ASSERT_EQ(bsv_value_get_u32(&v_, data_.data(), data_.size(), 3, &b), 0);
  ASSERT_EQ(bsv_value_get_u64(&v_, data_.data(), data_.size(), 4, &c), 0);
  ASSERT_EQ(bsv_value_get_u8(&v_, data_.data(), data_.size(), 5, &d), 0);
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0x89abcdefu);
  EXPECT_EQ(c, 0x0102030405060708ull);
  EXPECT_EQ(d, 0xfe);
  EXPECT_STREQ(bsv_value_get_str(&v_, data_.data(), data_.size(), 1), "first");
  EXPECT_STREQ(bsv_value_get_str(&v_, data_.data(), data_.size(), 2), "second");
  char text[32];
  ASSERT_EQ(bsv_value_get(&v_, data_.data(), data_.size(), 3, text, sizeof text), 0);
  EXPECT_STREQ(text, "2309737967");
  ASSERT_EQ(bsv_value_get(&v_, data_.data(), data_.size(), 2, text, sizeof text), 0);
  EXPECT_STREQ(text, "second");
}

TEST_P(BsvRecord, WrongTypeAndIndexAreRefused) {
  uint32_t wide = 0;
  uint16_t narrow = 0;
  EXPECT_EQ(bsv_value_get_u32(&v_, data_.data(), data_.size(), 0, &wide), -1);
  EXPECT_EQ(bsv_value_get_u16(&v_, data_.data(), data_.size(), 6, &narrow), -1);
  EXPECT_EQ(bsv_value_get_u16(&v_, data_.data(), data_.size(), -1, &narrow), -1);
  EXPECT_EQ(bsv_value_get_str(&v_, data_.data(), data_.size(), 0), nullptr);
}

TEST_P(BsvRecord, ShortRecordsAreNotReadPastTheirEnd) {
  uint64_t c = 0;
  EXPECT_EQ(bsv_value_get_u64(&v_, data_.data(), 13, 4, &c), -1);  // c ends at byte 14
  // The second text without its NUL, then without any byte of it.
  EXPECT_STREQ(bsv_value_get_str(&v_, data_.data(), data_.size() - 1, 1), "first");
  EXPECT_EQ(bsv_value_get_str(&v_, data_.data(), data_.size() - 1, 2), nullptr);
  EXPECT_EQ(bsv_value_get_str(&v_, data_.data(), 10, 1), nullptr);
  char text[8];
  EXPECT_EQ(bsv_value_get(&v_, data_.data(), data_.size() - 1, 2, text, sizeof text), -1);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, BsvRecord, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "big" : "little"; });

}  // namespace
