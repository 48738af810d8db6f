// Fuzz target: a received BINARY payload decompressed into a fixed room, with each compressor;
// whatever the peer sent, nothing may be written beyond the room. Then a round trip of the input.
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "pack_ex.h"

namespace {

struct Ctx {
  sdcomp_ctx ctx{};
  explicit Ctx(const char *name) {
    snprintf(ctx.name, sizeof ctx.name, "%s", name);
    if (sdcomp_init(&ctx) != 0) abort();
  }
  ~Ctx() { sdcomp_free(&ctx); }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_logs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  static Ctx none("none");
  static Ctx lz4("lz4");
  sdcomp_ctx *ctx = (data[0] & 1) ? &lz4.ctx : &none.ctx;
  // The room: 0 to 65535 bytes, an exact-size heap block so that one byte beyond it shows.
  const int room = data[1] | data[2] << 8;
  const uint8_t *src = data + 3;
  const int len = int(size - 3);
  std::vector<uint8_t> out(static_cast<size_t>(room));
  const int n = sdcomp_unpack(ctx, src, len, out.data(), room);
  if (n > room) abort();

  std::vector<uint8_t> packed(size_t(sdcomp_bound(len)));
  const int p = sdcomp_pack(ctx, src, len, packed.data(), int(packed.size()));
  if (p < 0 && len > 0) abort();
  if (p >= 0) {
    std::vector<uint8_t> back(static_cast<size_t>(len));
    const int m = sdcomp_unpack(ctx, packed.data(), p, back.data(), len);
    if (m != len || (len > 0 && memcmp(back.data(), src, size_t(len)) != 0)) abort();
  }
  return 0;
}
