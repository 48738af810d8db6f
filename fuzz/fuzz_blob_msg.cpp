// Fuzz target: the policy parse of blob messages and the accessors a response handler then uses.
// The input is the children of a response container, as the receive buffer holds them.
#include <cstring>
#include <vector>

#include "blob_msg.h"
#include "fuzz_common.h"

namespace {

const blobmsg_policy kPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"data", BLOBMSG_TYPE_BINARY},
    {"size", BLOBMSG_TYPE_INT64},  {"name", BLOBMSG_TYPE_STRING},      {"list", BLOBMSG_TYPE_ARRAY},
    {"attr", BLOBMSG_TYPE_TABLE},  {"mode", BLOBMSG_TYPE_INT16},       {"flag", BLOBMSG_TYPE_INT8},
    {"any", BLOBMSG_TYPE_UNSPEC},  {"", BLOBMSG_TYPE_STRING},
};
constexpr int kCount = int(sizeof kPolicy / sizeof kPolicy[0]);

// Reads every byte the accessors say belongs to the field, so that a length beyond the data shows.
volatile uint64_t g_seen;

void touch(const blob_attr *attr, int type) {
  uint64_t sink = 0;
  const char *name = blobmsg_name(attr);
  sink += strlen(name);
  const int n = blobmsg_data_len(attr);
  const auto *p = static_cast<const uint8_t *>(blobmsg_data(attr));
  for (int i = 0; i < n; ++i) sink += p[i];
  if (type == BLOBMSG_TYPE_INT32) sink += blobmsg_get_u32(attr);
  if (type == BLOBMSG_TYPE_INT64) sink += blobmsg_get_u64(attr);
  if (type == BLOBMSG_TYPE_STRING) sink += strlen(blobmsg_get_string(attr));
  if (type == BLOBMSG_TYPE_ARRAY || type == BLOBMSG_TYPE_TABLE) {
    const blob_attr *inner[kCount] = {};
    if (blobmsg_parse(kPolicy, kCount, inner, p, n) == 0)
      for (int i = 0; i < kCount; ++i)
        if (inner[i] && kPolicy[i].type != BLOBMSG_TYPE_ARRAY && kPolicy[i].type != BLOBMSG_TYPE_TABLE)
          touch(inner[i], kPolicy[i].type);
  }
  g_seen = g_seen + sink;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // An exact-size copy, so that any read past the data is a heap overflow.
  std::vector<uint8_t> copy(data, data + size);
  const blob_attr *table[kCount] = {};
  if (blobmsg_parse(kPolicy, kCount, table, copy.data(), int(copy.size())) != 0) return 0;
  for (int i = 0; i < kCount; ++i)
    if (table[i]) touch(table[i], kPolicy[i].type);
  return 0;
}
