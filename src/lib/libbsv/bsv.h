// Binary structured records. A value descriptor ("sec-u64,usec-u32,...,tag|msg-str") names a
// record's fields: integers packed from offset 0 in entry order, then NUL-terminated texts.
// The log builds one type-1 record per call. Only libpal lies below; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int BSV_NAME_MAX = 31;   // characters of a field name
inline constexpr int BSV_FIELD_MAX = 32;  // fields of one descriptor

enum : uint8_t { BSV_U8 = 1, BSV_U16, BSV_U32, BSV_U64, BSV_STR };

struct bsv_field {
  char name[BSV_NAME_MAX + 1];
  uint8_t type;
  uint16_t offset;  // integers: byte offset; texts: position among the texts
};

struct bsv_value {
  bsv_field fields[BSV_FIELD_MAX];
  int count;
  int fixed_size;  // bytes taken by the integers; the first text starts here
  bool big_endian;
};

// Parses a descriptor; 0, or -1 with the reason logged (tag "bsv").
[[nodiscard]] int bsv_value_init(bsv_value *value, const char *desc, bool big_endian);
// The descriptor and byte order of a record type (1, 2, 3, 5, 6); 0, or -1 for another id.
[[nodiscard]] int bsv_value_init_type(bsv_value *value, int type_id);
const char *bsv_type_desc(int type_id);  // null for an unknown id

int bsv_value_get_count(const bsv_value *value);
const char *bsv_value_get_name(const bsv_value *value, int index);  // null out of range
int bsv_value_find(const bsv_value *value, const char *name);       // index, or -1

// Field readers over one record of len bytes. Each fails (-1, or null) for an index out of range,
// a field of another type, or a field that lies beyond the record (a text without its NUL).
// The integer readers take the field's own width; bsv_value_get renders any field as text.
[[nodiscard]] int bsv_value_get(const bsv_value *value, const void *data, size_t len, int index,
                                char *out, size_t size);
[[nodiscard]] int bsv_value_get_u8(const bsv_value *value, const void *data, size_t len, int index,
                                   uint8_t *out);
[[nodiscard]] int bsv_value_get_u16(const bsv_value *value, const void *data, size_t len, int index,
                                    uint16_t *out);
[[nodiscard]] int bsv_value_get_u32(const bsv_value *value, const void *data, size_t len, int index,
                                    uint32_t *out);
[[nodiscard]] int bsv_value_get_u64(const bsv_value *value, const void *data, size_t len, int index,
                                    uint64_t *out);
const char *bsv_value_get_str(const bsv_value *value, const void *data, size_t len, int index);

// --- the type-1 log record -----------------------------------------------------------------------
// sec u64, usec u32, pid u32, tid u32, level u8 (little-endian), then the texts tag, tid_name,
// file, line, func, msg. The texts share BSV_LOG_TEXTS_MAX bytes including their NULs.
inline constexpr int BSV_LOG_TYPE = 1;
inline constexpr size_t BSV_LOG_HEAD_SIZE = 21;
inline constexpr size_t BSV_LOG_TEXTS_MAX = 1449;
inline constexpr size_t BSV_LOG_RECORD_MAX = BSV_LOG_HEAD_SIZE + BSV_LOG_TEXTS_MAX;  // 1470
// Removed from the front of source paths; the build already makes them relative to the tree.
inline constexpr char BSV_SOURCE_ROOT[] = "src/lib/";

struct bsv_log_record {
  uint8_t data[BSV_LOG_RECORD_MAX];
  size_t len;
};

// Fills out with the current time, this process and thread and the call's texts. A text that
// does not fit is cut (still NUL-terminated) and the texts after it are left out; a null text
// is stored empty. Returns the record's length.
size_t bsv_log_record_build(bsv_log_record *out, uint32_t level_arg, const char *tag,
                            const char *file, int line, const char *func, const char *msg);
// Shortens a record to at most max_len bytes by the same rule (max_len above the head).
void bsv_log_record_cut(bsv_log_record *record, size_t max_len);
