// Size texts such as "2m", "512k" or "2mb": a decimal number and a short unit suffix, turned into
// bytes. Anything outside the rule is 0, which callers read as "no size" (for caches: none).
#include <strings.h>

#include <cctype>
#include <cstring>

#include "pal_url.h"

namespace {

constexpr size_t kMaxText = 256;

struct Unit {
  const char *name;
  uint64_t factor;
};

// Order matters: at each position the first unit whose whole name matches is taken.
constexpr Unit kUnits[] = {
    {"c", 1ull},           {"w", 2ull},
    {"b", 512ull},         {"kB", 1000ull},
    {"kD", 1000ull},       {"k", 1024ull},
    {"KB", 1000ull},       {"KD", 1000ull},
    {"K", 1024ull},        {"MB", 1000000ull},
    {"MD", 1000000ull},    {"M", 1048576ull},
    {"GB", 1000000000ull}, {"GD", 1000000000ull},
    {"G", 1ull << 30},     {"TB", 1000000000000ull},
    {"T", 1ull << 40},     {"PB", 1000000000000000ull},
    {"P", 1ull << 50},
};

const Unit *match_unit(const char *at) {
  for (const Unit &unit : kUnits)
    if (strncasecmp(at, unit.name, strlen(unit.name)) == 0) return &unit;
  return nullptr;
}

bool multiply(uint64_t &value, uint64_t factor) {
  if (factor != 0 && value > UINT64_MAX / factor) return false;
  value *= factor;
  return true;
}

bool ends_in_three_letters(const char *text, size_t len) {
  if (len < 3) return false;
  for (size_t i = len - 3; i < len; ++i)
    if (!isalpha(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

}  // namespace

uint64_t str_size_text_bytes(const char *text) {
  if (text == nullptr || !isdigit(static_cast<unsigned char>(text[0]))) return 0;
  const size_t len = strnlen(text, kMaxText + 1);
  if (len > kMaxText || ends_in_three_letters(text, len)) return 0;
  uint64_t value = 0;
  const char *at = text;
  for (; isdigit(static_cast<unsigned char>(*at)); ++at) {
    const auto digit = static_cast<uint64_t>(*at - '0');
    if (!multiply(value, 10) || value > UINT64_MAX - digit) return 0;
    value += digit;
  }
  while (*at != '\0') {
    const Unit *unit = match_unit(at);
    if (unit == nullptr || !multiply(value, unit->factor)) return 0;
    at += strlen(unit->name);
  }
  return value;
}
