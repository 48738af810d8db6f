// LZ4 block API straight from liblz4; the peer never shares the client's compressor table.
#include "payload_codec.h"

#include <lz4.h>

#include <strings.h>

#include <cstring>

namespace peer {

std::optional<Codec> codec_by_name(const std::string &name) {
  if (strcasecmp(name.c_str(), "none") == 0) return Codec::none;
  if (strcasecmp(name.c_str(), "lz4") == 0) return Codec::lz4;
  return std::nullopt;
}

void add_packed_data(MessageWriter &msg, Codec codec, const void *src, size_t len) {
  if (codec == Codec::none) {
    msg.add_binary("data", src, len);
    return;
  }
  const int bound = LZ4_compressBound(int(len));
  uint8_t *room = msg.reserve_binary("data", size_t(bound));
  // The clients' own speed for this codec: bulk replies are bound by compression, and a smaller
  // reply is worth less than the time spent making it on a fast link.
  constexpr int kAcceleration = 17;
  const int n = LZ4_compress_fast(static_cast<const char *>(src), reinterpret_cast<char *>(room),
                                  int(len), bound, kAcceleration);
  msg.trim_binary(n > 0 ? size_t(n) : 0);
}

bool unpack_data(Codec codec, const Field &field, size_t expected, std::vector<uint8_t> &out) {
  out.resize(expected);
  if (codec == Codec::none) {
    if (field.len != expected) return false;
    if (expected) memcpy(out.data(), field.data, expected);
    return true;
  }
  // An empty input is still one LZ4 block (a single zero token), never zero bytes.
  char spare = 0;
  char *dst = expected ? reinterpret_cast<char *>(out.data()) : &spare;
  const int n = LZ4_decompress_safe(reinterpret_cast<const char *>(field.data), dst, int(field.len),
                                    int(expected));
  return n >= 0 && size_t(n) == expected;
}

}  // namespace peer
