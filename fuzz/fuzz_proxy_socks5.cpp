// Fuzz target: what a proxy answers during the handshake: the SOCKS5 method choice, user/password
// status and connect reply with its bound address; a target name is sent, never resolved.
#include "fuzz_common.h"
#include "fuzz_proxy.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::proxy_handshake(data, size, PROXY_SOCKS5, proxy_sock5_init, "127.0.0.1", "files.example");
  return 0;
}
