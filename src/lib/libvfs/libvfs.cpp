// VFS life cycle: the driver registry, mounting a URL on the driver that claims it, and the
// release of a mount with everything still open on it. The registry is changed only by the main
// thread (start-up, tests) while no mount is being made.
#include <array>
#include <vector>

#include "file/file_driver.h"
#include "ftp/ftp_driver.h"
#include "pal_log.h"
#include "pal_url.h"
#include "vfs_core.h"
#include "zmcli.h"
#include "zmsd/zmsd_driver.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr int kDriverSlots = 4;
constexpr size_t kSizeTextMax = 256;  // "rcache_size" / "wcache_size": at most 255 characters

struct Registry {
  std::array<const VfsDriver *, kDriverSlots> slots{};
  bool initialised = false;
};

Registry &registry() {
  static Registry reg;
  return reg;
}

// Built-in drivers in registration order; the last registered is probed first: FTP, then the
// remote service, then the local directory, which claims every URL.
const VfsDriver *const kBuiltinDrivers[] = {&vfs_file_driver, &vfs_zmsd_driver, &vfs_ftp_driver};

int free_slot() {
  auto &slots = registry().slots;
  for (int i = 0; i < kDriverSlots; ++i)
    if (slots[i] == nullptr) return i;
  return -1;
}

int add_drv(const VfsDriver *drv) {
  const int slot = free_slot();
  if (slot < 0) {
    ZLOG(LOG2_CRIT, "failed\n");
    return -1;
  }
  registry().slots[slot] = drv;
  return 0;
}

// A built-in driver that cannot start ends the process (critical); an added one is refused.
int init_driver(const VfsDriver *drv, uint32_t level) {
  if (drv->init == nullptr || drv->init() == 0) return 0;
  ZLOG(level, "drv [%s] init failed\n", drv->name);
  return -1;
}

}  // namespace

int libvfs_init() {
  Registry &reg = registry();
  if (reg.initialised) return 0;
  for (const VfsDriver *drv : kBuiltinDrivers)
    if (add_drv(drv) != 0) return -1;
  for (const VfsDriver *drv : reg.slots)
    if (drv != nullptr && init_driver(drv, LOG2_CRIT) != 0) return -1;
  reg.initialised = true;
  return 0;
}

int libvfs_exit() {
  Registry &reg = registry();
  reg.initialised = false;
  for (const VfsDriver *&drv : reg.slots) {
    if (drv != nullptr && drv->exit != nullptr) drv->exit();
    drv = nullptr;
  }
  return 0;
}

int vfs_driver_add(const VfsDriver *drv) {
  if (drv == nullptr || libvfs_init() != 0) return -1;
  const int slot = free_slot();
  if (slot < 0) {
    ZLOG(LOG2_ERR, "drv [%s]: no free driver slot\n", drv->name);
    return -1;
  }
  registry().slots[slot] = drv;
  if (init_driver(drv, LOG2_ERR) != 0) {
    registry().slots[slot] = nullptr;
    return -1;
  }
  return 0;
}

const VfsDriver *vfs_find_driver(const char *url) {
  const auto &slots = registry().slots;
  for (auto it = slots.rbegin(); it != slots.rend(); ++it)
    if (*it != nullptr && (*it)->probe != nullptr && (*it)->probe(url) == 0) return *it;
  return nullptr;
}

namespace {

uint32_t cache_bytes(const char *text) {
  const uint64_t bytes = str_size_text_bytes(text);
  // A size beyond 32 bits cannot be allocated anyway; the cache set-up then runs without one.
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

}  // namespace

VfsMount *vfs_mount2(const char *url, void *arg, verr_info *err) {
  if (url == nullptr || libvfs_init() != 0) return nullptr;
  std::vector<char> turl(URL_TEXT_SIZE, '\0');
  if (url_conf_2_real(url, turl.data()) != 0) {
    ZLOG(LOG2_ERR, "url_conf_2_real [%s] failed\n", url);
    VERR_SET(err, VERR_INVALID_PARAMETER, "url_conf_2_real [%s] failed\n", url);
    return nullptr;
  }
  if (zm_conf_apply_timeouts(turl.data()) != 0)
    ZLOG(LOG2_WARN, "turl=[%s] time-out defaults not added\n", turl.data());
  char rcache_size[kSizeTextMax];
  char wcache_size[kSizeTextMax];
  url_get_query(url, "rcache_size", "2m", rcache_size, sizeof rcache_size);
  url_get_query(url, "wcache_size", "2m", wcache_size, sizeof wcache_size);
  ZLOG(LOG2_DBG, "url=[%s] turl=[%s]\n", url, turl.data());

  auto *mount = new VfsMount;
  mount->driver = vfs_find_driver(turl.data());
  if (mount->driver == nullptr) {
    ZLOG(LOG2_ERR, "find_drv failed");
    delete mount;
    return nullptr;
  }
  if (mount->driver->mount != nullptr)
    mount->ctx = mount->driver->mount(turl.data(), arg, &mount->err, mount);
  else
    vfs_slot_missing(mount, "mount");
  if (mount->ctx == nullptr) {
    if (err != nullptr) verr_info_copy(err, &mount->err);
    mount->head.magic = 0;
    delete mount;
    return nullptr;
  }
  mount->rcache_bsize = cache_bytes(rcache_size);
  mount->wcache_bsize = cache_bytes(wcache_size);
  ZLOG(LOG2_DBG, "rcache_bsize=%d wcache_bsize=%d\n", static_cast<int>(mount->rcache_bsize),
       static_cast<int>(mount->wcache_bsize));
  return mount;
}

VfsMount *vfs_mount(const char *url, verr_info *err) { return vfs_mount2(url, nullptr, err); }

int vfs_umount(VfsMount *mount) {
  if (vfs_valid_mount(mount) == nullptr) return -1;
  std::vector<VfsHandle *> files;
  std::vector<VfsHandle *> dirs;
  {
    std::lock_guard<std::mutex> guard(mount->lock);
    files.swap(mount->files);
    dirs.swap(mount->dirs);
  }
  const VfsDriver *drv = mount->driver;
  for (VfsHandle *fh : files) {
    // Best effort: the mount goes away whatever the back end answers.
    if (vfs_flush_i(fh) < 0)
      ZLOG(LOG2_ERR, "name=%s flush failed: %s\n", fh->name.c_str(), verr_info_text(&mount->err));
    if (drv->close != nullptr) drv->close(fh->drv_handle, 0, 2);
    vfs_handle_free(fh);
  }
  for (VfsHandle *dh : dirs) {
    if (drv->closedir != nullptr) drv->closedir(dh->drv_handle);
    vfs_handle_free(dh);
  }
  const int result = drv->umount != nullptr ? drv->umount(mount->ctx) : -1;
  mount->head.magic = 0;
  delete mount;
  return result;
}

int vfs_set_mnt_dir(VfsMount *mount, const char *dir) {
  if (vfs_valid_mount(mount) == nullptr || dir == nullptr) return -1;
  mount->mnt_dir = dir;
  return 0;
}
