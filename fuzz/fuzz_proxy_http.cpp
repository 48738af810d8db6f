// Fuzz target: what a proxy answers during the handshake: the HTTP CONNECT status line and header block; the target
// may be a name, which the request carries as it is.
#include "fuzz_common.h"
#include "fuzz_proxy.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::proxy_handshake(data, size, PROXY_HTTP, proxy_http_init, "127.0.0.1", "files.example");
  return 0;
}
