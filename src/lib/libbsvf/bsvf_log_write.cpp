// The log call's record hook: one type-1 record per call, sent to the collector when the call
// asks for it. Records of the record paths themselves (tags "bsv" and "net") are not built, so
// a failing collector or capture file cannot feed on its own reports.
#include <cstring>

#include "bsvf.h"
#include "pal_log.h"

namespace {

bool own_tag(const char *tag) { return tag && (strcmp(tag, "bsv") == 0 || strcmp(tag, "net") == 0); }

}  // namespace

size_t bsv_log_write(uint32_t level_arg, const char *tag, const char *file, int line,
                     const char *func, const char *msg, bsv_log_record *out) {
  if (own_tag(tag) || !out) return 0;
  bsv_log_record_build(out, level_arg, tag, file, line, func, msg);
  if (level_arg & (LOG2_NET | LOG2_RECORD_ONLY)) {
    // A long message would not fit one datagram: the collector gets it cut, not dropped.
    bsv_log_record sendable = *out;
    bsv_log_record_cut(&sendable, bsvf_dgram_room());
    bsvf_net_send(sendable.data, sendable.len, BSV_LOG_TYPE);
  }
  return out->len;
}
