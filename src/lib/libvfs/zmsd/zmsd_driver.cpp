// The remote service driver record: zmp:// and zmps:// URLs, in any letter case, go to a zmsd
// daemon. The client library's process-wide state (the TLS configuration) lives from init to exit.
#include "zmsd_driver.h"

#include "pal_url.h"
#include "zmsd_ctx.h"

namespace {

int zmsd_init() {
  zmsd_cli_init();
  return 0;
}

int zmsd_exit() {
  zmsd_cli_uninit();
  return 0;
}

int zmsd_probe(const char *url) {
  return url && (str_has_prefix_nocase(url, "zmp://") || str_has_prefix_nocase(url, "zmps://"))
             ? 0
             : -1;
}

int zmsd_get_readonly(void *ctx, uint32_t *out) {
  *out = static_cast<ZmsdMount *>(ctx)->readonly;
  return 0;
}

}  // namespace

const VfsDriver vfs_zmsd_driver = {
    .id = VFS_DRV_ZMSD,
    .name = "zmsd",
    .init = zmsd_init,
    .exit = zmsd_exit,
    .probe = zmsd_probe,
    .mount = zmsd_drv_mount,
    .umount = zmsd_drv_umount,
    .statfs = zmsd_drv_statfs,
    .get_readonly = zmsd_get_readonly,
    .open = zmsd_drv_open,
    .wopen = zmsd_drv_wopen,
    .open2 = zmsd_drv_open2,
    .close = zmsd_drv_close,
    .read = zmsd_drv_read,
    .write = zmsd_drv_write,
    .fsync = zmsd_drv_fsync,
    .flush = nullptr,
    .lseek = zmsd_drv_lseek,
    .fstat = zmsd_drv_fstat,
    .ftruncate = zmsd_drv_ftruncate,
    .futime = zmsd_drv_futime,
    .flock = zmsd_drv_flock,
    .opendir = zmsd_drv_opendir,
    .readdir = zmsd_drv_readdir,
    .seekdir = zmsd_drv_seekdir,
    .telldir = zmsd_drv_telldir,
    .closedir = zmsd_drv_closedir,
    .ioctl = zmsd_drv_ioctl,
};
