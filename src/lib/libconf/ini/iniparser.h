// INI text to dictionary and back. Names keep their case, comment lines are kept in front of the
// entry that follows them, and one malformed line makes the whole file unreadable, so a caller
// never works on half a configuration.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "dictionary.h"

// A line holds at most INI_LINE_MAX characters including its line end.
inline constexpr int INI_LINE_MAX = 1023;
inline constexpr unsigned char INI_BOM[3] = {0xEF, 0xBB, 0xBF};

// Parses an open stream; name is used in messages. Null on a syntax error, an over-long line
// or a read error. A byte-order mark at the very start is skipped.
std::unique_ptr<dictionary> iniparser_load(FILE *in, const char *name);

// How a value must be written to read back unchanged: 0 as it is, '"' or '\'' in those quotes
// (it holds ";" or "#", or begins with a quote), -1 when it cannot be written at all.
int ini_value_quote(std::string_view value);

// Writes the INI text (without byte-order mark); 0, or -1 when a write failed.
[[nodiscard]] int iniparser_write(const dictionary &dict, FILE *out);
