// The verbose request log: one line per received request, flushed at once so that tests can
// read it while the peer runs.
#include "peer_server.h"

namespace peer {

bool RequestLog::open(const std::string &target) {
  if (target.empty()) return true;
  if (target == "-") {
    out_ = stderr;
    return true;
  }
  out_ = fopen(target.c_str(), "a");
  owned_ = out_ != nullptr;
  return out_ != nullptr;
}

RequestLog::~RequestLog() {
  if (owned_) (void)fclose(out_);  // lines were flushed one by one; nothing is pending
}

void RequestLog::line(const std::string &text) {
  if (!out_) return;
  std::lock_guard<std::mutex> hold(mu_);
  fputs(text.c_str(), out_);
  fputc('\n', out_);
  fflush(out_);
}

}  // namespace peer
