// Fuzz target: what a proxy answers during the handshake: the SOCKS4 connect reply; the
// target is numeric (255.255.255.255 asks for SOCKS4a), so nothing is resolved.
#include "fuzz_common.h"
#include "fuzz_proxy.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::proxy_handshake(data, size, PROXY_SOCKS4, proxy_sock4_init, "127.0.0.1", "255.255.255.255");
  return 0;
}
