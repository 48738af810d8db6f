// Turning a parsed URL back into text: the full rebuild, the masked shape for log lines (no
// credentials, no address) and the protocol-only display form. Outputs are 8 KiB buffers.
#include "pal_url.h"

#include <cstring>

#include "pal_log.h"
#include "str_text.h"
#include "str_url_parsed.h"

static const char kLogTag[] = "pal";

namespace {

bool is_protocol(const char *protocol, const char *word) {
  return str_has_prefix_nocase(protocol, word) && strlen(protocol) == strlen(word);
}

}  // namespace

// An address with ":" in it (IPv6) is written in brackets again, else the port could not be
// told apart from it when the text is parsed back.
int url_to_string(const UrlRecord *record, char *out) {
  if (!ZASSERT(record && out)) return -1;
  pal_str::TextBuilder b(out, URL_TEXT_SIZE);
  if (is_protocol(record->protocol, "file")) {
    b.add(record->protocol).add("://").add(record->path);
    return b.cut() ? -1 : 0;
  }
  b.add(record->protocol).add("://");
  if (*record->user) {
    b.add(record->user);
    if (*record->passwd) b.add(":").add(record->passwd);
    b.add("@");
  }
  if (strchr(record->host, ':'))
    b.add("[").add(record->host).add("]");
  else
    b.add(record->host);
  if (record->port) b.addf(":%d", record->port);
  b.add(record->path);
  if (*record->query) b.add("?").add(record->query);
  if (*record->hash) b.add("#").add(record->hash);
  return b.cut() ? -1 : 0;
}

int url_to_mask(const char *url, char *out) {
  if (!ZASSERT(out)) return -1;
  pal_str::ParsedUrl u;
  if (!u.parse(url)) {
    pal_str::copy_bounded(out, URL_TEXT_SIZE, "url parser error");
    return -1;
  }
  const UrlRecord &r = u.record;
  pal_str::TextBuilder b(out, URL_TEXT_SIZE);
  if (is_protocol(r.protocol, "name"))
    b.add("///");
  else if (!is_protocol(r.protocol, "file"))
    b.add(r.protocol).add("://");
  if (*r.user) b.add(*r.passwd ? "user:pwd@" : "user@");
  if (*r.host) b.add("host");
  if (r.port) b.add(":port");
  b.add(r.path);
  if (*r.query) b.add("?").add(r.query);
  if (*r.hash) b.add("#hash");
  return 0;
}

char *url_protocol_display(const char *url, char *out, size_t size) {
  if (!out || size == 0) return out;
  pal_str::ParsedUrl u;
  pal_str::TextBuilder b(out, size);
  b.add(u.parse(url) ? u.record.protocol : "file").add("://...");
  return out;
}
