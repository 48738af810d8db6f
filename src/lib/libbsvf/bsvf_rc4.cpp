// RC4 as the datagram scrambler: key schedule and keystream XOR in one pass. It hides the
// record from casual readers on the wire; it is not meant as protection against an attacker.
#include <array>
#include <utility>

#include "bsvf.h"

void bsvf_rc4(const uint8_t *key, size_t key_len, void *data, size_t len) {
  if (!key || key_len == 0) return;
  std::array<uint8_t, 256> s{};
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key_len]);
    std::swap(s[i], s[j]);
  }
  auto *p = static_cast<uint8_t *>(data);
  uint8_t a = 0;
  uint8_t b = 0;
  for (size_t n = 0; n < len; ++n) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    p[n] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}
