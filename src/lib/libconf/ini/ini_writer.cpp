// INI text of a dictionary: sections in order, each with its kept comments and "key=value"
// lines (values quoted only where the parser would otherwise cut them). Keys that came before the
// first section header are written first, without a header, so that they read back into the same
// place.
#include <string>

#include "iniparser.h"

int ini_value_quote(std::string_view value) {
  const bool plain = value.find_first_of(";#") == std::string_view::npos &&
                     (value.empty() || (value[0] != '"' && value[0] != '\''));
  if (plain) return 0;
  if (value.find('"') == std::string_view::npos) return '"';
  if (value.find('\'') == std::string_view::npos) return '\'';
  return -1;
}

namespace {

void append_value(std::string &text, const std::string &value) {
  const int quote = ini_value_quote(value);
  if (quote > 0) text.push_back(static_cast<char>(quote));
  text += value;
  if (quote > 0) text.push_back(static_cast<char>(quote));
}

void append_keys(std::string &text, const dictionary &dict, const std::string &section) {
  for (const auto &e : dict.entries()) {
    if (!dict_in_section(e->name, section)) continue;
    text += e->comment;
    const size_t line = text.size();
    text.append(e->name, section.size() + 1).push_back('=');
    if (e->value) append_value(text, *e->value);
    // A file may hold a key that begins with "[" (set refuses one); when its value ends with "]"
    // the line would read back as a section header. An empty comment keeps it a key: the line
    // in the file had something after the "]" too, so it grows no longer than it was.
    if (text[line] == '[' && text.back() == ']') text.push_back(';');
    text.push_back('\n');
  }
}

std::string ini_text(const dictionary &dict) {
  std::string text;
  if (!dict.find("")) append_keys(text, dict, "");
  for (const auto &e : dict.entries()) {
    if (e->name.find(DICT_SEP) != std::string::npos) continue;
    if (!e->comment.empty())
      text += e->comment;
    else if (!text.empty())
      text.push_back('\n');
    text.append("[").append(e->name).append("]\n");
    append_keys(text, dict, e->name);
  }
  if (!dict.trailing_comment.empty())
    text += dict.trailing_comment;
  else if (!text.empty())
    text.push_back('\n');
  return text;
}

}  // namespace

int iniparser_write(const dictionary &dict, FILE *out) {
  const std::string text = ini_text(dict);
  if (fwrite(text.data(), 1, text.size(), out) != text.size()) return -1;
  return 0;
}
