// The compressor registry and the session's compression context. The table order is the search
// order; names match exactly (case matters), as the server was told the exact name.
#include "pack_ex.h"

#include <cstring>
#include <new>

#include "pal_log.h"
#include "zcomp_codecs.h"

static const char kLogTag[] = "sdcli";

namespace {

const zcomp_desc *const kCompressors[] = {&zcomp_none_desc, &zcomp_lz4_desc};

zcomp *zcomp_create(const zcomp_desc *desc, void *arg) {
  void *state = desc->create(arg);
  if (!state) {
    ZLOG(LOG2_ERR, "create %s failed\n", desc->name);
    return nullptr;
  }
  zcomp *comp = new (std::nothrow) zcomp{desc, state};
  if (!comp) desc->destroy(state);
  return comp;
}

}  // namespace

zcomp *zcomp_find(const char *name, void *arg) {
  if (!name) return nullptr;
  for (const zcomp_desc *desc : kCompressors)
    if (strcmp(desc->name, name) == 0) return zcomp_create(desc, arg);
  return nullptr;
}

zcomp *zcomp_find_id(uint32_t id, void *arg) {
  for (const zcomp_desc *desc : kCompressors)
    if (desc->id == id) return zcomp_create(desc, arg);
  return nullptr;
}

void zcomp_free(zcomp *comp) {
  if (!comp) return;
  comp->desc->destroy(comp->state);
  delete comp;
}

int sdcomp_init(sdcomp_ctx *ctx) {
  sdcomp_free(ctx);
  ctx->comp = ctx->name[0] ? zcomp_find(ctx->name, nullptr) : zcomp_find_id(ctx->id, nullptr);
  if (!ctx->comp) return -1;
  ctx->id = ctx->comp->desc->id;
  return 0;
}

int sdcomp_pack(sdcomp_ctx *ctx, const void *src, int len, void *dst, int room) {
  if (!ctx->comp) return -1;
  return ctx->comp->desc->compress(ctx->comp->state, src, len, dst, room);
}

int sdcomp_unpack(sdcomp_ctx *ctx, const void *src, int len, void *dst, int room) {
  if (!ctx->comp) return -1;
  return ctx->comp->desc->decompress(ctx->comp->state, src, len, dst, room);
}

void sdcomp_free(sdcomp_ctx *ctx) {
  zcomp_free(ctx->comp);
  ctx->comp = nullptr;
}

int sdcomp_bound(int n) {
  if (n < 0 || n > SDCOMP_INPUT_MAX) return 0;
  return n + n / 255 + 16;
}
