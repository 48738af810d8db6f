// The mount step: turns a mount URL into a served FUSE mount (VFS mount, mount directory,
// read-only decision, daemon mode, heartbeat, kernel mount, request loop), and the unmount
// that signal handlers, the heartbeat, the panic callback and the shell use.
#include "myfuse.h"

#include "heartbeat.h"
#include "myfuse_open_files.h"
#include "pal_log.h"
#include "pal_os.h"
#include "pal_url.h"
#include "zmcli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>

static const char kLogTag[] = "zmue";

namespace {

// The program's name, handed to FUSE and starting the mount routine's messages.
const char kFsName[] = "zmue";

// The directory of the current kernel mount; empty when nothing is mounted. Set by the serving
// thread before the kernel mount, cleared by whoever unmounts. No lock: a signal handler
// reads it.
char g_mnt_dir[MYFUSE_MNT_DIR_SIZE];

bool has_item(const std::string &list, const char *item) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (list.compare(start, end - start, item) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string without_item(const std::string &list, const char *item) {
  std::string out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string piece = list.substr(start, end - start);
    if (!piece.empty() && piece != item) {
      if (!out.empty()) out.push_back(',');
      out += piece;
    }
    start = end + 1;
  }
  return out;
}

std::string with_item(std::string list, const char *item) {
  if (!list.empty()) list.push_back(',');
  return list + item;
}

// Creates the directory and its parents. A path component that exists but is no directory
// is refused with EACCES.
bool make_mount_dir(const std::string &dir, char *err) {
  if (os_mkdirs(dir.c_str(), 0755) == 0) return true;
  int eno = (errno == ENOTDIR || errno == EEXIST) ? EACCES : errno;
  snprintf(err, MYFUSE_ERR_SIZE, "%s", strerror(eno));
  return false;
}

struct heartbeat_ctx {
  const char *url;
  VfsMount *mount;
};

void start_heartbeat(void *arg) {
  auto *ctx = static_cast<heartbeat_ctx *>(arg);
  heartbeat_start(ctx->url, ctx->mount);
}

int my_fuse_main(const char *url, const char *options, const char *mdir, int debug,
                 int run_daemon, char *err) {
  char masked[URL_TEXT_SIZE];
  if (url_to_mask(url, masked) != 0) snprintf(masked, sizeof(masked), "***");
  ZLOG(LOG2_DBG, "url=%s opts=%s mdir=%s\n", masked, options, mdir);

  verr_info verr{};
  VfsMount *mount = vfs_mount(url, &verr);
  if (mount == nullptr) {
    snprintf(err, MYFUSE_ERR_SIZE, "%s", verr_info_text(&verr));
    return -1;
  }
  // Released whenever the mount step ends, served or not: releasing writes what the write
  // caches of files still open hold, so a stop with an application's file open loses no data.
  std::unique_ptr<VfsMount, int (*)(VfsMount *)> owned(mount, vfs_umount);
  uint32_t readonly = 0;
  if (vfs_get_readonly(mount, &readonly) < 0) readonly = 0;

  std::string dir = myfuse_normalize_mount_dir(mdir);
  vfs_set_mnt_dir(mount, dir.c_str());
  // A stale mount left by a dead server makes the directory unusable (ENOTCONN): clear it
  // before looking at the directory.
  umount2(dir.c_str(), 0);
  if (!make_mount_dir(dir, err)) return -1;
  umask(0);

  std::string opts = myfuse_readonly_options(options, readonly);
  ZLOG(LOG2_DBG, "opts.options=%s\n", opts.c_str());

  if (run_daemon != 0 && os_daemonize() != 0) {
    snprintf(err, MYFUSE_ERR_SIZE, "daemonize failed: %s", strerror(errno));
    return -1;
  }
  myfuse_set_mount(mount, debug);

  // The heartbeat starts once the kernel mount exists: a first probe that fails at once must
  // find a mount point to take away, not an empty one that is mounted right after.
  heartbeat_ctx heartbeat{url, mount};
  fuse_mount_request request{kFsName, dir.c_str(), opts.c_str(), 0, 0, static_cast<int>(readonly),
                             start_heartbeat, &heartbeat};
  snprintf(g_mnt_dir, sizeof(g_mnt_dir), "%s", dir.c_str());
  int res = try_fuse_mount(myfuse_operations(), &request);
  // The loop's teardown took the kernel mount down (detached it when busy).
  if (g_mnt_dir[0] != '\0') ZLOG(LOG2_DBG, "fuse_unmount mnt_dir=%s\n", g_mnt_dir);
  g_mnt_dir[0] = '\0';
  heartbeat_stop();
  // No request is served any more: the handles the kernel never released are closed here.
  myfuse_forget_open();
  myfuse_set_mount(nullptr, 0);
  if (vfs_umount(owned.release()) < 0) ZLOG(LOG2_ERR, "vfs_umount failed\n");
  return res;
}

}  // namespace

