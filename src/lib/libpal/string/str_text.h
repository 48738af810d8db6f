// Text helpers shared by the string and URL code of the platform library: the blank set that
// URLs and query items are trimmed of, a bounded writer into fixed-size buffers, and where the
// query of a URL text lies. Private to libpal/string; nothing here allocates.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string_view>

namespace pal_str {

// Space, tab, newline, vertical tab, form feed, carriage return.
inline constexpr std::string_view kBlanks = " \t\n\v\f\r";

inline bool is_blank(char c) { return kBlanks.find(c) != std::string_view::npos; }

std::string_view trim_blanks(std::string_view text);

// Copies at most size-1 bytes and terminates (nothing when size is 0); false when text was cut.
bool copy_bounded(char *out, size_t size, std::string_view text);

// Appends into a caller buffer of fixed size, always terminated; remembers whether anything
// had to be cut so that writers can refuse instead of storing a truncated URL.
class TextBuilder {
 public:
  TextBuilder(char *out, size_t size);
  TextBuilder &add(std::string_view text);
  // A short formatted piece such as a number (up to 63 characters).
  TextBuilder &addf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
  bool cut() const { return cut_; }
  size_t length() const { return len_; }

 private:
  char *out_;
  size_t size_;
  size_t len_ = 0;
  bool cut_ = false;
};

// A URL text split around its query: base before the "?", the query, and a tail that starts
// at a "#" after the query. The "#" ends the query only for texts with an authority part
// ("scheme://" or "///" before the "?"), as the parser reads them; a local path keeps it.
struct UrlQuerySplit {
  std::string_view base;
  std::string_view query;
  std::string_view tail;
  bool has_mark;  // the text contains "?"
};

UrlQuerySplit url_split_query(std::string_view url);

// The text the query readers search: the split's query, or the whole text without "?".
std::string_view url_query_text(std::string_view url);

// True when the text names a scheme or a saved session before its query.
bool url_has_authority(std::string_view url);

}  // namespace pal_str
