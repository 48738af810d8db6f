// Text on a channel: line and NUL-terminated string reads one byte at a time (so that nothing past
// the terminator is consumed), and formatted writes bounded to 4096 bytes.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net.h"

namespace {

constexpr int kPrintfSize = 4096;

// Reads up to a terminator into buf. The length; an empty line gives 1 so that it stays apart from
// "no data" (0); -1 on failure or when the text does not fit size - 1 characters.
int read_until(net_sock *chan, char *buf, int size, bool stop_at_lf) {
  if (!buf || size < 1) return -1;
  buf[0] = '\0';
  int len = 0;
  bool any = false;
  for (;;) {
    char c = 0;
    const int r = net_read(chan, &c, 1);
    if (r < 0) return -1;
    if (r == 0) break;
    any = true;
    if (c == '\0' || (stop_at_lf && c == '\n')) {
      buf[len] = '\0';
      return len > 0 ? len : 1;
    }
    if (c == '\r') continue;
    if (len >= size - 1) return -1;
    buf[len++] = c;
  }
  buf[len] = '\0';
  return any && len == 0 ? 1 : len;
}

}  // namespace

int net_read_line(net_sock *chan, char *buf, int size) { return read_until(chan, buf, size, true); }

int net_read_str(net_sock *chan, char *buf, int size) { return read_until(chan, buf, size, false); }

int net_printf(net_sock *chan, const char *fmt, ...) {
  char text[kPrintfSize];
  va_list ap;
  va_start(ap, fmt);
  const int len = vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  if (len < 0) return -1;
  return net_write(chan, text, len < kPrintfSize ? len : kPrintfSize - 1);
}
