// Byte-order helpers for record and datagram fields: every multi-byte integer on the wire or in
// a file goes through these, so the code does not depend on the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

inline void bsv_put_uint(uint8_t *at, uint64_t value, size_t size, bool big_endian) {
  for (size_t i = 0; i < size; ++i) {
    const size_t shift = 8 * (big_endian ? size - 1 - i : i);
    at[i] = static_cast<uint8_t>(value >> shift);
  }
}

inline uint64_t bsv_get_uint(const uint8_t *at, size_t size, bool big_endian) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    const size_t shift = 8 * (big_endian ? size - 1 - i : i);
    value |= static_cast<uint64_t>(at[i]) << shift;
  }
  return value;
}
