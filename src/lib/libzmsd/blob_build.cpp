// The build buffer: one growing block holding the open container, appended to in place. Sizes
// are computed in 64 bits and checked against the 24-bit length fields before anything is
// written, so a request that cannot be encoded is refused, never wrapped.
#include <cstring>

#include "blob_layout.h"
#include "blob_msg.h"
#include "pal_env.h"
#include "pal_log.h"
#include "sd_be.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int kGrowStep = 256;

uint8_t *buf_bytes(const blob_buf *buf) { return static_cast<uint8_t *>(buf->buf); }

// Enlarges by whole steps of 256 bytes, enough for the missing bytes; the new part is zeroed.
bool blob_grow_default(blob_buf *buf, int required) {
  const int64_t delta = (int64_t(required) / kGrowStep + 1) * kGrowStep;
  const int64_t size = int64_t(buf->buflen) + delta;
  if (required < 0 || size > INT32_MAX) return false;
  const size_t head_off =
      buf->head ? size_t(reinterpret_cast<uint8_t *>(buf->head) - buf_bytes(buf)) : 0;
  void *grown = os_realloc(buf->buf, size_t(size));
  if (!grown) {
    ZLOG(LOG2_ERR, "realloc [%d] failed\n", int(size));
    return false;
  }
  memset(static_cast<uint8_t *>(grown) + buf->buflen, 0, size_t(delta));
  buf->buf = grown;
  buf->buflen = int32_t(size);
  buf->head = reinterpret_cast<blob_attr *>(buf_bytes(buf) + head_off);
  return true;
}

bool blob_reserve(blob_buf *buf, int64_t end) {
  if (end <= buf->buflen) return true;
  return buf->grow(buf, int(end - buf->buflen));
}

void blob_set_header(blob_attr *attr, uint32_t bits, uint32_t raw_len) {
  sd_put_be32(attr, bits | raw_len);
}

// Places a named attribute with room for value_len bytes after the last child and returns it,
// its value zeroed; nullptr when it cannot be encoded or the buffer cannot grow.
blob_attr *blobmsg_new(blob_buf *buf, int type, const char *name, int value_len) {
  if (!buf->head || type < 0 || uint32_t(type) > BLOB_ID_MAX || value_len < 0) return nullptr;
  if (!name) name = "";
  const size_t name_len = strlen(name);
  if (name_len > BLOB_NAME_LEN_MAX) return nullptr;
  const int64_t raw = int64_t(sizeof(blob_attr)) + blobmsg_hdrlen(uint32_t(name_len)) + value_len;
  const int64_t pad = (raw + 3) & ~int64_t(3);
  const int64_t head_pad = blob_pad_len(buf->head);
  if (raw > BLOB_RAW_LEN_MAX || head_pad + pad > BLOB_RAW_LEN_MAX) {
    ZLOG(LOG2_ERR, "field %s len=%d too large\n", name, value_len);
    return nullptr;
  }
  const int64_t offset = reinterpret_cast<uint8_t *>(buf->head) - buf_bytes(buf) + head_pad;
  if (!blob_reserve(buf, offset + pad)) return nullptr;

  uint8_t *p = buf_bytes(buf) + offset;
  memset(p, 0, size_t(pad));
  auto *attr = reinterpret_cast<blob_attr *>(p);
  blob_set_header(attr, BLOB_EXTENDED | uint32_t(type) << BLOB_ID_SHIFT, uint32_t(raw));
  sd_put_be16(p + sizeof(blob_attr), uint16_t(name_len));
  memcpy(p + BLOBMSG_NAME_OFFSET, name, name_len);
  const uint32_t head_bits = sd_get_be32(buf->head) & ~BLOB_RAW_LEN_MAX;
  blob_set_header(buf->head, head_bits, uint32_t(head_pad + pad));
  return attr;
}

void *blobmsg_value(blob_attr *attr) { return const_cast<void *>(blobmsg_data(attr)); }

}  // namespace

int blob_buf_init(blob_buf *buf, int id) {
  if (!buf->grow) buf->grow = blob_grow_default;
  buf->head = static_cast<blob_attr *>(buf->buf);
  if (!blob_reserve(buf, sizeof(blob_attr))) return -1;
  buf->head = static_cast<blob_attr *>(buf->buf);
  blob_set_header(buf->head, (uint32_t(id) << BLOB_ID_SHIFT) & BLOB_ID_MASK, sizeof(blob_attr));
  return 0;
}

void blob_buf_free(blob_buf *buf) {
  os_free(buf->buf);
  buf->buf = nullptr;
  buf->head = nullptr;
  buf->buflen = 0;
}

uint32_t blob_buf_len(const blob_buf *buf) { return buf->head ? blob_pad_len(buf->head) : 0; }

int blobmsg_add_field(blob_buf *buf, int type, const char *name, const void *data, int len) {
  if (len > 0 && !data) return -1;
  blob_attr *attr = blobmsg_new(buf, type, name, len);
  if (!attr) return -1;
  if (len > 0) memcpy(blobmsg_value(attr), data, size_t(len));
  return 0;
}

int blobmsg_add_string(blob_buf *buf, const char *name, const char *text) {
  if (!text) text = "";
  return blobmsg_add_field(buf, BLOBMSG_TYPE_STRING, name, text, int(strlen(text) + 1));
}

int blobmsg_add_u32(blob_buf *buf, const char *name, uint32_t value) {
  uint8_t be[4];
  sd_put_be32(be, value);
  return blobmsg_add_field(buf, BLOBMSG_TYPE_INT32, name, be, sizeof be);
}

int blobmsg_add_u64(blob_buf *buf, const char *name, uint64_t value) {
  uint8_t be[8];
  sd_put_be64(be, value);
  return blobmsg_add_field(buf, BLOBMSG_TYPE_INT64, name, be, sizeof be);
}

void *blobmsg_reserve_field(blob_buf *buf, const char *name, int maxlen, blob_attr **attr) {
  blob_attr *field = blobmsg_new(buf, BLOBMSG_TYPE_BINARY, name, maxlen);
  if (attr) *attr = field;
  return field ? blobmsg_value(field) : nullptr;
}

int blobmsg_trim_field(blob_buf *buf, blob_attr *attr, int len) {
  if (!buf->head || !attr) return -1;
  const uint32_t old_pad = blob_pad_len(attr);
  const auto *head_end = reinterpret_cast<uint8_t *>(buf->head) + blob_pad_len(buf->head);
  const bool is_last = reinterpret_cast<uint8_t *>(attr) + old_pad == head_end;
  if (!ZASSERT(is_last && len >= 0 && len <= blobmsg_data_len(attr))) return -1;

  const uint32_t raw = blob_raw_len(attr) - uint32_t(blobmsg_data_len(attr) - len);
  const uint32_t new_pad = blob_align(raw);
  auto *p = reinterpret_cast<uint8_t *>(attr);
  memset(p + raw, 0, new_pad - raw);
  blob_set_header(attr, sd_get_be32(attr) & ~BLOB_RAW_LEN_MAX, raw);
  const uint32_t head = sd_get_be32(buf->head);
  blob_set_header(buf->head, head & ~BLOB_RAW_LEN_MAX,
                  (head & BLOB_RAW_LEN_MAX) - (old_pad - new_pad));
  return 0;
}
