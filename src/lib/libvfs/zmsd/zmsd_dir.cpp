// Directory slots of the remote driver and the record conversions between the client and the
// VFS. opendir reconnects like the opens; seekdir, telldir and closedir still run on a broken
// mount so that handles can be released.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "zmsd_ctx.h"

namespace {

// The driver keeps one entry per directory handle; the client's entry is converted into it.
struct ZmsdDirEntryHolder {
  ZmsdDir dir;
  VfsDirEntry entry{};
};

ZmsdDirEntryHolder *holder_of(void *dh) { return static_cast<ZmsdDirEntryHolder *>(dh); }

}  // namespace

void zmsd_to_vfs_info(const zmsd_stat &st, VfsFileInfo *out) {
  *out = {};
  out->type = st.type;
  out->mode = st.attrib_mode;
  out->uid = st.uid;
  out->gid = st.gid;
  out->size = int64_t(st.len);
  out->atime = {int64_t(st.time_access), st.time_access_ns};
  out->mtime = {int64_t(st.time_write), st.time_write_ns};
  out->ctime = {int64_t(st.time_create), st.time_create_ns};
  out->nlink = st.nlink;
  out->dev = st.dev;
  out->rdev = st.rdev;
  out->ino = st.ino;
  out->blksize = int64_t(st.blksize);
  out->blocks = st.blocks;
}

void zmsd_to_vfs_vol(const zmsd_volinfo &v, VfsVolInfo *out) {
  *out = {};
  out->caps = v.flags;
  out->name_max = v.name_len;
  out->avail_bytes = v.avail_bytes;
  out->free_bytes = v.free_bytes;
  out->total_bytes = v.total_bytes;
  snprintf(out->fs_type, sizeof out->fs_type, "%s", v.fs_name);
  snprintf(out->label, sizeof out->label, "%s", v.vol_name);
}

zmsd_ftimes zmsd_from_vfs_times(const VfsTimes &t) {
  return {uint64_t(t.atime.sec), t.atime.nsec, uint64_t(t.mtime.sec),
          t.mtime.nsec,          uint64_t(t.ctime.sec), t.ctime.nsec};
}

void *zmsd_drv_opendir(void *p, const char *path, const char *pattern) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  if (zmsd_refuse_broken(ctx)) return nullptr;
  const std::string rooted = zmsd_rooted(ctx, path);
  zmsd_dir *cd = nullptr;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    cd = zmsd_cli_opendir(ctx->cli, rooted.c_str(), pattern);
    if (!cd && zmsd_check_and_connect(ctx) == 0) cd = zmsd_cli_opendir(ctx->cli, rooted.c_str(), pattern);
  }
  zmsd_after_call(ctx);
  if (!cd) return nullptr;
  auto *h = new (std::nothrow) ZmsdDirEntryHolder;
  if (!h) {
    std::lock_guard<std::mutex> hold(ctx->lock);
    (void)zmsd_cli_closedir(cd);
    return nullptr;
  }
  h->dir.cd = cd;
  h->dir.ctx = ctx;
  ++ctx->dcount;
  return h;
}

VfsDirEntry *zmsd_drv_readdir(void *dh) {
  ZmsdDirEntryHolder *h = holder_of(dh);
  ZmsdMount *ctx = h->dir.ctx;
  if (zmsd_refuse_broken(ctx)) return nullptr;
  zmsd_dirent *e = nullptr;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    e = zmsd_cli_readdir(h->dir.cd);
  }
  zmsd_after_call(ctx);
  if (!e) return nullptr;
  zmsd_to_vfs_info(e->st, &h->entry.info);
  // Names beyond the VFS's 511 characters are cut, like every other text field.
  const size_t n = strnlen(e->name, sizeof h->entry.name - 1);
  memcpy(h->entry.name, e->name, n);
  h->entry.name[n] = '\0';
  snprintf(h->entry.link, sizeof h->entry.link, "%s", e->text);
  return &h->entry;
}

void zmsd_drv_seekdir(void *dh, int64_t pos) {
  ZmsdDirEntryHolder *h = holder_of(dh);
  ZmsdMount *ctx = h->dir.ctx;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    (void)zmsd_cli_seekdir(h->dir.cd, uint64_t(pos));
  }
  zmsd_after_call(ctx);
}

int64_t zmsd_drv_telldir(void *dh) {
  ZmsdDirEntryHolder *h = holder_of(dh);
  std::lock_guard<std::mutex> hold(h->dir.ctx->lock);
  return zmsd_cli_telldir(h->dir.cd);
}

int zmsd_drv_closedir(void *dh) {
  ZmsdDirEntryHolder *h = holder_of(dh);
  ZmsdMount *ctx = h->dir.ctx;
  int r = -1;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    r = zmsd_cli_closedir(h->dir.cd);
  }
  if (ctx->dcount > 0) --ctx->dcount;
  delete h;
  zmsd_after_call(ctx);
  return r;
}
