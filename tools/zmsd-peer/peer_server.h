// What every connection thread shares: the options, the served directory, the contexts, the
// request log and the process-wide request counter that fault injection keys on.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "context_registry.h"
#include "peer_options.h"
#include "served_root.h"
#include "tls_server.h"

namespace peer {

class RequestLog {
 public:
  // "-" writes to standard error, an empty name disables the log; false when the file fails.
  [[nodiscard]] bool open(const std::string &target);
  ~RequestLog();
  bool enabled() const { return out_ != nullptr; }
  void line(const std::string &text);

 private:
  std::mutex mu_;  // one line at a time from all connection threads
  FILE *out_ = nullptr;
  bool owned_ = false;
};

struct PeerServer {
  explicit PeerServer(const PeerOptions &o) : options(o), contexts(o.context_keep_s) {}
  const PeerOptions &options;
  ServedRoot root;
  ContextRegistry contexts;
  RequestLog log;
  std::unique_ptr<TlsServer> tls;
  std::atomic<uint64_t> requests{0};  // requests received since start, all connections
  std::atomic<uint64_t> replies{0};   // replies sent since start; hostile mode keys on them
};

// Listens on 127.0.0.1, announces the port and serves until the process is stopped. Returns
// only on a failure to listen (a process exit status).
int run_listener(PeerServer &server);

}  // namespace peer
