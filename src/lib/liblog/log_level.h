// Per-level presentation used by the sinks: console colour and syslog priority.
// Levels outside 2..8 have neither.
#pragma once

// Colour escape sequence, or null for a level shown plain (info) or unknown.
const char *log_level_colour(int level);
// Syslog priority value within its facility (crit 2 .. debug 7), -1 for an unknown level.
int log_level_syslog_priority(int level);
