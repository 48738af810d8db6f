// The peer's own reader and writer of blob messages (flat lists of named, typed attributes,
// big-endian). Written apart from the client's code on purpose: a misreading of the format
// then shows up as a disagreement between the two sides instead of hiding in shared code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace peer {

enum class FieldType : uint8_t {
  unspec = 0, array = 1, table = 2, binary = 3, string = 4, int64 = 5, int32 = 6, int16 = 7, int8 = 8,
};

// Appends named attributes to one container (id 2); `bytes()` is the finished message.
class MessageWriter {
 public:
  MessageWriter();
  void add_string(std::string_view name, std::string_view text);
  void add_i32(std::string_view name, int32_t value);
  void add_i64(std::string_view name, int64_t value);
  void add_binary(std::string_view name, const void *data, size_t len);
  // Room for up to `maxlen` value bytes; `trim_binary` then fixes the real length. Only the
  // attribute reserved last may be trimmed.
  uint8_t *reserve_binary(std::string_view name, size_t maxlen);
  void trim_binary(size_t len);
  const std::vector<uint8_t> &bytes() const { return buf_; }

 private:
  uint8_t *append(FieldType type, std::string_view name, size_t len);
  void set_container_len();
  std::vector<uint8_t> buf_;
  size_t reserved_at_ = 0;  // offset of the last reserved attribute's header
};

struct Field {
  FieldType type;
  const uint8_t *data;
  size_t len;
};

// A request's attributes by name, checked strictly: every attribute must be a well-formed
// named attribute with zero padding and a value that meets its type; the first of two equal
// names wins. `error` tells what was wrong.
class MessageFields {
 public:
  bool parse(const uint8_t *children, size_t len, std::string &error);
  const std::map<std::string, Field> &all() const { return fields_; }
  std::vector<std::string> order() const { return order_; }

  std::optional<std::string> text(const std::string &name) const;
  std::optional<int64_t> i64(const std::string &name) const;
  std::optional<int32_t> i32(const std::string &name) const;
  const Field *binary(const std::string &name) const;

 private:
  const Field *typed(const std::string &name, FieldType type) const;
  std::map<std::string, Field> fields_;
  std::vector<std::string> order_;
};

uint32_t get_be32(const uint8_t *p);
void put_be32(uint8_t *p, uint32_t v);

}  // namespace peer
