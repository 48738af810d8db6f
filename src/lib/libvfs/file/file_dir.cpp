// Local directory driver, directory handles: entries come with their own status (links not
// followed) and, for a symbolic link, its target and the type of what it points to.
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cstring>

#include "file_ctx.h"
#include "file_ops.h"

namespace {

FileDir *as_dir(void *dh) { return static_cast<FileDir *>(dh); }

uint32_t type_of(unsigned char d_type) { return d_type == DT_DIR ? VFS_FTYPE_DIR : VFS_FTYPE_FILE; }

void fill_entry(FileDir *d, const struct dirent *de) {
  VfsDirEntry &entry = d->entry;
  entry = VfsDirEntry{};
  snprintf(entry.name, sizeof entry.name, "%s", de->d_name);
  const int dir_fd = dirfd(d->dir);
  struct stat st {};
  if (fstatat(dir_fd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    entry.info.type = type_of(de->d_type);
    return;
  }
  file_fill_info(st, &entry.info);
  if (!S_ISLNK(st.st_mode)) return;
  const ssize_t n = readlinkat(dir_fd, de->d_name, entry.link, sizeof entry.link - 1);
  entry.link[n > 0 ? n : 0] = '\0';
  struct stat target {};
  const bool is_dir = fstatat(dir_fd, de->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
  entry.info.type = (is_dir ? VFS_FTYPE_DIR : VFS_FTYPE_FILE) | VFS_FTYPE_LINK;
}

}  // namespace

void *vfs_file_opendir(void *ctx, const char *path, const char *pattern) {
  auto *mount = static_cast<FileMount *>(ctx);
  FilePath rooted;
  if (!file_root(mount, path, &rooted)) return nullptr;
  DIR *dir = opendir(rooted.text);
  if (dir == nullptr) {
    FILE_FAIL(mount);
    return nullptr;
  }
  auto *d = new FileDir;
  d->dir = dir;
  d->ctx = mount;
  if (pattern != nullptr) d->pattern = pattern;
  return d;
}

VfsDirEntry *vfs_file_readdir(void *dh) {
  FileDir *d = as_dir(dh);
  for (;;) {
    errno = 0;
    const struct dirent *de = readdir(d->dir);
    if (de == nullptr) {
      if (errno != 0)
        FILE_FAIL(d->ctx);
      else
        VERR_SET(d->ctx->err, VERR_SUCCESS, nullptr);
      return nullptr;
    }
    if (!d->pattern.empty() && fnmatch(d->pattern.c_str(), de->d_name, 0) != 0) continue;
    fill_entry(d, de);
    return &d->entry;
  }
}

void vfs_file_seekdir(void *dh, int64_t pos) { seekdir(as_dir(dh)->dir, static_cast<long>(pos)); }

int64_t vfs_file_telldir(void *dh) {
  FileDir *d = as_dir(dh);
  return FILE_CHECK(d->ctx, static_cast<int64_t>(telldir(d->dir)));
}

int vfs_file_closedir(void *dh) {
  FileDir *d = as_dir(dh);
  const int result = FILE_CHECK(d->ctx, closedir(d->dir));
  delete d;
  return result < 0 ? -1 : 0;
}
