// Attribute accessors: header fields, the name header of extended attributes and the value
// readers. Every read is a byte copy, so attributes may sit at any address.
#include "blob_layout.h"
#include "blob_msg.h"
#include "sd_be.h"

uint32_t blob_id(const blob_attr *attr) {
  return (sd_get_be32(attr) & BLOB_ID_MASK) >> BLOB_ID_SHIFT;
}

uint32_t blob_raw_len(const blob_attr *attr) { return sd_get_be32(attr) & BLOB_RAW_LEN_MAX; }

int blob_len(const blob_attr *attr) { return int(blob_raw_len(attr)) - int(sizeof(blob_attr)); }

uint32_t blob_pad_len(const blob_attr *attr) { return blob_align(blob_raw_len(attr)); }

bool blob_is_extended(const blob_attr *attr) { return (sd_get_be32(attr) & BLOB_EXTENDED) != 0; }

const char *blobmsg_name(const blob_attr *attr) {
  return reinterpret_cast<const char *>(attr) + BLOBMSG_NAME_OFFSET;
}

namespace {

// Where the value starts: after the name header, or right after the header without a name.
uint32_t blobmsg_value_offset(const blob_attr *attr) {
  if (!blob_is_extended(attr)) return sizeof(blob_attr);
  const auto *p = reinterpret_cast<const uint8_t *>(attr);
  return sizeof(blob_attr) + blobmsg_hdrlen(sd_get_be16(p + sizeof(blob_attr)));
}

}  // namespace

const void *blobmsg_data(const blob_attr *attr) {
  return reinterpret_cast<const uint8_t *>(attr) + blobmsg_value_offset(attr);
}

int blobmsg_data_len(const blob_attr *attr) {
  return int(blob_raw_len(attr)) - int(blobmsg_value_offset(attr));
}

uint32_t blobmsg_get_u32(const blob_attr *attr) { return sd_get_be32(blobmsg_data(attr)); }
uint64_t blobmsg_get_u64(const blob_attr *attr) { return sd_get_be64(blobmsg_data(attr)); }

const char *blobmsg_get_string(const blob_attr *attr) {
  return static_cast<const char *>(blobmsg_data(attr));
}
