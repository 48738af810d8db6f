// Tag words ("time|tid|func") to the tag mask that chooses a line's prefix. Colours are on
// unless "no_colour" is given; an unknown word is reported on standard error and skipped.
#include <cstdio>
#include <cstring>
#include <string>

#include "log2.h"
#include "log_trace.h"

namespace {

void apply_word(const std::string &word, uint32_t &mask) {
  if (word == "no_colour") {
    mask &= ~LOG2_TAG_COLOUR;
  } else if (word == "time") {
    mask |= LOG2_TAG_TIME;
  } else if (word == "time_ms") {
    mask = (mask & ~LOG2_TAG_TIME) | LOG2_TAG_TIME_MS;
  } else if (word == "tid") {
    mask |= LOG2_TAG_TID;
  } else if (word == "tid_name") {
    mask |= LOG2_TAG_TID_NAME;
  } else if (word == "file") {
    mask |= LOG2_TAG_FILE;
  } else if (word == "func") {
    mask |= LOG2_TAG_FUNC;
  } else if (!word.empty()) {
    fprintf(stderr, "Invalid tags: [%s]\n", word.c_str());
  }
}

}  // namespace

uint32_t log2_flags_from_text(const char *text) {
  uint32_t mask = LOG2_TAG_COLOUR;
  const char *begin = text ? text : "";
  for (;;) {
    const char *bar = strchr(begin, '|');
    apply_word(bar ? std::string(begin, bar) : std::string(begin), mask);
    if (!bar) break;
    begin = bar + 1;
  }
  log_trace("log_flags_2_int=%s 0x%x\n", text ? text : "", mask);
  return mask;
}
