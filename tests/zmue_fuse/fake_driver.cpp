// A VFS driver for "fake://" URLs whose answers the tests set (see fake_driver.h).
// Assumes the VFS hands the driver's mount the mount's error record.
#include "fake_driver.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct fake_dir {
  int pos = 0;
  VfsDirEntry entry{};
};

int fake_file_handle;  // the one driver file handle: its address

bool failing() { return fake().fail_code != 0 || fake().fail_without_code; }

int fail(const char *what) {
  fake_state &s = fake();
  if (s.fail_without_code) {
    s.err->code = 0;
  } else {
    VERR_SET(s.err, s.fail_code, "fake %s failed", what);
  }
  return -1;
}

int fake_probe(const char *url) { return strncmp(url, "fake://", 7) == 0 ? 0 : -1; }

void *fake_mount(const char *, void *, verr_info *err, VfsMount *) {
  fake().err = err;
  return &fake();
}

int fake_umount(void *) { return 0; }

int fake_statfs(void *, VfsVolInfo *) {
  fake().probes++;
  return fake().probe_result.load();
}

int fake_get_readonly(void *, uint32_t *out) {
  *out = fake().readonly;
  return 0;
}

void *fake_open2(void *, const char *, uint32_t flags, uint32_t) {
  fake().last_open_flags = flags;
  if (failing()) {
    fail("open");
    return nullptr;
  }
  return &fake_file_handle;
}

int fake_close(void *, int, int) {
  fake().closes++;
  return 0;
}

int fake_write(void *, const void *, uint32_t size, int64_t) {
  if (failing()) return fail("write");
  fake().writes++;
  return static_cast<int>(size);
}

int fake_fstat(void *, VfsFileInfo *info) {
  *info = VfsFileInfo{};
  info->type = VFS_FTYPE_FILE;
  info->mode = 0100644;
  return 0;
}

void *fake_opendir(void *, const char *, const char *) { return new fake_dir; }

VfsDirEntry *fake_readdir(void *dh) {
  auto *d = static_cast<fake_dir *>(dh);
  if (d->pos >= fake().entries) return nullptr;
  d->entry = VfsDirEntry{};
  d->entry.info.type = VFS_FTYPE_FILE;
  d->entry.info.mode = 0100644;
  d->entry.info.ino = static_cast<uint64_t>(d->pos) + 100;
  snprintf(d->entry.name, sizeof(d->entry.name), "e%d", d->pos);
  d->pos++;
  return &d->entry;
}

void fake_seekdir(void *dh, int64_t pos) {
  fake().seeks.push_back(pos);
  static_cast<fake_dir *>(dh)->pos = static_cast<int>(pos);
}

int64_t fake_telldir(void *dh) { return static_cast<fake_dir *>(dh)->pos; }

int fake_closedir(void *dh) {
  delete static_cast<fake_dir *>(dh);
  return 0;
}

int fake_ioctl(void *, uint32_t code, void *block, int32_t) {
  fake_state &s = fake();
  if (code == VFS_IOC_ACTIVE_TIME) {
    *static_cast<uint64_t *>(block) = s.active_time.load();
    return 0;
  }
  if (code == VFS_IOC_NEED_EXIT) {
    *static_cast<uint32_t *>(block) = s.need_exit.load();
    return 0;
  }
  s.codes.push_back(code);
  if (code == VFS_IOC_LSTAT) {
    auto *arg = static_cast<VfsArgFileInfo *>(block);
    if (strcmp(arg->path, "/") == 0) {
      *arg->info = VfsFileInfo{};
      arg->info->type = VFS_FTYPE_DIR;
      arg->info->mode = 040755;
      arg->info->nlink = 2;
      return 0;
    }
  }
  if (failing()) return fail("ioctl");
  if (code == VFS_IOC_READLINK) {
    auto *arg = static_cast<VfsArgBuffer *>(block);
    s.last_readlink_size = arg->size;
    const char target[] = "a/target/longer/than/the/buffer";
    uint32_t n = std::min<uint32_t>(arg->size, sizeof(target) - 1);
    memcpy(arg->buf, target, n);
    return static_cast<int>(n);
  }
  return 0;
}

VfsDriver make_driver() {
  VfsDriver drv{};
  drv.id = 99;
  drv.name = "fake";
  drv.probe = fake_probe;
  drv.mount = fake_mount;
  drv.umount = fake_umount;
  drv.statfs = fake_statfs;
  drv.get_readonly = fake_get_readonly;
  drv.open2 = fake_open2;
  drv.close = fake_close;
  drv.write = fake_write;
  drv.fstat = fake_fstat;
  drv.opendir = fake_opendir;
  drv.readdir = fake_readdir;
  drv.seekdir = fake_seekdir;
  drv.telldir = fake_telldir;
  drv.closedir = fake_closedir;
  drv.ioctl = fake_ioctl;
  return drv;
}

}  // namespace

fake_state &fake() {
  static fake_state state;
  return state;
}

void fake_reset() {
  fake_state &s = fake();
  s.active_time = 0;
  s.need_exit = 0;
  s.probes = 0;
  s.probe_result = 0;
  s.readonly = 0;
  s.fail_code = 0;
  s.fail_without_code = false;
  s.entries = 0;
  s.seeks.clear();
  s.codes.clear();
  s.last_open_flags = 0;
  s.last_readlink_size = 0;
  s.closes = 0;
  s.writes = 0;
}

VfsMount *fake_mount_new() {
  static const VfsDriver drv = make_driver();
  static const bool added = vfs_driver_add(&drv) == 0;
  if (!added) return nullptr;
  fake_reset();
  verr_info err{};
  VfsMount *mount = vfs_mount("fake://host/share", &err);
  if (mount == nullptr) fprintf(stderr, "fake mount failed: %s\n", verr_info_text(&err));
  return mount;
}
