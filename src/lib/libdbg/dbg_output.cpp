// The output path of every shell reply: line feeds become "\r\n" for terminals and network
// clients, trailing blanks of an unfinished line go, and each reply ends with one NUL byte.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "dbg_output.h"
#include "debug_shell.h"
#include "pal_log.h"

static const char kLogTag[] = "dbg";

int dbgout_write_imp(void *channel, const char *text) {
  std::string out;
  try {
    for (std::string_view rest = text ? text : ""; !rest.empty(); rest.remove_prefix(1)) {
      if (rest[0] == '\n') out.push_back('\r');
      out.push_back(rest[0]);
    }
  } catch (const std::bad_alloc &) {
    ZLOG(LOG2_DBG, "str_relace return failed\n");
    return -1;
  }
  size_t end = out.find_last_not_of(" \t\v\f");
  out.resize(end == std::string::npos ? 0 : end + 1);
  if (out.empty()) return 0;
  return net_write(static_cast<net_sock *>(channel), out.data(), static_cast<int>(out.size()));
}

int dbgout_print(void *channel, const char *fmt, ...) {
  char text[SH_PRINT_SIZE];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  return dbgout_write_imp(channel, text);
}

int dbgout_end_reply(void *channel) {
  static const char kEnd[1] = {'\0'};
  return net_write(static_cast<net_sock *>(channel), kEnd, 1);
}
