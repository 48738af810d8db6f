// CRC-8 of datagrams: the plain catalogue CRC-8 (polynomial 0x07, no reflection, init 0,
// no final XOR), one table lookup per byte. The table is computed at compile time.
#include <array>

#include "bsvf.h"

namespace {

constexpr std::array<uint8_t, 256> make_table() {
  std::array<uint8_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    uint8_t crc = static_cast<uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    table[static_cast<size_t>(byte)] = crc;
  }
  return table;
}

constexpr std::array<uint8_t, 256> kTable = make_table();

}  // namespace

uint8_t bsvf_crc8(const void *data, size_t len) {
  const auto *p = static_cast<const uint8_t *>(data);
  uint8_t crc = 0;
  for (size_t i = 0; i < len; ++i) crc = kTable[crc ^ p[i]];
  return crc;
}
