// Hand-built zmp bytes for the peer tests: named fields laid out byte by byte, request frames,
// and a plain reader of response frames over a blocking socket (optionally through TLS).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes field(uint8_t type, const std::string &name, const Bytes &value);
Bytes str(const std::string &name, const std::string &text);  // type 4, with its NUL
Bytes i32(const std::string &name, int32_t v);                // type 6
Bytes i64(const std::string &name, int64_t v);                // type 5
Bytes bin(const std::string &name, const Bytes &value);       // type 3
Bytes text_bytes(const std::string &text, bool with_nul = true);
Bytes request(uint8_t command, const std::vector<Bytes> &fields);

struct Response {
  Bytes frame;  // the whole response as received
  uint8_t version = 0;
  std::map<std::string, std::pair<uint8_t, Bytes>> fields;  // name -> (type, value)
  int32_t err() const;                                     // "errno"
  std::string text(const std::string &name) const;         // a STRING field without its NUL
  int64_t num(const std::string &name) const;              // INT32 or INT64
  Bytes data(const std::string &name) const;
  bool has(const std::string &name) const { return fields.count(name) != 0; }
};

class RawClient {
 public:
  bool connect(int port);
  ~RawClient();
  // Replaces the socket I/O (a TLS session); both default to plain send/recv.
  std::function<long(const uint8_t *, size_t)> write_hook;
  std::function<long(uint8_t *, size_t)> read_hook;
  int fd() const { return fd_; }
  bool send(const Bytes &frame);
  // false when the peer closed or the bytes do not form a frame.
  bool receive(Response &out);
  Response call(uint8_t command, const std::vector<Bytes> &fields);
  // Server control 8 with a text input (terminator added) and room for 4096 output bytes.
  Response control(int32_t code, const std::string &input);
  // True when the peer closes the link within the time-out without sending anything.
  bool closed_by_peer(int timeout_ms);

 private:
  bool read_full(uint8_t *buf, size_t n);
  int fd_ = -1;
};
