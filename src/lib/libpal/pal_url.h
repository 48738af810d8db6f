// URL texts: the grammar, the parsed record, query readers and writers, escaping, rebuild and
// masking. Everything the daemon mounts or connects to is named by one such text, and per-mount
// options travel in its query.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

inline constexpr int URL_TEXT_SIZE = 8192;   // URL buffers, also the parsed record's storage
inline constexpr int URL_PART_SIZE = 4096;   // component getter results

// Kind codes of url_get_type.
enum : int {
  URL_TYPE_UNKNOWN = 0,
  URL_TYPE_FILE = 1,
  URL_TYPE_HTTP = 3,
  URL_TYPE_ZMP = 4,
  URL_TYPE_FTP = 5,
  URL_TYPE_NAME = 8,
};

// Modes of url_set_query.
enum : int {
  URL_SET_ALWAYS = 1,
  URL_SET_NOT_EXIST = 2,
  URL_SET_EXIST = 3,
  URL_DEL_EXIST = 4,
};

// All text fields point into the caller's storage; absent fields point to an empty string.
struct UrlRecord {
  const char *protocol;
  const char *user;
  const char *passwd;
  const char *host;
  uint16_t port;
  const char *path;
  const char *query;
  const char *hash;
  char *storage;  // URL_TEXT_SIZE bytes, bound by url_parser
};

using str_map = std::map<std::string, std::string>;

int url_parser(UrlRecord *record, char *storage, const char *url);
void url_normalize(char *text);
void url_print(const UrlRecord *record);

int url_get_protocol(const char *url, char *out);
int url_get_host(const char *url, char *out);
int url_get_path(const char *url, char *out);
int url_get_type(const char *url);
std::unique_ptr<str_map> url_get_query_map(const char *url);

// Readers search the text after the first "?" (the whole text without one); in a URL with an
// authority part the query ends at a "#" after it. Values are trimmed, then percent-decoded.
// url_get_query: 0 with the value or def ("" for null) in out; -1 only for no out buffer.
int url_get_query(const char *url, const char *key, const char *def, char *out, size_t size);
char *url_get_query_dup(const char *url, const char *key, const char *def);  // os_free it
int url_get_query_int(const char *url, const char *key, int def);
int64_t url_get_query_int64(const char *url, const char *key, int64_t def);
int url_has_query(const char *url, const char *key);
// Bare query text "a=1&b=2": 0 and the decoded value (cut to size), or -1 when absent.
int query_get(const char *query, const char *key, char *out, size_t size);

// Writers rewrite a URL_TEXT_SIZE buffer in place; 0, or -1 with the URL unchanged.
int url_set_query(char *url, const char *key, const char *value, int escape, int mode);
int url_set_query_str(char *url, const char *key, const char *value);      // escaped, set_always
int url_set_query_raw(char *url, const char *key, const char *value);      // unescaped
int url_set_query_int(char *url, const char *key, int value);
int url_set_query_int64(char *url, const char *key, int64_t value);
int url_set_query_kv(char *url, const char *key_eq_value, int escape);
int url_set_query_base64(char *url, const char *key, const void *value, size_t len);
int url_set_query_hex(char *url, const char *key, const void *value, size_t len);
int url_del_query(char *url, const char *key);
int url_add_query(char *url, const char *item);
int url_append_path(char *url, const char *path);

// Both write a URL_TEXT_SIZE buffer: 0, or -1 when the text had to be cut or does not parse.
int url_to_string(const UrlRecord *record, char *out);
int url_to_mask(const char *url, char *out);
// "<protocol>://...", or "file://..." for a text that does not parse; returns out.
char *url_protocol_display(const char *url, char *out, size_t size);

// Results are the output length, or -1 when out cannot hold it (escaped length + 1, or for
// decoding the input length + 1). A malformed "%" sequence is copied literally.
int str_escape_url_args(const char *in, char *out, size_t size);
int str_unescape_url_args(const char *in, char *out, size_t size);
int str_unescape_uri(const char *in, char *out, size_t size);

// Base64 with "-" accepted for "+" and "_" for "/"; decoding stops at "=" or the end.
// Results are byte counts, or -1 (bad character, output too small). Both outputs are
// NUL-terminated, so size must exceed the count.
int str_base64_encode(const void *in, size_t len, char *out, size_t size);
int str_base64_decode(const char *in, void *out, size_t size);

// Small predicates used by the parser and its callers.
bool str_has_prefix(const char *text, const char *prefix);
bool str_has_prefix_nocase(const char *text, const char *prefix);
bool str_has_suffix(const char *text, const char *suffix);
bool str_has_suffix_nocase(const char *text, const char *suffix);
bool str_is_enclosed(const char *text, char first, char last);
bool url_is_absolute(const char *text);
bool url_has_scheme(const char *text);

// Size text ("2m", "512k", "2mb"): a decimal number and unit suffixes, to bytes; 0 for a text
// that breaks the rule (callers read 0 as "no size").
uint64_t str_size_text_bytes(const char *text);

// Wildcard match with "*" and "?" (used by INI section patterns).
bool str_wildcard_match(const char *pattern, const char *text);
