// Writing the query of a URL held in an 8 KiB caller buffer: set, replace, add or delete one
// key, the typed shorthands, raw items and path insertion. A writer either stores the whole
// new text or leaves the URL untouched and returns -1; it never stores a truncated URL.
#include "pal_url.h"

#include <cstdio>
#include <cstring>

#include "pal_log.h"
#include "str_text.h"

static const char kLogTag[] = "pal";

namespace {

using std::string_view;

const char kKeyForbidden[] = ";/\\\"'?:@# &=";

const char *mode_name(int mode) {
  switch (mode) {
    case URL_SET_ALWAYS: return "set_always";
    case URL_SET_NOT_EXIST: return "set_not_exist";
    case URL_SET_EXIST: return "set_exist";
    case URL_DEL_EXIST: return "del_exist";
    default: return "unknown";
  }
}

const char *shown(const char *text) { return text ? text : "(null)"; }

void log_refusal(const char *url, const char *key, const char *value, int escape, int mode,
                 const char *reason) {
  ZLOG(LOG2_ERR, "url=[%s] key=[%s] val=[%s] escape=[%d] mode=[%s] error: %s\n", shown(url),
       shown(key), shown(value), escape, mode_name(mode), reason);
}

bool item_matches(string_view item, string_view key) {
  return item.size() > key.size() && item.starts_with(key) && item[key.size()] == '=';
}

// The new URL text into out (8 KiB); false when it would not fit.
bool rebuild_query(const char *url, string_view key, string_view value, int mode, char *out) {
  const pal_str::UrlQuerySplit split = pal_str::url_split_query(url);
  pal_str::TextBuilder b(out, URL_TEXT_SIZE);
  if (split.query.empty()) {
    if (mode == URL_SET_EXIST || mode == URL_DEL_EXIST)
      b.add(url);
    else
      b.add(split.base).add("?").add(key).add("=").add(value).add(split.tail);
    return !b.cut();
  }
  b.add(split.base);
  const char *sep = "?";
  bool matched = false;
  string_view rest = split.query;
  for (bool more = true; more;) {
    const size_t amp = rest.find('&');
    const string_view item = rest.substr(0, amp);
    more = amp != string_view::npos;
    if (more) rest = rest.substr(amp + 1);
    if (item_matches(item, key)) {
      matched = true;
      if (mode == URL_DEL_EXIST) continue;
      if (mode == URL_SET_ALWAYS || mode == URL_SET_EXIST) {
        b.add(sep).add(key).add("=").add(value);
        sep = "&";
        continue;
      }
    }
    b.add(sep).add(item);
    sep = "&";
  }
  if (!matched && (mode == URL_SET_ALWAYS || mode == URL_SET_NOT_EXIST))
    b.add(sep).add(key).add("=").add(value);
  b.add(split.tail);
  return !b.cut();
}

// nullptr when done, else the reason of the refusal.
const char *set_query_imp(char *url, const char *key, const char *value, int escape, int mode,
                          char *reason, size_t reason_size) {
  if (!key || !value) return "key or val cannot be null";
  if (!*key) return "key cannot be empty";
  if (strpbrk(key, kKeyForbidden)) {
    snprintf(reason, reason_size, "key cannot contain [%s]", kKeyForbidden);
    return reason;
  }
  if (mode < URL_SET_ALWAYS || mode > URL_DEL_EXIST) return "mode is not valid";
  char val[URL_TEXT_SIZE];
  if (escape) {
    if (str_escape_url_args(value, val, sizeof val) < 0) return "val too long";
  } else {
    if (strchr(value, '&')) {
      snprintf(reason, reason_size, "escape_val cannot contain [%s]", "&");
      return reason;
    }
    if (!pal_str::copy_bounded(val, sizeof val, value)) return "val too long";
  }
  if (!*val && mode != URL_DEL_EXIST) return "val cannot be empty";
  char rebuilt[URL_TEXT_SIZE];
  if (!rebuild_query(url, key, val, mode, rebuilt)) return "url too long";
  memcpy(url, rebuilt, strlen(rebuilt) + 1);
  return nullptr;
}

// Stores a finished text into the URL buffer, or logs why not.
int store_url(char *url, const char *rebuilt, bool cut, const char *what) {
  if (cut) {
    ZLOG(LOG2_ERR, "url=[%s] %s error: url too long\n", url, what);
    return -1;
  }
  memcpy(url, rebuilt, strlen(rebuilt) + 1);
  return 0;
}

}  // namespace

