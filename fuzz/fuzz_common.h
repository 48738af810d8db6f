// Shared by every fuzz target: a log sink that stays silent but turns a critical line or a failed
// assertion into a crash (both mean the input reached a state the code does not expect).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pal_log.h"

namespace fuzz {

inline int quiet_sink(uint32_t level, const char *, const char *, int, const char *, const char *fmt,
                      va_list) {
  if ((level & 0xff) == 2 && !(level & LOG2_NOEXIT)) abort();
  if (strstr(fmt, "assert failed") != nullptr) abort();
  return 0;
}

inline void quiet_logs() { pal_log_set_sink(quiet_sink); }

}  // namespace fuzz
