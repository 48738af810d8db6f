// Value descriptors: parsing "name-type" entries into a field table, and reading fields back
// out of a record. Readers check every offset against the record's length, since records come
// from files and the network.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "bsv.h"
#include "bsv_bytes.h"
#include "pal_log.h"

static const char kLogTag[] = "bsv";

namespace {

struct type_name {
  const char *name;
  uint8_t type;
  uint8_t size;  // 0 for texts
};

constexpr type_name kTypes[] = {
    {"u8", BSV_U8, 1}, {"u16", BSV_U16, 2}, {"u32", BSV_U32, 4}, {"u64", BSV_U64, 8}, {"str", BSV_STR, 0},
};

const type_name *find_type(std::string_view name) {
  for (const type_name &t : kTypes)
    if (name == t.name) return &t;
  return nullptr;
}

size_t size_of(uint8_t type) {
  for (const type_name &t : kTypes)
    if (t.type == type) return t.size;
  return 0;
}

int add_field(bsv_value *value, std::string_view name, const type_name &type, size_t *texts) {
  if (name.empty() || name.size() > static_cast<size_t>(BSV_NAME_MAX)) {
    ZLOG(LOG2_ERR, "name=[%.*s] error\n", static_cast<int>(name.size()), name.data());
    return -1;
  }
  if (value->count >= BSV_FIELD_MAX) {
    ZLOG(LOG2_ERR, "fields=%d error: too many\n", value->count + 1);
    return -1;
  }
  bsv_field &field = value->fields[value->count++];
  memcpy(field.name, name.data(), name.size());
  field.name[name.size()] = '\0';
  field.type = type.type;
  if (type.type == BSV_STR) {
    field.offset = static_cast<uint16_t>((*texts)++);
  } else {
    field.offset = static_cast<uint16_t>(value->fixed_size);
    value->fixed_size += type.size;
  }
  return 0;
}

int add_entry(bsv_value *value, std::string_view entry, const char *desc, size_t *texts) {
  const size_t dash = entry.rfind('-');
  if (dash == std::string_view::npos) {
    ZLOG(LOG2_ERR, "buf=[%.*s] info=[%s] error\n", static_cast<int>(entry.size()), entry.data(), desc);
    return -1;
  }
  const std::string type_text(entry.substr(dash + 1));
  const type_name *type = find_type(type_text);
  if (!type) {
    ZLOG(LOG2_ERR, "type=[%s] error\n", type_text.c_str());
    return -1;
  }
  std::string_view names = entry.substr(0, dash);
  if (type->type != BSV_STR) return add_field(value, names, *type, texts);
  for (;;) {
    const size_t bar = names.find('|');
    if (add_field(value, names.substr(0, bar), *type, texts) != 0) return -1;
    if (bar == std::string_view::npos) return 0;
    names.remove_prefix(bar + 1);
  }
}

const bsv_field *field_at(const bsv_value *value, int index, uint8_t type) {
  if (!value || index < 0 || index >= value->count) return nullptr;
  const bsv_field *field = &value->fields[index];
  return field->type == type ? field : nullptr;
}

// The integer field at index, whatever its width; -1 when absent or beyond the record.
int read_int(const bsv_value *value, const void *data, size_t len, int index, uint8_t type,
             uint64_t *out) {
  const bsv_field *field = field_at(value, index, type);
  const size_t size = size_of(type);
  if (!field || !data || field->offset + size > len) return -1;
  *out = bsv_get_uint(static_cast<const uint8_t *>(data) + field->offset, size, value->big_endian);
  return 0;
}

template <typename T>
int read_typed(const bsv_value *value, const void *data, size_t len, int index, uint8_t type, T *out) {
  uint64_t wide = 0;
  if (!out || read_int(value, data, len, index, type, &wide) != 0) return -1;
  *out = static_cast<T>(wide);
  return 0;
}

}  // namespace

int bsv_value_init(bsv_value *value, const char *desc, bool big_endian) {
  if (!ZASSERT(value && desc)) return -1;
  *value = bsv_value{};
  value->big_endian = big_endian;
  size_t texts = 0;
  std::string_view rest = desc;
  for (;;) {
    const size_t comma = rest.find(',');
    if (add_entry(value, rest.substr(0, comma), desc, &texts) != 0) return -1;
    if (comma == std::string_view::npos) return 0;
    rest.remove_prefix(comma + 1);
  }
}

int bsv_value_get_count(const bsv_value *value) { return value ? value->count : 0; }

const char *bsv_value_get_name(const bsv_value *value, int index) {
  if (!value || index < 0 || index >= value->count) return nullptr;
  return value->fields[index].name;
}

int bsv_value_find(const bsv_value *value, const char *name) {
  for (int i = 0; value && name && i < value->count; ++i)
    if (strcmp(value->fields[i].name, name) == 0) return i;
  return -1;
}

int bsv_value_get_u8(const bsv_value *value, const void *data, size_t len, int index, uint8_t *out) {
  return read_typed(value, data, len, index, BSV_U8, out);
}

int bsv_value_get_u16(const bsv_value *value, const void *data, size_t len, int index, uint16_t *out) {
  return read_typed(value, data, len, index, BSV_U16, out);
}

int bsv_value_get_u32(const bsv_value *value, const void *data, size_t len, int index, uint32_t *out) {
  return read_typed(value, data, len, index, BSV_U32, out);
}

int bsv_value_get_u64(const bsv_value *value, const void *data, size_t len, int index, uint64_t *out) {
  return read_typed(value, data, len, index, BSV_U64, out);
}

const char *bsv_value_get_str(const bsv_value *value, const void *data, size_t len, int index) {
  const bsv_field *field = field_at(value, index, BSV_STR);
  if (!field || !data || static_cast<size_t>(value->fixed_size) > len) return nullptr;
  const char *text = static_cast<const char *>(data) + value->fixed_size;
  const char *end = static_cast<const char *>(data) + len;
  for (int i = 0;; ++i) {
    const void *nul = memchr(text, '\0', static_cast<size_t>(end - text));
    if (!nul) return nullptr;
    if (i == field->offset) return text;
    text = static_cast<const char *>(nul) + 1;
  }
}

int bsv_value_get(const bsv_value *value, const void *data, size_t len, int index, char *out,
                  size_t size) {
  if (!out || size == 0 || !value || index < 0 || index >= value->count) return -1;
  const uint8_t type = value->fields[index].type;
  if (type == BSV_STR) {
    const char *text = bsv_value_get_str(value, data, len, index);
    if (!text) return -1;
    snprintf(out, size, "%s", text);
    return 0;
  }
  uint64_t number = 0;
  if (read_int(value, data, len, index, type, &number) != 0) return -1;
  snprintf(out, size, "%" PRIu64, number);
  return 0;
}
