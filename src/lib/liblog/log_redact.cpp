// Cleaning of log messages (see log_redact.h). Works on the formatted message only, so a line
// that carries no "://" and no "proxy_url=" costs two searches.
#include "log_redact.h"

#include <cstring>
#include <string_view>

namespace {

constexpr char kMask[] = "***";
constexpr std::string_view kProxyKey = "proxy_url=";

// Characters that end the user and password part of a URL before any '@' could come.
bool ends_authority(char c) {
  return c == '\0' || strchr("/?#[]()<>\"' \t\r\n", c) != nullptr;
}

bool ends_query_value(char c) { return c == '\0' || strchr("&#]()<>\"' \t\r\n", c) != nullptr; }

// The part of text that a secret starting at begin takes: [begin, end), or begin == end.
size_t url_password_end(const char *text, size_t begin, size_t *password_begin) {
  size_t colon = 0;
  for (size_t i = begin; !ends_authority(text[i]); ++i) {
    if (text[i] == ':' && colon == 0) colon = i;
    if (text[i] == '@') {
      if (colon == 0) return begin;
      *password_begin = colon + 1;
      return i;
    }
  }
  return begin;
}

}  // namespace

void log_redact(log_line &msg) {
  if (strstr(msg.text, "://") == nullptr && strstr(msg.text, kProxyKey.data()) == nullptr) return;
  log_line out;
  const char *text = msg.text;
  size_t i = 0;
  while (i < msg.len) {
    if (strncmp(text + i, "://", 3) == 0) {
      out.append(text + i, 3);
      i += 3;
      size_t password = 0;
      const size_t end = url_password_end(text, i, &password);
      if (end != i) {
        out.append(text + i, password - i);
        out.append(kMask);
        i = end;
      }
      continue;
    }
    if (strncmp(text + i, kProxyKey.data(), kProxyKey.size()) == 0) {
      out.append(text + i, kProxyKey.size());
      i += kProxyKey.size();
      size_t end = i;
      while (!ends_query_value(text[end])) ++end;
      if (end != i) out.append(kMask);
      i = end;
      continue;
    }
    out.append(text + i, 1);
    ++i;
  }
  msg = out;
}
