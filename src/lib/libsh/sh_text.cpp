// Trimming and splitting of command lines for the executor (see sh_text.h).
#include "sh_text.h"

namespace sh_text {

namespace {

bool is_quote(char c) { return c == '"' || c == '\''; }
bool is_separator(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view trim(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool split_pieces(std::string_view line, std::vector<std::string> &pieces) {
  pieces.clear();
  std::string piece;
  char quote = 0;
  for (char c : line) {
    if (quote != 0) {
      if (c == quote) quote = 0;
      piece.push_back(c);
    } else if (c == ';') {
      pieces.push_back(std::move(piece));
      piece.clear();
    } else {
      if (is_quote(c)) quote = c;
      piece.push_back(c);
    }
  }
  if (quote != 0) {
    pieces.clear();
    return false;
  }
  pieces.push_back(std::move(piece));
  return true;
}

std::vector<std::string> split_words(std::string_view piece) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : piece) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word.push_back(c);
      }
    } else if (is_separator(c)) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      in_word = true;
      if (is_quote(c)) {
        quote = c;
      } else {
        word.push_back(c);
      }
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

first_word split_first_word(std::string_view piece) {
  size_t end = piece.find_first_of(" \t");
  if (end == std::string_view::npos) return {piece, {}};
  return {piece.substr(0, end), piece.substr(end)};
}

}  // namespace sh_text
