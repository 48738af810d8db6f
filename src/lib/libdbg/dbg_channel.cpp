// Reading lines from a shell channel's descriptor through a small read-ahead buffer, and
// writing all of a reply. Runs in the loop's thread only.
#include "dbg_channel.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pal_log.h"

static const char kLogTag[] = "dbg";

namespace {

// Moves the first n buffered bytes out of the buffer.
void consume(dbg_channel *ch, size_t n) {
  memmove(ch->buf, ch->buf + n, ch->buffered - n);
  ch->buffered -= n;
}

// 1 more bytes buffered, 0 interrupted, -1 end of input or error.
int fill(dbg_channel *ch) {
  ssize_t n = read(ch->fd_in, ch->buf + ch->buffered, sizeof(ch->buf) - ch->buffered);
  if (n > 0) {
    ch->buffered += static_cast<size_t>(n);
    return 1;
  }
  if (n < 0 && errno == EINTR) return 0;
  return -1;
}

// Drops input up to and including the next line feed (the tail of an overlong line).
void skip_rest_of_line(dbg_channel *ch) {
  for (;;) {
    void *lf = memchr(ch->buf, '\n', ch->buffered);
    if (lf != nullptr) {
      consume(ch, static_cast<size_t>(static_cast<char *>(lf) - ch->buf) + 1);
      return;
    }
    ch->buffered = 0;
    if (fill(ch) < 0) return;
  }
}

}  // namespace

int dbg_channel_read_line(dbg_channel *ch, char *out, size_t size) {
  size_t max = std::min(size, sizeof(ch->buf)) - 1;
  for (;;) {
    void *lf = memchr(ch->buf, '\n', ch->buffered);
    size_t len = lf ? static_cast<size_t>(static_cast<char *>(lf) - ch->buf) + 1 : 0;
    bool overlong = (len == 0 || len > max) && ch->buffered >= max;
    if (len > 0 && len <= max) {
      memcpy(out, ch->buf, len);
      out[len] = '\0';
      consume(ch, len);
      return static_cast<int>(len);
    }
    if (overlong) {
      memcpy(out, ch->buf, max);
      out[max] = '\0';
      consume(ch, max);
      skip_rest_of_line(ch);
      return static_cast<int>(max);
    }
    int got = fill(ch);
    if (got == 0) return 0;
    if (got < 0) {
      // A last line without its line feed still counts; the end comes with the next read.
      if (ch->buffered == 0) return -1;
      len = ch->buffered;
      memcpy(out, ch->buf, len);
      out[len] = '\0';
      ch->buffered = 0;
      return static_cast<int>(len);
    }
  }
}

int dbg_channel_write(dbg_channel *ch, const char *data, size_t len) {
  size_t done = 0;
  while (done < len) {
    ssize_t n = write(ch->fd_out, data + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  return static_cast<int>(len);
}

void dbg_channel_close(dbg_channel *ch) {
  if (ch->type == DBG_CHANNEL_STDIO || ch->fd_in < 0) return;
  if (close(ch->fd_in) != 0) ZLOG(LOG2_DBG | LOG2_ERRNO, "close fd=%d error: ", ch->fd_in);
  ch->fd_in = ch->fd_out = -1;
}
