// Reading the query of a URL text: one key as text, copy, number or presence, or the whole
// query as a map. Readers search the text after the first "?" (the whole text without one)
// and, for URLs with an authority part, stop at the "#" that starts the hash.
#include "pal_url.h"

#include <climits>
#include <cstdlib>
#include <new>

#include "pal_env.h"
#include "pal_log.h"
#include "str_kv.h"

static const char kLogTag[] = "pal";

namespace {

// The decoded value of key, cut to size; false when the key is absent.
bool url_find_value(const char *url, const char *key, char *out, size_t size) {
  std::string_view value;
  if (!url || !key || !pal_str::query_find(pal_str::url_query_text(url), key, &value))
    return false;
  return pal_str::query_decode_value(value, out, size);
}

// false when the key is absent or its value empty.
bool url_find_number(const char *url, const char *key, long long *number) {
  char text[URL_PART_SIZE];
  if (!url_find_value(url, key, text, sizeof text) || text[0] == '\0') return false;
  *number = strtoll(text, nullptr, 10);
  return true;
}

}  // namespace

int url_get_query(const char *url, const char *key, const char *def, char *out, size_t size) {
  if (!out || size == 0) return -1;
  if (!url_find_value(url, key, out, size)) pal_str::copy_bounded(out, size, def ? def : "");
  return 0;
}

char *url_get_query_dup(const char *url, const char *key, const char *def) {
  char text[URL_PART_SIZE];
  if (url_find_value(url, key, text, sizeof text)) return os_strdup(text);
  return def ? os_strdup(def) : nullptr;
}

int url_get_query_int(const char *url, const char *key, int def) {
  long long n = 0;
  if (!url_find_number(url, key, &n)) return def;
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

int64_t url_get_query_int64(const char *url, const char *key, int64_t def) {
  long long n = 0;
  return url_find_number(url, key, &n) ? static_cast<int64_t>(n) : def;
}

int url_has_query(const char *url, const char *key) {
  std::string_view value;
  return url && key && pal_str::query_find(pal_str::url_query_text(url), key, &value) ? 1 : 0;
}

std::unique_ptr<str_map> url_get_query_map(const char *url) {
  if (!url) return nullptr;
  const pal_str::UrlQuerySplit split = pal_str::url_split_query(url);
  if (split.query.empty()) return nullptr;
  try {
    auto map = std::make_unique<str_map>();
    char value[URL_TEXT_SIZE];
    std::string_view bad;
    const bool whole = pal_str::query_walk(
        split.query,
        [&](std::string_view k, std::string_view v) {
          if (pal_str::query_decode_value(v, value, sizeof value)) map->emplace(k, value);
          return true;
        },
        &bad);
    if (!whole)
      ZLOG(LOG2_ERR, "str_get_key_and_val [%.*s] failed\n", static_cast<int>(bad.size()),
           bad.data());
    return map;
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}
