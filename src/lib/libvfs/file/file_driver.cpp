// Local directory driver: the driver record, mounting a local directory named by a bare path or
// a file: URL, and the mount-level queries. It claims every URL, so it is probed last.
#include "file_driver.h"

#include <vector>

#include "file_ctx.h"
#include "file_ops.h"
#include "pal_log.h"
#include "pal_url.h"

static const char kLogTag[] = "vfs";

namespace {

int file_init() { return 0; }
int file_exit() { return 0; }
int file_probe(const char * /*url*/) { return 0; }

int file_umount(void *ctx) {
  delete static_cast<FileMount *>(ctx);
  return 0;
}

int file_get_readonly(void * /*ctx*/, uint32_t *out) {
  *out = 0;
  return 0;
}

}  // namespace

void *vfs_file_mount(const char *url, void * /*arg*/, verr_info *err, VfsMount *mount) {
  std::vector<char> path(URL_PART_SIZE, '\0');
  if (url_get_path(url, path.data()) != 0 || path[0] == '\0') {
    VERR_SET(err, VERR_INVALID_PARAMETER, nullptr);
    return nullptr;
  }
  auto *ctx = new FileMount;
  ctx->err = err;
  ctx->mount = mount;
  ctx->read_timeout = static_cast<uint32_t>(url_get_query_int(url, "read_timeout", 15)) * 1000;
  ctx->write_timeout = static_cast<uint32_t>(url_get_query_int(url, "write_timeout", 8)) * 1000;
  ctx->root_dir = path.data();
  file_normalize_root(ctx->root_dir);
  ZLOG(LOG2_DBG, "root_dir=[%s]\n", ctx->root_dir.c_str());
  return ctx;
}

int vfs_file_statfs(void *ctx, VfsVolInfo *info) {
  auto *mount = static_cast<FileMount *>(ctx);
  return file_volinfo(mount, mount->root_dir.c_str(), info);
}

const VfsDriver vfs_file_driver = {
    .id = VFS_DRV_FILE,
    .name = "file",
    .init = file_init,
    .exit = file_exit,
    .probe = file_probe,
    .mount = vfs_file_mount,
    .umount = file_umount,
    .statfs = vfs_file_statfs,
    .get_readonly = file_get_readonly,
    .open = vfs_file_open,
    .wopen = vfs_file_wopen,
    .open2 = vfs_file_open2,
    .close = vfs_file_close,
    .read = vfs_file_read,
    .write = vfs_file_write,
    .fsync = vfs_file_fsync,
    .flush = nullptr,
    .lseek = vfs_file_lseek,
    .fstat = vfs_file_fstat,
    .ftruncate = vfs_file_ftruncate,
    .futime = vfs_file_futime,
    .flock = vfs_file_flock,
    .opendir = vfs_file_opendir,
    .readdir = vfs_file_readdir,
    .seekdir = vfs_file_seekdir,
    .telldir = vfs_file_telldir,
    .closedir = vfs_file_closedir,
    .ioctl = vfs_file_ioctl,
};
