// Version numbers packed as four 16-bit fields, most significant first, so that they compare
// as integers.
#include "peer_version.h"

#include <cctype>

namespace peer {

uint64_t version_number(const std::string &text) {
  uint64_t packed = 0;
  int fields = 0;
  size_t at = 0;
  while (at < text.size() || fields == 0) {
    if (at >= text.size() || !isdigit(static_cast<unsigned char>(text[at]))) return 0;
    uint64_t v = 0;
    while (at < text.size() && isdigit(static_cast<unsigned char>(text[at]))) v = v * 10 + uint64_t(text[at++] - '0');
    if (++fields > 4 || (fields == 1 && v == 0)) return 0;
    packed |= (v & 0xffff) << (16 * (4 - fields));
    if (at < text.size() && text[at++] != '.') return 0;
  }
  return packed;
}

uint64_t version_needed(int command, int32_t code) {
  switch (command) {
    case 7: case 26: case 27: case 44: return version_number("1.5.3");
    case 29: case 30: return version_number("1.6.4");
    case 8: return code >= 101 && code <= 107 ? version_number("1.5.4") : 0;
    default: return 0;
  }
}

}  // namespace peer
