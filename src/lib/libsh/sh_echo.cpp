// `echo`: words joined by one blank and a final line feed. Option words ("-n", "-e", "-E",
// "-h" and groups of those letters) come first; with "-e" backslash escapes are decoded and
// "\c" drops the final line feed without cutting the rest of the output.
#include <cstring>
#include <string>

#include "sh_builtins.h"

namespace {

bool is_option_word(const char *word) {
  if (word[0] != '-' || word[1] == '\0') return false;
  return strspn(word + 1, "neEh") == strlen(word + 1);
}

int digit_value(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// Up to max_digits digits of base from text; the count read goes to *used.
int read_number(const char *text, int base, int max_digits, int *used) {
  int value = 0;
  int n = 0;
  for (; n < max_digits && text[n] != '\0'; ++n) {
    int d = digit_value(text[n], base);
    if (d < 0) break;
    value = value * base + d;
  }
  *used = n;
  return value;
}

char simple_escape(char c) {
  switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 'e': return '\033';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case '\\': return '\\';
    default: return 0;
  }
}

// Appends word with escapes decoded; clears *newline for "\c". A NUL cannot travel in the
// shell's texts, so an escape that decodes to 0 is dropped.
void append_escaped(std::string &out, const char *word, bool *newline) {
  for (const char *p = word; *p != '\0'; ++p) {
    if (*p != '\\' || p[1] == '\0') {
      out.push_back(*p);
      continue;
    }
    char c = *++p;
    int used = 0;
    int value = -1;
    if (c == 'c') {
      *newline = false;
      continue;
    }
    if (c == 'x') {
      value = read_number(p + 1, 16, 2, &used);
      if (used == 0) {
        out += "\\x";
        continue;
      }
    } else if (c >= '0' && c <= '7') {
      value = read_number(p, 8, 3, &used);
      --used;  // the first digit is the escape letter itself
    } else if (char s = simple_escape(c)) {
      out.push_back(s);
      continue;
    } else {
      out.push_back('\\');
      out.push_back(c);
      continue;
    }
    p += used;
    if ((value & 0xff) != 0) out.push_back(static_cast<char>(value & 0xff));
  }
}

}  // namespace

int cmd_echo(sh_ctx *ctx, int argc, char **argv) {
  bool newline = true;
  bool escapes = false;
  int i = 1;
  for (; i < argc && is_option_word(argv[i]); ++i) {
    for (const char *letter = argv[i] + 1; *letter != '\0'; ++letter) {
      if (*letter == 'n') newline = false;
      if (*letter == 'e') escapes = true;
      if (*letter == 'E') escapes = false;
      if (*letter == 'h') {
        ctx->print(ctx->channel, "echo [opt] [string|var]...\n%s\n\t-h Display this help\n",
                   libsh_cmd_help(argv[0]));
        return SH_RES_USAGE;
      }
    }
  }
  std::string out;
  for (int first = i; i < argc; ++i) {
    if (i > first) out.push_back(' ');
    if (escapes) {
      append_escaped(out, argv[i], &newline);
    } else {
      out += argv[i];
    }
  }
  if (newline) out.push_back('\n');
  ctx->write(ctx->channel, out.c_str());
  return 0;
}
