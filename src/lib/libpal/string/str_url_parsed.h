// A URL parsed together with its own storage, for the functions that parse a text afresh and
// only read the record. Private to libpal/string; about 8 KiB, meant for the stack.
#pragma once

#include "pal_url.h"

namespace pal_str {

struct ParsedUrl {
  UrlRecord record{};
  char storage[URL_TEXT_SIZE];

  [[nodiscard]] bool parse(const char *url) { return url_parser(&record, storage, url) == 0; }
};

}  // namespace pal_str
