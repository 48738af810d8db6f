// Blob messages: a container attribute holding a flat list of named, typed attributes, every
// number big-endian. The build buffer assembles requests in place; the policy parse picks the
// fields of a response out of the receive buffer without copying. Byte layout: doc/blob.md.
#pragma once

#include <cstdint>

// Types of named attributes. BINARY is 3 and STRING 4 in this protocol.
enum : int {
  BLOBMSG_TYPE_UNSPEC = 0,
  BLOBMSG_TYPE_ARRAY = 1,
  BLOBMSG_TYPE_TABLE = 2,
  BLOBMSG_TYPE_BINARY = 3,
  BLOBMSG_TYPE_STRING = 4,
  BLOBMSG_TYPE_INT64 = 5,
  BLOBMSG_TYPE_INT32 = 6,
  BLOBMSG_TYPE_INT16 = 7,
  BLOBMSG_TYPE_INT8 = 8,
  BLOBMSG_TYPE_LAST = BLOBMSG_TYPE_INT8,
};

inline constexpr int BLOB_MSG_ID = 2;                   // container id of every request
inline constexpr uint32_t BLOB_RAW_LEN_MAX = 0xffffff;  // 24 bits of raw length
inline constexpr uint32_t BLOB_NAME_LEN_MAX = 0xffff;

// The 4-byte header of an attribute, followed by its payload. Byte-sized so that it may sit at
// any address; all access goes through the accessors below.
struct blob_attr {
  uint8_t id_len[4];
};
static_assert(sizeof(blob_attr) == 4 && alignof(blob_attr) == 1, "blob header is 4 loose bytes");

uint32_t blob_id(const blob_attr *attr);       // type id, bits 30..24
uint32_t blob_raw_len(const blob_attr *attr);  // 4 + payload length, bits 23..0
int blob_len(const blob_attr *attr);           // payload length; negative for a raw length below 4
uint32_t blob_pad_len(const blob_attr *attr);  // raw length rounded up to a multiple of 4
bool blob_is_extended(const blob_attr *attr);  // bit 31: the payload starts with a name header

const char *blobmsg_name(const blob_attr *attr);
const void *blobmsg_data(const blob_attr *attr);
int blobmsg_data_len(const blob_attr *attr);
uint32_t blobmsg_get_u32(const blob_attr *attr);
uint64_t blobmsg_get_u64(const blob_attr *attr);
const char *blobmsg_get_string(const blob_attr *attr);

struct blob_buf;
// Makes room for required more bytes; false leaves the buffer as it was.
using blob_grow_fn = bool (*)(blob_buf *buf, int required);

// A reusable build buffer. Zero-initialise it before the first blob_buf_init.
struct blob_buf {
  blob_attr *head;  // the open container
  blob_grow_fn grow;
  int32_t buflen;
  void *buf;
};

// Opens an empty container with the given id; memory from earlier use is reused. 0, or -1 when
// no memory could be had.
[[nodiscard]] int blob_buf_init(blob_buf *buf, int id);
void blob_buf_free(blob_buf *buf);
// Bytes of the open message on the wire (the container's padded length).
uint32_t blob_buf_len(const blob_buf *buf);

// Appends a named attribute with len value bytes from data (a null name is the empty name).
// -1 when the buffer cannot grow or the attribute or container would not fit 24 bits of length.
[[nodiscard]] int blobmsg_add_field(blob_buf *buf, int type, const char *name, const void *data,
                                    int len);
[[nodiscard]] int blobmsg_add_string(blob_buf *buf, const char *name, const char *text);
[[nodiscard]] int blobmsg_add_u32(blob_buf *buf, const char *name, uint32_t value);
[[nodiscard]] int blobmsg_add_u64(blob_buf *buf, const char *name, uint64_t value);

// Appends a BINARY attribute with room for maxlen value bytes and returns where they go (the
// attribute itself through attr), or nullptr. The pointers hold until the next append.
[[nodiscard]] void *blobmsg_reserve_field(blob_buf *buf, const char *name, int maxlen,
                                          blob_attr **attr);
// Shrinks the value of the attribute just reserved to len bytes (0 <= len <= maxlen). -1 when
// attr is not the last attribute of the message or len is out of range.
[[nodiscard]] int blobmsg_trim_field(blob_buf *buf, blob_attr *attr, int len);

// One field that a parse looks for; an empty name disables the entry, type 0 takes any type.
struct blobmsg_policy {
  const char *name;
  int type;
};

// Fills table[0..count-1] with the first valid attribute of data (len bytes, the container's
// children) that matches each entry, or nullptr. -1 when a matching attribute is malformed.
[[nodiscard]] int blobmsg_parse(const blobmsg_policy *policy, int count, const blob_attr **table,
                                const void *data, int len);
