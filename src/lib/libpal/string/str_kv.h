// The walk over the items of a bare query text ("a=1&b=2") that every query reader shares.
// Private to libpal/string. Keys and values come out trimmed of blanks and still escaped.
#pragma once

#include <string_view>

#include "str_text.h"

namespace pal_str {

// Visits the items in order; visit(key, value) returns false to stop early. Empty items are
// skipped. An item without "=" ends the walk: it is stored in *bad and the result is false.
template <class Visit>
bool query_walk(std::string_view query, Visit visit, std::string_view *bad) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view item = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) {
      if (bad) *bad = item;
      return false;
    }
    if (!visit(trim_blanks(item.substr(0, eq)), trim_blanks(item.substr(eq + 1)))) return true;
  }
  return true;
}

// The first item of key in a bare query text; its value trimmed and still escaped.
bool query_find(std::string_view query, std::string_view key, std::string_view *value);

// Percent-decodes an escaped value (cut at 8191 characters first) into out, cut to size;
// false when out cannot hold anything.
bool query_decode_value(std::string_view value, char *out, size_t size);

}  // namespace pal_str
