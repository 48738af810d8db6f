// File slots of the remote driver. Opens reconnect and try once more when the link was lost
// with nothing open; calls on an open file fail at once on a broken mount, since the server file
// they name belonged to the lost session. close always releases the handle.
#include <new>
#include <string>

#include "pal_log.h"
#include "zmsd_ctx.h"

static const char kLogTag[] = "vfs";

namespace {

ZmsdFile *file_of(void *fh) {
  auto *f = static_cast<ZmsdFile *>(fh);
  return f && f->tag == ZMSD_TAG_FILE ? f : nullptr;
}

// One open through the call pattern, with the reconnect; open is the client call on a session.
template <typename Open>
void *open_with(ZmsdMount *ctx, bool reconnect, Open open) {
  if (zmsd_refuse_broken(ctx)) return nullptr;
  zmsd_file *cf = nullptr;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    cf = open(ctx->cli);
    if (!cf && reconnect && zmsd_check_and_connect(ctx) == 0) cf = open(ctx->cli);
  }
  zmsd_after_call(ctx);
  if (!cf) return nullptr;
  auto *f = new (std::nothrow) ZmsdFile;
  if (!f) {
    std::lock_guard<std::mutex> hold(ctx->lock);
    (void)zmsd_cli_close(cf);
    return nullptr;
  }
  f->cf = cf;
  f->ctx = ctx;
  ++ctx->fcount;
  return f;
}

// A call on an open file through the call pattern; fail is what a broken mount answers.
template <typename R, typename Call>
R file_call(void *fh, R fail, Call call) {
  ZmsdFile *f = file_of(fh);
  if (!f) return fail;
  ZmsdMount *ctx = f->ctx;
  if (zmsd_refuse_broken(ctx)) return fail;
  R r;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    r = call(f->cf);
  }
  zmsd_after_call(ctx);
  return r;
}

}  // namespace

void *zmsd_drv_open(void *p, const char *path, uint32_t flags) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  const std::string rooted = zmsd_rooted(ctx, path, true);
  return open_with(ctx, true, [&](zmsd_session *s) { return zmsd_cli_open(s, rooted.c_str(), flags); });
}

void *zmsd_drv_wopen(void *p, const char *path, uint32_t access, uint32_t share, void *security,
                     uint32_t disposition, uint32_t attributes, void *templ) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  const std::string rooted = zmsd_rooted(ctx, path, true);
  return open_with(ctx, true, [&](zmsd_session *s) {
    return zmsd_cli_wopen(s, rooted.c_str(), access, share, security, disposition, attributes,
                          uint64_t(reinterpret_cast<uintptr_t>(templ)));
  });
}

void *zmsd_drv_open2(void *p, const char *path, uint32_t portable_flags, uint32_t mode) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  const std::string rooted = zmsd_rooted(ctx, path, true);
  return open_with(ctx, false, [&](zmsd_session *s) {
    return zmsd_cli_open2(s, rooted.c_str(), portable_flags, mode);
  });
}

int zmsd_drv_close(void *fh, int, int) {
  ZmsdFile *f = file_of(fh);
  if (!f) return -1;
  ZmsdMount *ctx = f->ctx;
  int r = -1;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    // Also on a broken mount: the client frees its handle whatever the server answers.
    r = zmsd_cli_close(f->cf);
  }
  if (ctx->fcount > 0) --ctx->fcount;
  delete f;
  zmsd_after_call(ctx);
  return r;
}

int zmsd_drv_read(void *fh, void *buf, uint32_t size, int64_t offset) {
  return file_call(fh, -1, [&](zmsd_file *cf) { return zmsd_cli_read(cf, buf, int(size), offset); });
}

int zmsd_drv_write(void *fh, const void *buf, uint32_t size, int64_t offset) {
  return file_call(fh, -1, [&](zmsd_file *cf) { return zmsd_cli_write(cf, buf, int(size), offset); });
}

int zmsd_drv_fsync(void *fh, int) {
  return file_call(fh, -1, [](zmsd_file *cf) { return zmsd_cli_fsync(cf); });
}

int64_t zmsd_drv_lseek(void *fh, int64_t offset, int whence) {
  return file_call(fh, int64_t(-1), [&](zmsd_file *cf) { return zmsd_cli_seek(cf, offset, whence); });
}

int zmsd_drv_fstat(void *fh, VfsFileInfo *info) {
  zmsd_stat st{};
  const int r = file_call(fh, -1, [&](zmsd_file *cf) { return zmsd_cli_fstat(cf, &st); });
  if (r == 0) zmsd_to_vfs_info(st, info);
  return r;
}

int zmsd_drv_ftruncate(void *fh, int64_t length) {
  return file_call(fh, -1, [&](zmsd_file *cf) { return zmsd_cli_ftruncate(cf, length); });
}

int zmsd_drv_futime(void *fh, const VfsTimes *times) {
  const zmsd_ftimes t = zmsd_from_vfs_times(*times);
  return file_call(fh, -1, [&](zmsd_file *cf) { return zmsd_cli_futime(cf, &t); });
}

int zmsd_drv_flock(void *fh, int operation, int64_t start, int64_t length) {
  return file_call(fh, -1, [&](zmsd_file *cf) {
    return zmsd_cli_lock(cf, operation, uint64_t(start), uint64_t(length));
  });
}