std::string myfuse_normalize_mount_dir(const char *dir) {
  std::string text = dir ? dir : "";
  const char *trim = " \t\r\n\"'";
  size_t first = text.find_first_not_of(trim);
  if (first == std::string::npos) return "";
  text = text.substr(first, text.find_last_not_of(trim) - first + 1);
  for (char &c : text) {
    if (c == '\\') c = '/';
  }
  if (text.compare(0, 7, "file://") == 0) text.erase(0, 7);
  std::string out;
  for (char c : text) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.size() >= MYFUSE_MNT_DIR_SIZE) out.resize(MYFUSE_MNT_DIR_SIZE - 1);
  return out;
}

std::string myfuse_readonly_options(const char *options, uint32_t readonly) {
  std::string list = options ? options : "";
  if (list.size() >= MYFUSE_OPTIONS_SIZE) list.resize(MYFUSE_OPTIONS_SIZE - 1);
  if (has_item(list, "rw")) {
    if (readonly != 1) return without_item(list, "rw");
    ZLOG(LOG2_WARN, "VFS read-only Forced to read-only mount\n");
    return with_item(list, "ro");
  }
  return has_item(list, "ro") ? list : with_item(list, "ro");
}

int myfuse_mount(const char *url, char *err) {
  ZLOG(LOG2_DBG, "==>\n");
  err[0] = '\0';
  char turl[URL_TEXT_SIZE];
  if (url_conf_2_real(url, turl) != 0) {
    snprintf(err, MYFUSE_ERR_SIZE, "url_conf_2_real [%s] failed", url);
    return -1;
  }
  char mdir[MYFUSE_MNT_DIR_SIZE];
  if (url_get_query(turl, "fuse_mount_point", "", mdir, sizeof(mdir)) < 0) mdir[0] = '\0';
  if (mdir[0] == '\0') {
    snprintf(err, MYFUSE_ERR_SIZE, "need mount dir");
    return -1;
  }
  int run_daemon = url_get_query_int(turl, "run_daemon", 0);
  int debug = url_get_query_int(turl, "debug", 0);
  char options[MYFUSE_OPTIONS_SIZE];
  if (url_get_query(turl, "options", "", options, sizeof(options)) < 0) options[0] = '\0';
  return my_fuse_main(turl, options, mdir, debug, run_daemon, err);
}

void myfuse_remove_mount_point() {
  ZLOG(LOG2_DBG, "==>\n");
  if (g_mnt_dir[0] == '\0') return;
  ZLOG(LOG2_DBG, "fuse_unmount mnt_dir=%s\n", g_mnt_dir);
  if (fuse2_unmount(g_mnt_dir, nullptr) != 0) ZLOG(LOG2_ERR, "unmount [%s] failed\n", g_mnt_dir);
  g_mnt_dir[0] = '\0';
}

int myfuse_unmount(void *) {
  ZLOG(LOG2_DBG, "==>\n");
  myfuse_remove_mount_point();
  return 0;
}
