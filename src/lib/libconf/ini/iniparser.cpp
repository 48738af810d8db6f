// Line parser of the INI back end. Lines are read through a buffer of INI_LINE_MAX characters;
// the quoting and empty-value rules follow the classic open INI-parser, except that names keep
// their case and a leading byte-order mark (which our writer puts there) is skipped.
#include "iniparser.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "pal_log.h"

static const char kLogTag[] = "conf";

namespace {

enum class line_kind { empty, comment, section, value, error };

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// Text after an opening quote up to the closing one (or the end when it is missing); false when
// the quoted text is empty, which the unquoted rule below turns into an empty value.
bool quoted_value(std::string_view rest, char quote, std::string_view &value) {
  if (rest.size() < 2 || rest[0] != quote || rest[1] == quote) return false;
  rest.remove_prefix(1);
  value = rest.substr(0, rest.find(quote));
  return true;
}

line_kind parse_line(std::string_view line, std::string &name, std::string &value) {
  line = trim(line);
  if (line.empty()) return line_kind::empty;
  if (line[0] == '#' || line[0] == ';') return line_kind::comment;
  if (line[0] == '[' && line.back() == ']') {
    std::string_view inner = line.substr(1);
    name = trim(inner.substr(0, inner.find(']')));
    // A TAB joins section and key in the dictionary: such a section would read back as a key.
    return name.find(DICT_SEP) == std::string::npos ? line_kind::section : line_kind::error;
  }
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return line_kind::error;
  name = trim(line.substr(0, eq));
  const std::string_view rest = trim(line.substr(eq + 1));
  std::string_view text;
  if (quoted_value(rest, '"', text) || quoted_value(rest, '\'', text)) {
    value = trim(text);
  } else if (!rest.empty() && rest[0] != ';' && rest[0] != '#') {
    value = trim(rest.substr(0, rest.find_first_of(";#")));
    if (value == "\"\"" || value == "''") value.clear();
  } else {
    value.clear();
  }
  return line_kind::value;
}

// Reads the next line into buf; false at the end. `whole` tells whether the line ended (or the
// file did) within the buffer.
bool read_line(FILE *in, char (&buf)[INI_LINE_MAX + 1], size_t &len, bool &whole) {
  if (!fgets(buf, sizeof buf, in)) return false;
  len = strlen(buf);
  whole = (len > 0 && buf[len - 1] == '\n') || feof(in);
  return true;
}

}  // namespace

std::unique_ptr<dictionary> iniparser_load(FILE *in, const char *name) {
  auto dict = std::make_unique<dictionary>();
  std::string section, key, value, pending;
  char buf[INI_LINE_MAX + 1];
  size_t len = 0;
  bool whole = false;
  int lineno = 0;
  int errors = 0;
  while (read_line(in, buf, len, whole)) {
    ++lineno;
    if (!whole) {
      ZLOG(LOG2_ERR, "iniparser: input line too long in %s (%d)\n", name, lineno);
      return nullptr;
    }
    std::string_view line(buf, len);
    if (lineno == 1 && line.size() >= 3 && memcmp(line.data(), INI_BOM, 3) == 0)
      line.remove_prefix(3);
    switch (parse_line(line, key, value)) {
      case line_kind::empty:
        break;
      case line_kind::comment:
        pending.append(trim(line)).push_back('\n');
        break;
      case line_kind::section:
        section = key;
        dict->set(section, std::nullopt, pending);
        pending.clear();
        break;
      case line_kind::value:
        dict->set(dictionary::key_name(section, key), value, pending);
        pending.clear();
        break;
      case line_kind::error: {
        std::string shown(line);
        while (!shown.empty() && is_blank(shown.back())) shown.pop_back();
        ZLOG(LOG2_ERR, "iniparser: syntax error in %s (%d):\n-> %s\n", name, lineno, shown.c_str());
        ++errors;
        break;
      }
    }
  }
  if (ferror(in)) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "iniparser: read error in %s: ", name);
    return nullptr;
  }
  if (errors) return nullptr;
  dict->trailing_comment = pending;
  return dict;
}
