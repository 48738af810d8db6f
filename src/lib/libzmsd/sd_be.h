// Big-endian reads and writes for every multi-byte field on the wire. They go through memcpy of
// single bytes, so unaligned fields are safe on hosts that trap on unaligned access (MIPS).
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t sd_get_be16(const void *p) {
  uint8_t b[2];
  memcpy(b, p, 2);
  return uint16_t(b[0] << 8 | b[1]);
}

inline uint32_t sd_get_be32(const void *p) {
  uint8_t b[4];
  memcpy(b, p, 4);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}

inline uint64_t sd_get_be64(const void *p) {
  const auto *b = static_cast<const uint8_t *>(p);
  return uint64_t(sd_get_be32(b)) << 32 | sd_get_be32(b + 4);
}

inline void sd_put_be16(void *p, uint16_t v) {
  const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
  memcpy(p, b, 2);
}

inline void sd_put_be32(void *p, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  memcpy(p, b, 4);
}

inline void sd_put_be64(void *p, uint64_t v) {
  auto *b = static_cast<uint8_t *>(p);
  sd_put_be32(b, uint32_t(v >> 32));
  sd_put_be32(b + 4, uint32_t(v));
}
