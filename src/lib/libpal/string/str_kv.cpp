// Lookup of one key in a bare query text, and the value decoding that every reader shares.
// The first item of a key wins; a value is cut at 8191 characters before it is decoded.
#include "str_kv.h"

#include "pal_url.h"

namespace pal_str {

bool query_find(std::string_view query, std::string_view key, std::string_view *value) {
  bool hit = false;
  query_walk(
      query,
      [&](std::string_view k, std::string_view v) {
        if (k != key) return true;
        *value = v;
        hit = true;
        return false;
      },
      nullptr);
  return hit;
}

bool query_decode_value(std::string_view value, char *out, size_t size) {
  if (!out || size == 0) return false;
  char buf[URL_TEXT_SIZE];
  copy_bounded(buf, sizeof buf, value);
  if (str_unescape_url_args(buf, buf, sizeof buf) < 0) return false;
  copy_bounded(out, size, buf);
  return true;
}

}  // namespace pal_str

int query_get(const char *query, const char *key, char *out, size_t size) {
  std::string_view value;
  if (!query || !key || !pal_str::query_find(query, key, &value)) return -1;
  return pal_str::query_decode_value(value, out, size) ? 0 : -1;
}
