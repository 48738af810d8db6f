// The mount's last-error record as seen through any of its handles, and the handle dump of the
// shell. A file or directory handle answers with the record of the mount it belongs to.
#include <cinttypes>
#include <string>

#include "pal_env.h"
#include "vfs_core.h"

namespace {

const char kInvalidHandle[] = "invalid handle error";

const VfsMount *error_mount(const VfsMount *mount) {
  return vfs_valid_mount(const_cast<VfsMount *>(mount));
}

const VfsMount *error_mount(const VfsHandle *handle) {
  auto *h = const_cast<VfsHandle *>(handle);
  if (vfs_valid_handle(h, VFS_KIND_FILE) == nullptr && vfs_valid_handle(h, VFS_KIND_DIR) == nullptr)
    return nullptr;
  return h->mount;
}

template <typename Handle>
verrno get_errno(const Handle *handle) {
  const VfsMount *mount = error_mount(handle);
  return mount != nullptr ? mount->err.code : -1;
}

template <typename Handle>
const char *get_error(const Handle *handle) {
  const VfsMount *mount = error_mount(handle);
  return mount != nullptr ? verr_info_text(&mount->err) : kInvalidHandle;
}

template <typename Handle>
int copy_error(const Handle *handle, verr_info *out) {
  const VfsMount *mount = error_mount(handle);
  if (mount == nullptr || out == nullptr) return -1;
  verr_info_copy(out, &mount->err);
  return 0;
}

void dump_list(std::string &text, const char *label, const std::vector<VfsHandle *> &list) {
  char line[64];
  for (const VfsHandle *h : list) {
    text += label;
    text += h->name;
    // The handle as a 32-bit word, as on the target the dump was made for.
    snprintf(line, sizeof line, " h=%x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)));
    text += line;
  }
}

}  // namespace

verrno vfs_get_errno(const VfsMount *mount) { return get_errno(mount); }
verrno vfs_get_errno(const VfsHandle *handle) { return get_errno(handle); }

int vfs_get_posix_errno(const VfsMount *mount) { return verr_2_posix(get_errno(mount)); }
int vfs_get_posix_errno(const VfsHandle *handle) { return verr_2_posix(get_errno(handle)); }

const char *vfs_get_error(const VfsMount *mount) { return get_error(mount); }
const char *vfs_get_error(const VfsHandle *handle) { return get_error(handle); }

int vfs_copy_error(const VfsMount *mount, verr_info *out) { return copy_error(mount, out); }
int vfs_copy_error(const VfsHandle *handle, verr_info *out) { return copy_error(handle, out); }

char *vfs_dump_handles(VfsMount *mount) {
  if (vfs_valid_mount(mount) == nullptr) return nullptr;
  std::string text;
  {
    std::lock_guard<std::mutex> guard(mount->lock);
    dump_list(text, "file_name=", mount->files);
    dump_list(text, "dir_name=", mount->dirs);
  }
  return os_strdup(text.c_str());
}
