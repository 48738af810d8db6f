// Trimming, bounded copies and the query split shared by the string and URL code.
// Every writer here stays inside the size it is given and always terminates its output.
#include "str_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pal_str {

std::string_view trim_blanks(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool copy_bounded(char *out, size_t size, std::string_view text) {
  if (size == 0) return text.empty();
  const size_t n = std::min(text.size(), size - 1);
  if (n > 0) memcpy(out, text.data(), n);
  out[n] = '\0';
  return n == text.size();
}

TextBuilder::TextBuilder(char *out, size_t size) : out_(out), size_(size) {
  if (size_ > 0) out_[0] = '\0';
}

TextBuilder &TextBuilder::add(std::string_view text) {
  if (size_ == 0) {
    cut_ = cut_ || !text.empty();
    return *this;
  }
  const size_t room = size_ - 1 - len_;
  const size_t n = std::min(text.size(), room);
  if (n > 0) memcpy(out_ + len_, text.data(), n);
  len_ += n;
  out_[len_] = '\0';
  if (n < text.size()) cut_ = true;
  return *this;
}

TextBuilder &TextBuilder::addf(const char *fmt, ...) {
  char piece[64];
  va_list ap;
  va_start(ap, fmt);
  const int n = vsnprintf(piece, sizeof piece, fmt, ap);
  va_end(ap);
  if (n < 0 || static_cast<size_t>(n) >= sizeof piece) {
    cut_ = true;
    return *this;
  }
  return add(std::string_view(piece, static_cast<size_t>(n)));
}

bool url_has_authority(std::string_view url) {
  if (url.starts_with("///")) return true;
  return url.substr(0, url.find('?')).find("://") != std::string_view::npos;
}

UrlQuerySplit url_split_query(std::string_view url) {
  const size_t mark = url.find('?');
  if (mark == std::string_view::npos) return {url, {}, {}, false};
  std::string_view after = url.substr(mark + 1);
  size_t hash = std::string_view::npos;
  if (url_has_authority(url)) hash = after.find('#');
  if (hash == std::string_view::npos) return {url.substr(0, mark), after, {}, true};
  return {url.substr(0, mark), after.substr(0, hash), after.substr(hash), true};
}

std::string_view url_query_text(std::string_view url) {
  const UrlQuerySplit split = url_split_query(url);
  return split.has_mark ? split.query : url;
}

}  // namespace pal_str
