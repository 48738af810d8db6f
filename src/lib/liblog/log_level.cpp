// The table of levels: names for configuration and the shell, labels for the log file,
// syslog priorities and console colours. Everything that turns a level into text reads it here.
#include <cstdio>
#include <cstring>

#include "log2.h"
#include "log_level.h"

namespace {

struct level_row {
  int number;
  const char *name;
  const char *label;
  int syslog_priority;  // crit 2, error 3, warn 4, notice 5, info 6, debug 7
  const char *colour;
};

// Ordered from the most verbose, the order of the shell's value list.
constexpr level_row kLevels[] = {
    {LOG2_VERB, "verb", "VERB", 7, "\033[32m"},
    {LOG2_DBG, "dbg", "DEBUG", 7, "\033[36m"},
    {LOG2_INFO, "info", "INFO", 6, nullptr},
    {LOG2_NOTI, "noti", "NOTI", 5, "\033[07;37m"},
    {LOG2_WARN, "warn", "WARN", 4, "\033[01;33m"},
    {LOG2_ERR, "err", "ERROR", 3, "\033[01;31m"},
    {LOG2_CRIT, "crit", "CRIT", 2, "\033[01;07;31m"},
};

const level_row *find_level(int level) {
  for (const level_row &row : kLevels)
    if (row.number == level) return &row;
  return nullptr;
}

const char *unknown_level_text(int level) {
  thread_local char text[32];
  snprintf(text, sizeof text, "unkown(%d)", level);
  return text;
}

}  // namespace

int log2_level_from_name(const char *name) {
  if (name)
    for (const level_row &row : kLevels)
      if (strcmp(row.name, name) == 0) return row.number;
  fprintf(stderr, "error: invalid level [%s]\n", name ? name : "");
  return -1;
}

const char *log2_level_name(int level) {
  const level_row *row = find_level(level);
  return row ? row->name : unknown_level_text(level);
}

const char *log2_level_label(int level) {
  const level_row *row = find_level(level);
  return row ? row->label : unknown_level_text(level);
}

char *log2_level_list(char *out, size_t size) {
  snprintf(out, size, "log.verb=%d\nlog.dbg=%d\nlog.info=%d\nlog.noti=%d\nlog.warn=%d\nlog.err=%d\nlog.crit=%d",
           LOG2_VERB, LOG2_DBG, LOG2_INFO, LOG2_NOTI, LOG2_WARN, LOG2_ERR, LOG2_CRIT);
  return out;
}

const char *log_level_colour(int level) {
  const level_row *row = find_level(level);
  return row ? row->colour : nullptr;
}

int log_level_syslog_priority(int level) {
  const level_row *row = find_level(level);
  return row ? row->syslog_priority : -1;
}
