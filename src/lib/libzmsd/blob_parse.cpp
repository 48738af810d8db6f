// The policy parse of a response. An attribute is validated only when it matches an entry by
// type and name length, so unknown fields never fail a parse; every read stays inside the
// attribute and the data, whatever the peer sent.
#include <cstring>

#include "blob_layout.h"
#include "blob_msg.h"
#include "sd_be.h"

namespace {

bool blobmsg_check_value(uint32_t type, int len, const uint8_t *value) {
  switch (type) {
    case BLOBMSG_TYPE_ARRAY:
    case BLOBMSG_TYPE_TABLE:
      return true;
    case BLOBMSG_TYPE_UNSPEC:
    case BLOBMSG_TYPE_BINARY:
      return len >= 0;
    case BLOBMSG_TYPE_STRING:
      return len >= 1 && value[len - 1] == 0;
    case BLOBMSG_TYPE_INT64:
      return len == 8;
    case BLOBMSG_TYPE_INT32:
      return len == 4;
    case BLOBMSG_TYPE_INT16:
      return len == 2;
    case BLOBMSG_TYPE_INT8:
      return len == 1;
    default:
      return false;
  }
}

// The attribute's name header, known to hold at least its 2-byte length (blob_len >= 2).
bool blobmsg_check_attr(const blob_attr *attr, uint32_t name_len) {
  const int len = blob_len(attr);
  const auto *p = reinterpret_cast<const uint8_t *>(attr);
  if (name_len == 0) return false;
  // The terminator must lie inside the attribute, not in the next one or past the data.
  if (int64_t(name_len) > int64_t(len) - 3) return false;
  if (p[BLOBMSG_NAME_OFFSET + name_len] != 0) return false;
  const uint32_t type = blob_id(attr);
  if (type > BLOBMSG_TYPE_LAST) return false;
  const int value_len = len - int(blobmsg_hdrlen(name_len));
  return blobmsg_check_value(type, value_len, p + sizeof(blob_attr) + blobmsg_hdrlen(name_len));
}

}  // namespace

int blobmsg_parse(const blobmsg_policy *policy, int count, const blob_attr **table,
                  const void *data, int len) {
  if (count <= 0) return 0;
  memset(table, 0, sizeof(*table) * size_t(count));
  const auto *p = static_cast<const uint8_t *>(data);
  int64_t left = len;
  while (left >= int64_t(sizeof(blob_attr))) {
    const auto *attr = reinterpret_cast<const blob_attr *>(p);
    const uint32_t pad = blob_pad_len(attr);
    if (pad < sizeof(blob_attr) || pad > left) break;
    // Without the extended flag, or too short for a name length, an attribute has no name and
    // so matches no entry (entries always have names).
    if (blob_is_extended(attr) && blob_len(attr) >= 2) {
      const uint32_t name_len = sd_get_be16(p + sizeof(blob_attr));
      for (int i = 0; i < count; ++i) {
        const char *want = policy[i].name;
        if (!want || !*want) continue;
        if (policy[i].type != BLOBMSG_TYPE_UNSPEC && uint32_t(policy[i].type) != blob_id(attr))
          continue;
        if (strlen(want) != name_len) continue;
        if (!blobmsg_check_attr(attr, name_len)) return -1;
        if (table[i]) continue;
        if (memcmp(blobmsg_name(attr), want, name_len) != 0) continue;
        table[i] = attr;
      }
    }
    p += pad;
    left -= pad;
  }
  return 0;
}
