// Prefix, suffix and enclosure tests, the URL shape predicates and the "*"/"?" wildcard match.
// Letter case is folded for ASCII letters only; a null text never matches.
#include "pal_url.h"

#include <cstring>
#include <string_view>

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

}  // namespace

bool str_has_prefix(const char *text, const char *prefix) {
  return text && prefix && std::string_view(text).starts_with(prefix);
}

bool str_has_prefix_nocase(const char *text, const char *prefix) {
  if (!text || !prefix) return false;
  const std::string_view t(text), p(prefix);
  return t.size() >= p.size() && equal_nocase(t.substr(0, p.size()), p);
}

bool str_has_suffix(const char *text, const char *suffix) {
  return text && suffix && std::string_view(text).ends_with(suffix);
}

bool str_has_suffix_nocase(const char *text, const char *suffix) {
  if (!text || !suffix) return false;
  const std::string_view t(text), s(suffix);
  return t.size() >= s.size() && equal_nocase(t.substr(t.size() - s.size()), s);
}

bool str_is_enclosed(const char *text, char first, char last) {
  if (!text) return false;
  const size_t n = strlen(text);
  return n > 1 && text[0] == first && text[n - 1] == last;
}

bool url_has_scheme(const char *text) { return text && strstr(text, "://") != nullptr; }

bool url_is_absolute(const char *text) {
  if (!text) return false;
  return url_has_scheme(text) || text[0] == '/' || (text[0] != '\0' && text[1] == ':');
}

// Greedy scan with one back-track point: the latest "*" absorbs one more character whenever
// the rest fails, which keeps the match linear in practice and free of recursion.
bool str_wildcard_match(const char *pattern, const char *text) {
  if (!pattern || !text) return false;
  const char *star = nullptr;
  const char *resume = nullptr;
  while (*text) {
    if (*pattern == '*') {
      star = pattern++;
      resume = text;
    } else if (*pattern == '?' || *pattern == *text) {
      ++pattern;
      ++text;
    } else if (star) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}