int url_set_query(char *url, const char *key, const char *value, int escape, int mode) {
  if (!ZASSERT(url)) return -1;
  char reason[128];
  const char *refused = set_query_imp(url, key, value, escape, mode, reason, sizeof reason);
  if (!refused) return 0;
  log_refusal(url, key, value, escape, mode, refused);
  return -1;
}

int url_set_query_str(char *url, const char *key, const char *value) {
  return url_set_query(url, key, value, 1, URL_SET_ALWAYS);
}

int url_set_query_raw(char *url, const char *key, const char *value) {
  return url_set_query(url, key, value, 0, URL_SET_ALWAYS);
}

int url_set_query_int(char *url, const char *key, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return url_set_query_str(url, key, text);
}

int url_set_query_int64(char *url, const char *key, int64_t value) {
  char text[24];
  snprintf(text, sizeof text, "%lli", static_cast<long long>(value));
  return url_set_query_str(url, key, text);
}

int url_set_query_kv(char *url, const char *key_eq_value, int escape) {
  if (!key_eq_value) return url_set_query(url, nullptr, nullptr, escape, URL_SET_ALWAYS);
  const string_view kv(key_eq_value);
  const size_t eq = kv.find('=');
  char key[URL_TEXT_SIZE];
  pal_str::copy_bounded(key, sizeof key, kv.substr(0, eq));
  const char *value = eq == string_view::npos ? "" : key_eq_value + eq + 1;
  return url_set_query(url, key, value, escape, URL_SET_ALWAYS);
}

int url_set_query_base64(char *url, const char *key, const void *value, size_t len) {
  char text[URL_TEXT_SIZE];
  if (str_base64_encode(value, len, text, sizeof text) < 0) {
    log_refusal(url, key, "(binary)", 1, URL_SET_ALWAYS, "val too long");
    return -1;
  }
  return url_set_query_str(url, key, text);
}

int url_set_query_hex(char *url, const char *key, const void *value, size_t len) {
  char text[URL_TEXT_SIZE];
  if (!value || len > (sizeof text - 1) / 2) {
    log_refusal(url, key, "(binary)", 1, URL_SET_ALWAYS, "val too long");
    return -1;
  }
  static const char kHex[] = "0123456789abcdef";
  const auto *bytes = static_cast<const unsigned char *>(value);
  for (size_t i = 0; i < len; ++i) {
    text[2 * i] = kHex[bytes[i] >> 4];
    text[2 * i + 1] = kHex[bytes[i] & 0x0f];
  }
  text[2 * len] = '\0';
  return url_set_query_str(url, key, text);
}

int url_del_query(char *url, const char *key) {
  return url_set_query(url, key, "", 1, URL_DEL_EXIST);
}

// The item goes before a hash, so that the parser and the readers still see it in the query.
int url_add_query(char *url, const char *item) {
  if (!ZASSERT(url && item)) return -1;
  const pal_str::UrlQuerySplit split = pal_str::url_split_query(url);
  char rebuilt[URL_TEXT_SIZE];
  pal_str::TextBuilder b(rebuilt, sizeof rebuilt);
  if (split.has_mark)
    b.add(split.base).add("?").add(split.query).add("&").add(item).add(split.tail);
  else
    b.add(url).add("?").add(item);
  return store_url(url, rebuilt, b.cut(), "url_add_query");
}

// One "/" joins the URL's path and the new part unless either side already has it; the same
// rule holds with and without a query, so "zmp://h" and "docs" give "zmp://h/docs".
int url_append_path(char *url, const char *path) {
  if (!ZASSERT(url && path)) return -1;
  const string_view text(url);
  const size_t mark = text.find('?');
  const string_view base = text.substr(0, mark);
  const string_view query = mark == string_view::npos ? string_view{} : text.substr(mark);
  const bool joined = base.empty() || base.ends_with('/') || path[0] == '\0' || path[0] == '/' ||
                      path[0] == '\\';
  char rebuilt[URL_TEXT_SIZE];
  pal_str::TextBuilder b(rebuilt, sizeof rebuilt);
  b.add(base).add(joined ? "" : "/").add(path).add(query);
  return store_url(url, rebuilt, b.cut(), "url_append_path");
}
