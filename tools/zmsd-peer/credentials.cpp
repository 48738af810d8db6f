// SHA-1 (FIPS 180-4, byte-oriented, one block at a time), standard Base64 with padding, and the
// two login transforms built on them.
#include "credentials.h"

#include <sys/random.h>

#include <cstring>

namespace peer {
namespace {

std::string hex_lower(const uint8_t *data, size_t len) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    out += kHex[data[i] >> 4];
    out += kHex[data[i] & 15];
  }
  return out;
}

uint32_t rol(uint32_t v, int n) { return v << n | v >> (32 - n); }

class Sha1 {
 public:
  void update(std::string_view data) {
    for (unsigned char c : data) {
      block_[fill_++] = c;
      total_bits_ += 8;
      if (fill_ == 64) compress();
    }
  }
  std::array<uint8_t, 20> finish() {
    const uint64_t bits = total_bits_;
    block_[fill_++] = 0x80;
    if (fill_ > 56) {
      while (fill_ < 64) block_[fill_++] = 0;
      compress();
    }
    while (fill_ < 56) block_[fill_++] = 0;
    for (int i = 7; i >= 0; --i) block_[fill_++] = uint8_t(bits >> (8 * i));
    compress();
    std::array<uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i) out[i] = uint8_t(h_[i / 4] >> (24 - 8 * (i % 4)));
    return out;
  }

 private:
  void compress() {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(block_[4 * i]) << 24 | uint32_t(block_[4 * i + 1]) << 16 |
             uint32_t(block_[4 * i + 2]) << 8 | block_[4 * i + 3];
    for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
      else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
      else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
      else f = b ^ c ^ d, k = 0xCA62C1D6;
      const uint32_t t = rol(a, 5) + f + e + k + w[i];
      e = d, d = c, c = rol(b, 30), b = a, a = t;
    }
    h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e;
    fill_ = 0;
  }

  uint32_t h_[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  uint8_t block_[64] = {};
  size_t fill_ = 0;
  uint64_t total_bits_ = 0;
};

}  // namespace

std::array<uint8_t, 20> sha1_of_pieces(std::initializer_list<std::string_view> pieces) {
  Sha1 s;
  for (std::string_view p : pieces) s.update(p);
  return s.finish();
}

std::array<uint8_t, 20> sha1(std::string_view data) { return sha1_of_pieces({data}); }

std::string base64(const uint8_t *data, size_t len) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < len; i += 3) {
    const uint32_t v = uint32_t(data[i]) << 16 | (i + 1 < len ? uint32_t(data[i + 1]) << 8 : 0) |
                       (i + 2 < len ? data[i + 2] : 0);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < len ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < len ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::string password_digest(std::string_view password) {
  if (password.empty()) return {};
  const auto d = sha1(password);
  return "{SHA}" + base64(d.data(), d.size());
}

std::string login_key(std::string_view user, std::string_view password, std::string_view challenge) {
  const auto d = sha1_of_pieces({"KOVEL", user, password, challenge});
  return hex_lower(d.data(), d.size());
}

std::string new_challenge() {
  uint8_t raw[16] = {};
  size_t got = 0;
  while (got < sizeof raw) {
    const ssize_t r = getrandom(raw + got, sizeof raw - got, 0);
    if (r > 0) got += size_t(r);
  }
  return hex_lower(raw, sizeof raw);
}

}  // namespace peer
