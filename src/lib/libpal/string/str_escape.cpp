// Percent escaping of query values and its reverse. The escaped set keeps a value inside one
// query item (no "&", "=", "#", "?" survive) and makes control and non-ASCII bytes visible.
// A malformed "%" sequence is copied as it stands, so decoding never fails on content.
#include "pal_url.h"

#include <cstring>

#include "pal_log.h"

static const char kLogTag[] = "pal";

namespace {

bool needs_escape(unsigned char c) {
  if (c <= 0x1f || c >= 0x7f) return true;
  return strchr(" #%&+;=?", c) != nullptr;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes up to the end, or up to the first "?" when stop_at_query is set (the rest is copied).
int unescape_imp(const char *in, char *out, size_t bsize, bool stop_at_query) {
  if (!ZASSERT(in && out)) return -1;
  const size_t len = strlen(in) + 1;
  if (!ZASSERT(len<=bsize)) {
    if (bsize > 0) out[0] = '\0';
    return -1;
  }
  size_t w = 0;
  bool decoding = true;
  for (size_t r = 0; in[r] != '\0'; ++r) {
    if (stop_at_query && in[r] == '?') decoding = false;
    if (decoding && in[r] == '%') {
      const int hi = hex_value(in[r + 1]);
      const int lo = hi < 0 ? -1 : hex_value(in[r + 2]);
      if (lo >= 0) {
        out[w++] = static_cast<char>(hi * 16 + lo);
        r += 2;
        continue;
      }
    }
    out[w++] = in[r];
  }
  out[w] = '\0';
  return static_cast<int>(w);
}

}  // namespace

int str_escape_url_args(const char *in, char *out, size_t bsize) {
  if (!ZASSERT(in && out)) return -1;
  size_t rlen = 1;
  for (const char *p = in; *p; ++p) rlen += needs_escape(static_cast<unsigned char>(*p)) ? 3 : 1;
  if (!ZASSERT(rlen<=bsize)) {
    if (bsize > 0) out[0] = '\0';
    return -1;
  }
  static const char kHex[] = "0123456789ABCDEF";
  size_t w = 0;
  for (const char *p = in; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (needs_escape(c)) {
      out[w++] = '%';
      out[w++] = kHex[c >> 4];
      out[w++] = kHex[c & 0x0f];
    } else {
      out[w++] = static_cast<char>(c);
    }
  }
  out[w] = '\0';
  return static_cast<int>(w);
}

int str_unescape_url_args(const char *in, char *out, size_t size) {
  return unescape_imp(in, out, size, false);
}

int str_unescape_uri(const char *in, char *out, size_t size) {
  return unescape_imp(in, out, size, true);
}
