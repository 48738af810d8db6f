// FTP control protocol: one command line out, one reply (single or multi-line) back, on a
// logged-in control connection. A connection whose send or reply read failed is marked lost.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ftp_ctx.h"
#include "pal_env.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

// The reply code at the start of a line, -1 when it does not start with three digits.
int line_code(const char *line) {
  for (int i = 0; i < 3; ++i)
    if (!isdigit(static_cast<unsigned char>(line[i]))) return -1;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// One line of the reply into buf: the net_read_line result (> 0 for a line).
int read_line(FtpConn *conn, char *buf, std::string *reply_text) {
  const int r = net_read_line(&conn->chan, buf, FTP_LINE_SIZE);
  if (r <= 0) return r;
  if (conn->trace) ZLOG(LOG2_INFO, "R: %s\n", buf);
  if (reply_text != nullptr) reply_text->append(buf).append("\n");
  return r;
}

}  // namespace

int ftp_reply(FtpConn *conn, std::string *reply_text) {
  char line[FTP_LINE_SIZE];
  int r = read_line(conn, line, reply_text);
  if (r <= 0) {
    conn->lost = true;
    return r;
  }
  const int code = line_code(line);
  if (code < 0) {
    ZLOG(LOG2_ERR, "reply [%s] has no code\n", line);
    conn->lost = true;
    return -1;
  }
  if (line[3] == '-') {
    // Lines in between may start with anything, even with other digits and a blank.
    for (;;) {
      r = read_line(conn, line, reply_text);
      if (r <= 0) {
        conn->lost = true;
        return r;
      }
      if (line_code(line) == code && line[3] != '-') break;
    }
  }
  if (conn->active_ms != nullptr) conn->active_ms->store(os_get_ms(), std::memory_order_relaxed);
  return code;
}

int ftp_cmd(FtpConn *conn, std::string *reply_text, const char *fmt, ...) {
  if (fmt != nullptr) {
    char text[FTP_CMD_MAX + 3];
    va_list ap;
    va_start(ap, fmt);
    const int len = vsnprintf(text, FTP_CMD_MAX + 1, fmt, ap);
    va_end(ap);
    if (len < 0 || len > FTP_CMD_MAX || strpbrk(text, "\r\n") != nullptr) {
      ZLOG(LOG2_ERR, "command of %d characters refused\n", len);
      return -1;
    }
    if (conn->trace) ZLOG(LOG2_INFO, "S: %s\n", strncmp(text, "PASS ", 5) == 0 ? "PASS ***" : text);
    memcpy(text + len, "\r\n", 2);
    if (net_write(&conn->chan, text, len + 2) != len + 2) {
      ZLOG(LOG2_DBG, "send [%.4s] failed\n", text);
      conn->lost = true;
      return -1;
    }
  }
  return ftp_reply(conn, reply_text);
}
