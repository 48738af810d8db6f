// Fuzz target: the shell's command-line split: ";" pieces outside quotes, the words of each piece
// with quotes removed, and the first word with the rest. Pieces and words must come from the line.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_common.h"
#include "sh_text.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string line(reinterpret_cast<const char *>(data), size);
  std::vector<std::string> pieces;
  if (!sh_text::split_pieces(line, pieces)) return 0;
  size_t total = 0;
  for (const std::string &piece : pieces) {
    total += piece.size();
    const std::string_view trimmed = sh_text::trim(piece);
    size_t letters = 0;
    for (const std::string &word : sh_text::split_words(trimmed)) letters += word.size();
    if (letters > trimmed.size()) abort();
    const sh_text::first_word first = sh_text::split_first_word(trimmed);
    if (first.word.size() + first.rest.size() > trimmed.size()) abort();
  }
  if (total > line.size()) abort();
  return 0;
}
