// zmsd-peer: a small reference daemon that answers the zmp protocol over a real directory, on
// 127.0.0.1 only. It is the target of the tests, the demo and the benchmarks; it shares no
// protocol code with the client library. Runs until it is killed.
#include <malloc.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostile_send.h"
#include "pal_log.h"
#include "peer_server.h"

static const char kLogTag[] = "peer";

namespace {

// Every bulk request builds buffers of a few MiB (the file's bytes, their LZ4 form, the reply
// frame) and frees them with the reply. By default glibc returns such memory to the kernel at
// once (a mapping of its own above 128 KiB, or a heap trim), and the next request faults every
// page in again: on a virtual machine that cost more than LZ4 itself and halved the throughput.
// Freed memory is kept for the next request instead. Where a threshold is out of range (32-bit
// builds cap the mapping threshold) glibc keeps its default, which is slower but sound.
void keep_freed_memory() {
  constexpr int kLargestBuffer = 32 << 20;
  (void)mallopt(M_MMAP_THRESHOLD, kLargestBuffer);
  (void)mallopt(M_TRIM_THRESHOLD, 2 * kLargestBuffer);
}

}  // namespace

int main(int argc, char **argv) {
  peer::PeerOptions options;
  const int parsed = peer::parse_options(argc, argv, options);
  if (parsed == 1) return 0;
  if (parsed != 0) return 2;
  signal(SIGPIPE, SIG_IGN);
  keep_freed_memory();
  peer::install_stall_signal();
  peer::PeerServer server(options);
  if (!server.root.open(options.dir)) {
    ZLOG(LOG2_ERR, "cannot open %s: %s\n", options.dir.c_str(), strerror(errno));
    return 1;
  }
  if (!server.log.open(options.request_log)) {
    ZLOG(LOG2_ERR, "cannot open request log %s: %s\n", options.request_log.c_str(), strerror(errno));
    return 1;
  }
  if (!options.tls_cert.empty()) {
    std::string error;
    server.tls = peer::TlsServer::create(options.tls_cert, options.tls_key, error);
    if (!server.tls) {
      ZLOG(LOG2_ERR, "tls: %s\n", error.c_str());
      return 1;
    }
  }
  return peer::run_listener(server);
}
