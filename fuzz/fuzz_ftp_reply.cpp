// Fuzz target: FTP control replies (single and multi-line) as the server sends them, then what
// the driver takes from a reply text: the passive address and the status code of a refusal.
#include <string>

#include "ftp/ftp_ctx.h"
#include "fuzz_common.h"
#include "fuzz_feed.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Feed feed(data, size);
  FtpConn conn;
  conn.chan.handle = feed.chan.handle;
  conn.chan.timeout = feed.chan.timeout;
  for (int i = 0; i < 64; ++i) {
    std::string text;
    const int code = ftp_reply(&conn, &text);
    if (code <= 0) break;
    std::string host;
    int port = 0;
    if (ftp_parse_pasv(text.c_str(), &host, &port) && (port <= 0 || port > 65535)) abort();
    (void)ftp_reply_verr(code, text);
  }
  conn.chan.handle = 0;  // the feed closes its own descriptor
  return 0;
}
