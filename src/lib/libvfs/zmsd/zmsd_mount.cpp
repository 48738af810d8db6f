// Mounting a share: the session, the server information with its version gates, read-only and
// platform, the snapshot root of a Windows volume when the URL asks for "vss", and unmounting.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pal_env.h"
#include "pal_log.h"
#include "pal_os.h"
#include "pal_url.h"
#include "zmsd_ctx.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr size_t kInfoSize = 512;
constexpr size_t kFlagsSize = 4096;
constexpr size_t kVerSize = 64;

// Whether the "flags" query holds the word "vss" (words split by ",", "." or "-").
bool wants_vss(const char *url) {
  std::vector<char> flags(kFlagsSize, '\0');
  url_get_query(url, "flags", "", flags.data(), flags.size());
  bool vss = false;
  for (char *save = nullptr, *word = strtok_r(flags.data(), ",.-", &save); word;
       word = strtok_r(nullptr, ",.-", &save)) {
    if (strcmp(word, "vss") == 0)
      vss = true;
    else if (strcmp(word, "rw") != 0 && strcmp(word, "readonly") != 0 &&
             strcmp(word, "direct") != 0 && strcmp(word, "sync") != 0)
      ZLOG(LOG2_DBG, "flags=[%s] not support\n", word);
  }
  return vss;
}

// A path that names a device or a UNC share has no drive letter to take a snapshot of.
bool device_or_unc(std::string path) {
  for (char &c : path)
    if (c == '/') c = '\\';
  return path == "\\" || path.rfind("\\\\", 0) == 0;
}

// The snapshot root for the volume of path, followed by the rest of the path. false on failure.
bool snapshot_root(zmsd_session *s, const std::string &path, std::string *root) {
  ZLOG(LOG2_DBG, "root_dir=[%s]\n", path.c_str());
  if (device_or_unc(path) || path.size() < 2) return true;
  char volume[8];
  snprintf(volume, sizeof volume, "%c:\\", path[1]);
  std::vector<char> shadow(OS_PATH_SIZE, '\0');
  if (zmsd_cli_vss_mount(s, volume, shadow.data()) != 0) return false;
  *root = std::string(shadow.data()) + (path.size() > 3 ? path.substr(3) : "");
  ZLOG(LOG2_DBG, "vss_root_dir=[%s]\n", root->c_str());
  return true;
}

void *mount_failed(zmsd_session *s) {
  (void)zmsd_cli_exit(s);
  return nullptr;
}

}  // namespace

void *zmsd_drv_mount(const char *url, void *arg, verr_info *err, VfsMount *mount) {
  std::vector<char> path(URL_PART_SIZE, '\0');
  if (url_get_path(url, path.data()) != 0 || path[0] == '\0') {
    ZLOG(LOG2_DBG, "url_get_path url=%s failed\n", url);
    VERR_SET(err, VERR_INVALID_PARAMETER, "%s", "");
    return nullptr;
  }
  zmsd_session *s = zmsd_cli_connect2(url, static_cast<stop_ctl *>(arg), err);
  if (!s) return nullptr;

  std::vector<char> info(kInfoSize, '\0');
  if (zmsd_cli_info(s, info.data(), info.size()) != 0) return mount_failed(s);
  char ver[kVerSize], readonly[8], plat[kVerSize];
  zmsd_info_value(info.data(), "ver", ver, sizeof ver);
  zmsd_info_value(info.data(), "readonly", readonly, sizeof readonly);
  zmsd_info_value(info.data(), "plat", plat, sizeof plat);
  if (!zmsd_ver_at_least(ver, "1.5.2")) {
    ZLOG(LOG2_DBG, "ver=%s\n", ver);
    VERR_SET(err, VERR_GENERAL_FAILURE, "%s", ZMSD_UPGRADE_TEXT);
    return mount_failed(s);
  }
  if (zmsd_ver_at_least(ver, "1.5.4")) {
    ZLOG(LOG2_DBG, "set_auto_reconnect\n");
    if (zmsd_cli_set_auto_reconnect(s) != 0) return mount_failed(s);
  }
  std::string root = path.data();
  const bool vss = strcmp(plat, "windows") == 0 && wants_vss(url);
  if (vss && !snapshot_root(s, path.data(), &root)) return mount_failed(s);

  auto *ctx = new ZmsdMount;
  ctx->url = url;
  ctx->root_dir = root;
  os_path_normalize(ctx->root_dir.data());
  ctx->root_dir.resize(strlen(ctx->root_dir.c_str()));
  ctx->srv_ver = ver;
  ctx->cli = s;
  ctx->err = err;
  ctx->readonly = strcmp(readonly, "1") == 0;
  ctx->mount = mount;
  ctx->active_time = os_get_ms();
  ctx->vss = vss && root != path.data();
  ZLOG(LOG2_DBG, "url=[%s] rdir=[%s]\n", url, ctx->root_dir.c_str());
  return ctx;
}

int zmsd_drv_umount(void *p) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  int result = -1;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    if (ctx->vss && ctx->cli) (void)zmsd_cli_vss_umount(ctx->cli);
    result = ctx->cli ? zmsd_cli_exit(ctx->cli) : 0;
    ctx->cli = nullptr;
  }
  delete ctx;
  return result;
}

int zmsd_drv_statfs(void *p, VfsVolInfo *info) {
  auto *ctx = static_cast<ZmsdMount *>(p);
  if (ctx->broken) {
    (void)zmsd_refuse_broken(ctx);
    return -1;
  }
  zmsd_volinfo v{};
  int r = -1;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    if (ctx->cli) r = zmsd_cli_volinfo(ctx->cli, ctx->root_dir.c_str(), &v);
    if (r != 0 && (!ctx->cli || zmsd_cli_last_errno(ctx->cli) != VERR_FILE_NOT_FOUND) &&
        zmsd_check_and_connect(ctx) == 0)
      r = zmsd_cli_volinfo(ctx->cli, ctx->root_dir.c_str(), &v);
  }
  zmsd_after_call(ctx);
  if (r == 0) zmsd_to_vfs_vol(v, info);
  return r;
}
