// The counting in-memory driver of the VFS tests (see fake_driver.h).
#include "fake_driver.h"

#include <algorithm>
#include <cstring>

namespace {

struct FakeMount {
  verr_info *err;
};

struct FakeFile {
  FakeMount *mount;
  std::string name;
};

FakeFile *as_file(void *fh) { return static_cast<FakeFile *>(fh); }

void log_call(const char *op, uint32_t size = 0, int64_t offset = 0) {
  fake_state().calls.push_back({op, size, offset});
}

int fake_probe(const char *url) { return strncmp(url, "fake://", 7) == 0 ? 0 : -1; }

void *fake_mount(const char *, void *, verr_info *err, VfsMount *) { return new FakeMount{err}; }

int fake_umount(void *ctx) {
  delete static_cast<FakeMount *>(ctx);
  return 0;
}

int fake_statfs(void *, VfsVolInfo *info) {
  *info = VfsVolInfo{};
  return 0;
}

int fake_get_readonly(void *, uint32_t *out) {
  *out = 0;
  return 0;
}

void *open_name(void *ctx, const char *path, bool create) {
  auto *mount = static_cast<FakeMount *>(ctx);
  FakeState &st = fake_state();
  log_call("open");
  if (!create && st.files.count(path) == 0) {
    VERR_SET(mount->err, VERR_FILE_NOT_FOUND, "no file %s", path);
    return nullptr;
  }
  st.files[path];
  ++st.open_handles;
  return new FakeFile{mount, path};
}

void *fake_open(void *ctx, const char *path, uint32_t flags) {
  return open_name(ctx, path, flags & VFS_O_CREAT);
}

void *fake_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t) {
  return open_name(ctx, path, portable_flags & VFS_PL_O_CREAT);
}

void *fake_wopen(void *ctx, const char *path, uint32_t, uint32_t, void *, uint32_t disposition,
                 uint32_t, void *) {
  return open_name(ctx, path, disposition != VFS_W_OPEN_EXISTING);
}

int fake_close(void *fh, int, int) {
  log_call("close");
  delete as_file(fh);
  --fake_state().open_handles;
  return 0;
}

int fake_read(void *fh, void *buf, uint32_t size, int64_t offset) {
  FakeState &st = fake_state();
  log_call("read", size, offset);
  if (st.read_fails) {
    VERR_SET(as_file(fh)->mount->err, VERR_READ_ERROR, "read failed");
    return -1;
  }
  const std::vector<uint8_t> &data = st.files[as_file(fh)->name];
  if (offset >= static_cast<int64_t>(data.size())) return 0;
  uint32_t n = static_cast<uint32_t>(std::min<int64_t>(size, data.size() - offset));
  if (st.read_max != 0) n = std::min(n, st.read_max);
  memcpy(buf, data.data() + offset, n);
  return static_cast<int>(n);
}

int fake_write(void *fh, const void *buf, uint32_t size, int64_t offset) {
  FakeState &st = fake_state();
  log_call("write", size, offset);
  if (st.write_fail_code != 0) {
    if (st.write_fail_after == 0) {
      VERR_SET(as_file(fh)->mount->err, st.write_fail_code, "write failed");
      return -1;
    }
    --st.write_fail_after;
  }
  if (st.write_zero) return 0;
  const uint32_t n = st.write_max != 0 ? std::min(size, st.write_max) : size;
  std::vector<uint8_t> &data = st.files[as_file(fh)->name];
  if (data.size() < offset + n) data.resize(offset + n);
  memcpy(data.data() + offset, buf, n);
  return static_cast<int>(n);
}

int fake_fsync(void *, int) {
  log_call("fsync");
  return 0;
}

int64_t fake_lseek(void *, int64_t offset, int) {
  log_call("lseek");
  return offset;
}

int fake_fstat(void *fh, VfsFileInfo *info) {
  log_call("fstat");
  *info = VfsFileInfo{};
  info->type = VFS_FTYPE_FILE;
  info->size = static_cast<int64_t>(fake_state().files[as_file(fh)->name].size());
  return 0;
}

int fake_ftruncate(void *fh, int64_t length) {
  log_call("ftruncate");
  fake_state().files[as_file(fh)->name].resize(length);
  return 0;
}

int fake_ioctl(void *, uint32_t code, void *block, int32_t) {
  log_call("ioctl", code);
  if (code == VFS_IOC_UTIME || code == VFS_IOC_LUTIME)
    fake_state().last_times = static_cast<VfsArgTimes *>(block)->times;
  return 0;
}

VfsDriver g_driver = {
    .id = 99,
    .name = "fake",
    .init = nullptr,
    .exit = nullptr,
    .probe = fake_probe,
    .mount = fake_mount,
    .umount = fake_umount,
    .statfs = fake_statfs,
    .get_readonly = fake_get_readonly,
    .open = fake_open,
    .wopen = fake_wopen,
    .open2 = fake_open2,
    .close = fake_close,
    .read = fake_read,
    .write = fake_write,
    .fsync = fake_fsync,
    .lseek = fake_lseek,
    .fstat = fake_fstat,
    .ftruncate = fake_ftruncate,
    .ioctl = fake_ioctl,
};

}  // namespace

size_t FakeState::count(const std::string &op) const { return only(op).size(); }

std::vector<FakeCall> FakeState::only(const std::string &op) const {
  std::vector<FakeCall> out;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
               [&op](const FakeCall &c) { return c.op == op; });
  return out;
}

void FakeState::reset() { *this = FakeState{}; }

FakeState &fake_state() {
  static FakeState state;
  return state;
}

VfsDriver &fake_driver() { return g_driver; }

bool fake_register() {
  static const bool registered = vfs_driver_add(&g_driver) == 0;
  return registered;
}
