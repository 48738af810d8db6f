// Fuzz target: the URL parser and everything that reads or rewrites a URL text. The input is
// "url\nkey\nvalue"; every output buffer is an exact-size heap block of its documented size.
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "pal_env.h"
#include "pal_url.h"

namespace {

std::string take_line(const uint8_t *&p, const uint8_t *end) {
  std::string s;
  while (p < end && *p != '\n') s.push_back(*p ? char(*p) : ' '), ++p;
  if (p < end) ++p;
  return s;
}

void readers(const char *url, const char *key) {
  std::vector<char> part(URL_PART_SIZE);
  std::vector<char> text(URL_TEXT_SIZE);
  UrlRecord record{};
  if (url_parser(&record, text.data(), url) == 0) {
    std::vector<char> rebuilt(URL_TEXT_SIZE);
    (void)url_to_string(&record, rebuilt.data());
  }
  (void)url_get_protocol(url, part.data());
  (void)url_get_host(url, part.data());
  (void)url_get_path(url, part.data());
  (void)url_get_type(url);
  (void)url_get_query_map(url);
  (void)url_get_query(url, key, "d", part.data(), part.size());
  os_free(url_get_query_dup(url, key, nullptr));
  (void)url_get_query_int(url, key, 7);
  (void)url_get_query_int64(url, key, 7);
  (void)url_has_query(url, key);
  (void)query_get(url, key, part.data(), part.size());
  std::vector<char> masked(URL_TEXT_SIZE);
  (void)url_to_mask(url, masked.data());
  (void)url_protocol_display(url, part.data(), part.size());
  (void)str_unescape_url_args(url, part.data(), part.size());
  (void)str_unescape_uri(url, part.data(), part.size());
  (void)str_escape_url_args(url, part.data(), part.size());
  (void)str_base64_decode(url, part.data(), part.size());
  (void)url_is_absolute(url);
  (void)url_has_scheme(url);
  (void)str_wildcard_match(key, url);
}

// The writers need the URL in a URL_TEXT_SIZE buffer; each runs on a fresh copy.
void writers(const std::string &url, const char *key, const char *value) {
  if (url.size() >= size_t(URL_TEXT_SIZE)) return;
  std::vector<char> buf(URL_TEXT_SIZE);
  const auto fresh = [&] {
    std::fill(buf.begin(), buf.end(), '\0');
    url.copy(buf.data(), url.size());
    return buf.data();
  };
  for (int mode = URL_SET_ALWAYS; mode <= URL_DEL_EXIST; ++mode)
    (void)url_set_query(fresh(), key, value, mode & 1, mode);
  (void)url_set_query_str(fresh(), key, value);
  (void)url_set_query_raw(fresh(), key, value);
  (void)url_set_query_int(fresh(), key, -12345);
  (void)url_set_query_int64(fresh(), key, INT64_MIN);
  (void)url_set_query_kv(fresh(), value, 1);
  (void)url_set_query_kv(fresh(), value, 0);
  (void)url_set_query_base64(fresh(), key, value, strlen(value));
  (void)url_set_query_hex(fresh(), key, value, strlen(value));
  (void)url_del_query(fresh(), key);
  (void)url_add_query(fresh(), value);
  (void)url_append_path(fresh(), value);
  url_normalize(fresh());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *p = data;
  const uint8_t *end = data + size;
  const std::string url = take_line(p, end);
  const std::string key = take_line(p, end);
  const std::string value = take_line(p, end);
  readers(url.c_str(), key.c_str());
  writers(url, key.c_str(), value.c_str());
  return 0;
}
