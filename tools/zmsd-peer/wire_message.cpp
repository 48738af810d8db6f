// Blob message bytes, as the peer reads and writes them: 4-byte big-endian headers (extended
// bit, 7-bit type, 24-bit raw length), a name header padded to 4 bytes, the value, zero padding.
#include "wire_message.h"

#include <cstring>

namespace peer {
namespace {

constexpr uint32_t kExtended = 0x80000000u;
constexpr size_t kMaxRaw = 0xffffff;

size_t pad4(size_t n) { return (n + 3) & ~size_t{3}; }
size_t name_header_len(size_t name_len) { return pad4(2 + name_len + 1); }

uint64_t get_be64(const uint8_t *p) {
  return (uint64_t{get_be32(p)} << 32) | get_be32(p + 4);
}

bool value_fits_type(FieldType type, size_t len, const uint8_t *data, std::string &error) {
  switch (type) {
    case FieldType::string:
      if (len < 1 || data[len - 1] != 0) return error = "string without terminator", false;
      if (memchr(data, 0, len) != data + len - 1) return error = "string with inner NUL", false;
      return true;
    case FieldType::int64: return len == 8 || (error = "int64 of wrong size", false);
    case FieldType::int32: return len == 4 || (error = "int32 of wrong size", false);
    case FieldType::int16: return len == 2 || (error = "int16 of wrong size", false);
    case FieldType::int8: return len == 1 || (error = "int8 of wrong size", false);
    case FieldType::array:
    case FieldType::table: return error = "nested attributes are not used by this protocol", false;
    default: return true;
  }
}

bool all_zero(const uint8_t *p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

uint32_t get_be32(const uint8_t *p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void put_be32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

MessageWriter::MessageWriter() : buf_(4) { put_be32(buf_.data(), 2u << 24 | 4); }

void MessageWriter::set_container_len() { put_be32(buf_.data(), 2u << 24 | uint32_t(buf_.size())); }

uint8_t *MessageWriter::append(FieldType type, std::string_view name, size_t len) {
  const size_t h = name_header_len(name.size());
  const size_t raw = 4 + h + len;
  const size_t at = buf_.size();
  buf_.resize(at + pad4(raw), 0);
  uint8_t *a = buf_.data() + at;
  put_be32(a, kExtended | uint32_t(type) << 24 | uint32_t(raw));
  a[4] = uint8_t(name.size() >> 8);
  a[5] = uint8_t(name.size());
  memcpy(a + 6, name.data(), name.size());
  set_container_len();
  reserved_at_ = at;
  return a + 4 + h;
}

void MessageWriter::add_string(std::string_view name, std::string_view text) {
  uint8_t *v = append(FieldType::string, name, text.size() + 1);
  memcpy(v, text.data(), text.size());
}

void MessageWriter::add_i32(std::string_view name, int32_t value) {
  put_be32(append(FieldType::int32, name, 4), uint32_t(value));
}

void MessageWriter::add_i64(std::string_view name, int64_t value) {
  uint8_t *v = append(FieldType::int64, name, 8);
  put_be32(v, uint32_t(uint64_t(value) >> 32));
  put_be32(v + 4, uint32_t(value));
}

void MessageWriter::add_binary(std::string_view name, const void *data, size_t len) {
  uint8_t *v = append(FieldType::binary, name, len);
  if (len) memcpy(v, data, len);
}

uint8_t *MessageWriter::reserve_binary(std::string_view name, size_t maxlen) {
  return append(FieldType::binary, name, maxlen);
}

void MessageWriter::trim_binary(size_t len) {
  uint8_t *a = buf_.data() + reserved_at_;
  const uint32_t head = get_be32(a);
  const size_t value_at = 4 + name_header_len(size_t(a[4]) << 8 | a[5]);
  const size_t raw = value_at + len;
  put_be32(a, (head & 0xff000000u) | uint32_t(raw));
  buf_.resize(reserved_at_ + pad4(raw));
  memset(a + raw, 0, pad4(raw) - raw);
  set_container_len();
}

bool MessageFields::parse(const uint8_t *p, size_t len, std::string &error) {
  fields_.clear();
  order_.clear();
  size_t at = 0;
  while (at < len) {
    if (len - at < 4) return error = "trailing bytes after the last attribute", false;
    const uint32_t head = get_be32(p + at);
    const size_t raw = head & kMaxRaw;
    if (!(head & kExtended)) return error = "attribute without a name", false;
    if (raw < 4 + 4 || pad4(raw) > len - at) return error = "attribute length out of range", false;
    const uint8_t *a = p + at;
    const size_t n = size_t(a[4]) << 8 | a[5];
    const size_t h = name_header_len(n);
    if (n == 0 || 4 + h > raw) return error = "bad name header", false;
    if (!all_zero(a + 6 + n, h - 2 - n)) return error = "name not terminated by zero bytes", false;
    if (!all_zero(a + raw, pad4(raw) - raw)) return error = "non-zero padding", false;
    const auto type = FieldType((head >> 24) & 0x7f);
    if (uint8_t(type) > 8) return error = "unknown attribute type", false;
    const uint8_t *value = a + 4 + h;
    const size_t value_len = raw - 4 - h;
    if (!value_fits_type(type, value_len, value, error)) return false;
    std::string name(reinterpret_cast<const char *>(a + 6), n);
    if (fields_.emplace(name, Field{type, value, value_len}).second) order_.push_back(name);
    at += pad4(raw);
  }
  return true;
}

const Field *MessageFields::typed(const std::string &name, FieldType type) const {
  auto it = fields_.find(name);
  return it != fields_.end() && it->second.type == type ? &it->second : nullptr;
}

std::optional<std::string> MessageFields::text(const std::string &name) const {
  const Field *f = typed(name, FieldType::string);
  if (!f) return std::nullopt;
  return std::string(reinterpret_cast<const char *>(f->data), f->len - 1);
}

std::optional<int64_t> MessageFields::i64(const std::string &name) const {
  const Field *f = typed(name, FieldType::int64);
  if (!f) return std::nullopt;
  return int64_t(get_be64(f->data));
}

std::optional<int32_t> MessageFields::i32(const std::string &name) const {
  const Field *f = typed(name, FieldType::int32);
  if (!f) return std::nullopt;
  return int32_t(get_be32(f->data));
}

const Field *MessageFields::binary(const std::string &name) const {
  return typed(name, FieldType::binary);
}

}  // namespace peer
