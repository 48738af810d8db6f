// The policy parse against hand-made attribute bytes: validation rules, which attributes are
// validated at all, first-wins, truncated attributes, and reads that must stay inside the data
// (the data sits in an exact-size heap block, so the sanitizer build sees any overrun).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "blob_msg.h"

namespace {

using bytes = std::vector<uint8_t>;

void put_be32(bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// One named attribute written by hand from the grammar; raw_adjust bends its raw length.
bytes attr(int type, const std::string &name, const bytes &value, int raw_adjust = 0) {
  const size_t h = (name.size() + 6) & ~size_t(3);
  bytes a;
  put_be32(a, 0x80000000u | uint32_t(type) << 24 | uint32_t(4 + h + value.size() + raw_adjust));
  a.push_back(uint8_t(name.size() >> 8));
  a.push_back(uint8_t(name.size()));
  a.insert(a.end(), name.begin(), name.end());
  a.resize(4 + h, 0);
  a.insert(a.end(), value.begin(), value.end());
  a.resize((a.size() + 3) & ~size_t(3), 0);
  return a;
}

bytes cat(std::initializer_list<bytes> parts) {
  bytes all;
  for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const bytes kInt32 = {0, 0, 0, 7};
const bytes kInt64 = {0, 0, 0, 0, 0, 0, 0, 9};
bytes text(const char *s) { return bytes(s, s + strlen(s) + 1); }

const blobmsg_policy kPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32},
    {"errno_str", BLOBMSG_TYPE_STRING},
    {"fd", BLOBMSG_TYPE_INT64},
};
constexpr int kCount = 3;

struct ParseCase {
  const char *what;
  bytes data;
  int want_ret;
  bool want_set[kCount];
};

const ParseCase kCases[] = {
    {"all fields",
     cat({attr(6, "errno", kInt32), attr(4, "errno_str", text("ok")), attr(5, "fd", kInt64)}),
     0,
     {true, true, true}},
    {"empty text passes", attr(4, "errno_str", text("")), 0, {false, true, false}},
    {"text without terminator", attr(4, "errno_str", {'o', 'k'}), -1, {}},
    {"INT32 of 8 bytes", attr(6, "errno", kInt64), -1, {}},
    {"INT64 of 4 bytes", attr(5, "fd", kInt32), -1, {}},
    {"malformed but other name length", attr(6, "errno1", kInt64), 0, {}},
    {"malformed but other type", attr(3, "errno", bytes(3, 1)), 0, {}},
    {"empty name is never validated", attr(6, "", bytes(3, 1)), 0, {}},
    {"name not terminated",
     [] {
       bytes a = attr(5, "fd", kInt64);
       a[8] = 'x';
       return a;
     }(),
     -1,
     {}},
    {"first wins",
     cat({attr(5, "fd", kInt64), attr(5, "fd", {0, 0, 0, 0, 0, 0, 0, 1})}),
     0,
     {false, false, true}},
    {"a later malformed twin still fails",
     cat({attr(5, "fd", kInt64), attr(5, "fd", kInt32)}),
     -1,
     {}},
    {"unknown fields are skipped",
     cat({attr(3, "data", bytes(5, 0xaa)), attr(5, "fd", kInt64)}),
     0,
     {false, false, true}},
    {"truncated last attribute ends quietly",
     [] {
       const bytes d = cat({attr(6, "errno", kInt32), attr(4, "errno_str", text("lost"))});
       return bytes(d.begin(), d.end() - 4);
     }(),
     0,
     {true, false, false}},
    {"raw length 0 ends the walk", cat({bytes{0x85, 0, 0, 0}, attr(5, "fd", kInt64)}), 0, {}},
    {"two bytes hold no attribute", bytes{0, 0}, 0, {}},
    {"header without name length is skipped",
     cat({bytes{0x86, 0, 0, 5, 0, 0, 0, 0}, attr(5, "fd", kInt64)}),
     0,
     {false, false, true}},
    {"attribute without the extended flag has no name",
     [] {
       bytes a = attr(5, "fd", kInt64);
       a[0] &= 0x7f;
       return a;
     }(),
     0,
     {}},
};

// Parses from an exact-size heap copy so that reading one byte too far is an overrun.
int parse(const bytes &data, const blobmsg_policy *policy, int count, const blob_attr **tb,
          std::unique_ptr<uint8_t[]> &keep) {
  keep.reset(new uint8_t[data.size() ? data.size() : 1]);
  if (!data.empty()) memcpy(keep.get(), data.data(), data.size());
  return blobmsg_parse(policy, count, tb, keep.get(), int(data.size()));
}

TEST(BlobParse, Table) {
  for (const auto &c : kCases) {
    const blob_attr *tb[kCount];
    std::unique_ptr<uint8_t[]> keep;
    ASSERT_EQ(parse(c.data, kPolicy, kCount, tb, keep), c.want_ret) << c.what;
    if (c.want_ret != 0) continue;
    for (int i = 0; i < kCount; ++i)
      EXPECT_EQ(tb[i] != nullptr, c.want_set[i]) << c.what << " slot " << i;
  }
}

TEST(BlobParse, ValuesAndFirstWinsPointIntoTheData) {
  const bytes d =
      cat({attr(5, "fd", {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe}), attr(5, "fd", kInt64),
           attr(6, "errno", {0x80, 0, 0, 1}), attr(4, "errno_str", text("no such file"))});
  const blob_attr *tb[kCount];
  std::unique_ptr<uint8_t[]> keep;
  ASSERT_EQ(parse(d, kPolicy, kCount, tb, keep), 0);
  EXPECT_EQ(int64_t(blobmsg_get_u64(tb[2])), -2);
  EXPECT_EQ(int32_t(blobmsg_get_u32(tb[0])), INT32_MIN + 1);
  EXPECT_STREQ(blobmsg_get_string(tb[1]), "no such file");
  EXPECT_EQ(blobmsg_data_len(tb[1]), 13);
  EXPECT_EQ(reinterpret_cast<const uint8_t *>(tb[2]), keep.get());
}

TEST(BlobParse, OneAttributeMayFillSeveralEntries) {
  const blobmsg_policy policy[] = {
      {"fd", BLOBMSG_TYPE_INT64}, {"fd", BLOBMSG_TYPE_UNSPEC}, {"", 0}, {nullptr, 0}};
  const blob_attr *tb[4];
  std::unique_ptr<uint8_t[]> keep;
  ASSERT_EQ(parse(attr(5, "fd", kInt64), policy, 4, tb, keep), 0);
  EXPECT_NE(tb[0], nullptr);
  EXPECT_EQ(tb[0], tb[1]);
  EXPECT_EQ(tb[2], nullptr);
  EXPECT_EQ(tb[3], nullptr);
}

TEST(BlobParse, AnyTypeEntryStillValidates) {
  const blobmsg_policy policy[] = {{"errno", BLOBMSG_TYPE_UNSPEC}};
  const blob_attr *tb[1];
  std::unique_ptr<uint8_t[]> keep;
  EXPECT_EQ(parse(attr(6, "errno", kInt64), policy, 1, tb, keep), -1);
  EXPECT_EQ(parse(attr(9, "errno", kInt32), policy, 1, tb, keep), -1) << "type ids above 8";
  EXPECT_EQ(parse(attr(3, "errno", bytes(3, 1)), policy, 1, tb, keep), 0);
}

// A name that fills its attribute to the end has its terminator outside: the next attribute's
// first byte, or past the data. Either way the attribute is malformed.
TEST(BlobParse, TerminatorOutsideTheAttributeFails) {
  const blobmsg_policy policy[] = {{"ab", BLOBMSG_TYPE_ARRAY}};
  bytes a = {0x81, 0, 0, 8, 0, 2, 'a', 'b'};
  const blob_attr *tb[1];
  std::unique_ptr<uint8_t[]> keep;
  EXPECT_EQ(parse(a, policy, 1, tb, keep), -1);
  EXPECT_EQ(parse(cat({a, attr(5, "fd", kInt64)}), policy, 1, tb, keep), -1);
}

TEST(BlobParse, BuiltMessageParsesAtAnOddAddress) {
  blob_buf b{};
  ASSERT_EQ(blob_buf_init(&b, BLOB_MSG_ID), 0);
  ASSERT_EQ(blobmsg_add_u32(&b, "errno", 0), 0);
  ASSERT_EQ(blobmsg_add_string(&b, "errno_str", ""), 0);
  ASSERT_EQ(blobmsg_add_u64(&b, "fd", 0x0102030405060708ull), 0);
  const uint32_t len = blob_buf_len(&b);
  std::vector<uint8_t> odd(len + 1);
  memcpy(odd.data() + 1, b.head, len);
  blob_buf_free(&b);
  const blob_attr *tb[kCount];
  ASSERT_EQ(blobmsg_parse(kPolicy, kCount, tb, odd.data() + 1 + 4, int(len - 4)), 0);
  ASSERT_NE(tb[2], nullptr);
  EXPECT_EQ(blobmsg_get_u64(tb[2]), 0x0102030405060708ull);
  EXPECT_EQ(blobmsg_get_u32(tb[0]), 0u);
}

}  // namespace
