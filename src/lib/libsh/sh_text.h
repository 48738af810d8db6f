// Text work of the executor: trimming, cutting a line into ";" pieces and a piece into words.
// Double and single quotes group; the other kind of quote inside a group is an ordinary letter.
// Private to the shell library; nothing here logs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sh_text {

// Space, tab, newline, vertical tab, form feed, carriage return.
inline constexpr std::string_view kBlanks = " \t\n\v\f\r";

std::string_view trim(std::string_view text);

// The pieces between ";" outside quotes, untrimmed; false when a quote is not closed.
bool split_pieces(std::string_view line, std::vector<std::string> &pieces);

// Words separated by blanks and tabs, quotes removed; an open quote groups to the end.
std::vector<std::string> split_words(std::string_view piece);

// The first word of a piece (up to the first blank or tab) and the rest after it.
struct first_word {
  std::string_view word;
  std::string_view rest;
};
first_word split_first_word(std::string_view piece);

}  // namespace sh_text
