// FTP driver: the driver record, the probe, and mounting an ftp:// URL: credentials (anonymous
// when the URL names none), the first login, and the server directory that is the mount root.
#include "ftp_driver.h"

#include <cstring>
#include <vector>

#include "ftp_ops.h"
#include "pal_log.h"
#include "pal_url.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr char kAnonymousUser[] = "anonymous";
constexpr char kAnonymousPassword[] = "zmue@localhost";

int ftp_init() { return 0; }
int ftp_exit() { return 0; }

int ftp_umount(void *ctx) {
  delete static_cast<FtpMount *>(ctx);
  return 0;
}

int ftp_get_readonly(void * /*ctx*/, uint32_t *out) {
  *out = 0;
  return 0;
}

std::string decoded(const char *text) {
  std::vector<char> out(strlen(text) + 1, '\0');
  if (str_unescape_url_args(text, out.data(), out.size()) < 0) return text;
  return out.data();
}

// The server directory that the URL's path names ("/" when the URL has none).
bool find_root(FtpMount *ctx, const char *url_path) {
  std::string root = decoded(url_path);
  if (root.find_first_of("\r\n") != std::string::npos) {
    FTP_FAIL(ctx, VERR_INVALID_PARAMETER, "mount path holds a line break");
    return false;
  }
  while (!root.empty() && root.back() == '/') root.pop_back();
  ctx->root = root;
  return true;
}

}  // namespace

int ftp_probe(const char *url) { return str_has_prefix(url, "ftp://") ? 0 : -1; }

void *ftp_mount(const char *url, void * /*arg*/, verr_info *err, VfsMount *mount) {
  ZLOG(LOG2_DBG, "==>\n");
  std::vector<char> storage(URL_TEXT_SIZE, '\0');
  UrlRecord rec{};
  if (url_parser(&rec, storage.data(), url) != 0 || rec.host[0] == '\0') {
    VERR_SET(err, VERR_INVALID_PARAMETER, "no host in the URL");
    return nullptr;
  }
  auto ctx = std::make_unique<FtpMount>();
  ctx->err = err;
  ctx->mount = mount;
  ctx->host = rec.host;
  ctx->port = rec.port != 0 ? rec.port : FTP_DEF_PORT;
  ctx->user = rec.user[0] != '\0' ? decoded(rec.user) : kAnonymousUser;
  ctx->password = rec.passwd[0] != '\0' ? decoded(rec.passwd) : kAnonymousPassword;
  ctx->trace = url_get_query_int(url, "trace", 0) != 0;
  std::unique_ptr<FtpConn> conn = ftp_login(ctx.get());
  if (conn == nullptr) return nullptr;
  FtpLease(ctx.get(), std::move(conn)).release();
  const bool rooted = find_root(ctx.get(), rec.path);
  std::fill(storage.begin(), storage.end(), '\0');  // the password was parsed into it
  if (!rooted) return nullptr;
  ZLOG(LOG2_DBG, "%s:%d user=%s root=[%s] mlst=%d\n", ctx->host.c_str(), ctx->port,
       ctx->user.c_str(), ctx->root.c_str(), ctx->has_mlst ? 1 : 0);
  return ctx.release();
}

const VfsDriver vfs_ftp_driver = {
    .id = VFS_DRV_FTP,
    .name = "ftp",
    .init = ftp_init,
    .exit = ftp_exit,
    .probe = ftp_probe,
    .mount = ftp_mount,
    .umount = ftp_umount,
    .statfs = ftp_statfs,
    .get_readonly = ftp_get_readonly,
    .open = ftp_open,
    .wopen = nullptr,
    .open2 = ftp_open2,
    .close = ftp_close,
    .read = ftp_read,
    .write = ftp_write,
    .fsync = ftp_fsync,
    .flush = ftp_flush,
    .lseek = ftp_lseek,
    .fstat = ftp_fstat,
    .ftruncate = nullptr,
    .futime = nullptr,
    .flock = nullptr,
    .opendir = ftp_opendir,
    .readdir = ftp_readdir,
    .seekdir = ftp_seekdir,
    .telldir = ftp_telldir,
    .closedir = ftp_closedir,
    .ioctl = ftp_ioctl,
};
