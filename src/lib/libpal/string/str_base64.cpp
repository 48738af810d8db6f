// Base64 for values that must cross a URL query intact (the "proxy_url" key). Encoding uses
// the standard alphabet with "=" padding; decoding also takes the URL-safe "-" and "_", stops
// at "=" or the end, and refuses any other character. Both outputs are NUL-terminated.
#include "pal_url.h"

#include <cstdint>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

}  // namespace

int str_base64_encode(const void *in, size_t len, char *out, size_t size) {
  if (!out || (!in && len > 0)) return -1;
  const size_t need = (len + 2) / 3 * 4;
  if (need + 1 > size) return -1;
  const auto *src = static_cast<const uint8_t *>(in);
  size_t w = 0;
  for (size_t i = 0; i < len; i += 3) {
    const size_t n = len - i < 3 ? len - i : 3;
    uint32_t group = static_cast<uint32_t>(src[i]) << 16;
    if (n > 1) group |= static_cast<uint32_t>(src[i + 1]) << 8;
    if (n > 2) group |= src[i + 2];
    out[w++] = kAlphabet[(group >> 18) & 0x3f];
    out[w++] = kAlphabet[(group >> 12) & 0x3f];
    out[w++] = n > 1 ? kAlphabet[(group >> 6) & 0x3f] : '=';
    out[w++] = n > 2 ? kAlphabet[group & 0x3f] : '=';
  }
  out[w] = '\0';
  return static_cast<int>(w);
}

// A lone sextet at the end carries fewer than 8 bits: that is a damaged text, not a byte.
int str_base64_decode(const char *in, void *out, size_t size) {
  if (!in || !out) return -1;
  auto *dst = static_cast<uint8_t *>(out);
  size_t w = 0;
  uint32_t bits = 0;
  int nbits = 0;
  int pending = 0;
  for (const char *p = in; *p && *p != '='; ++p) {
    const int v = sextet(*p);
    if (v < 0) return -1;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    nbits += 6;
    pending = (pending + 1) % 4;
    if (nbits >= 8) {
      nbits -= 8;
      if (w + 1 >= size) return -1;
      dst[w++] = static_cast<uint8_t>(bits >> nbits);
      bits &= (1u << nbits) - 1;
    }
  }
  if (pending == 1) return -1;
  if (w >= size) return -1;
  dst[w] = 0;
  return static_cast<int>(w);
}
