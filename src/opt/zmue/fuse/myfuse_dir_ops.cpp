// The adapter's directory operations. fi->fh of an open directory holds a read state owned
// here: the VFS directory handle, the entry read but not yet delivered (FUSE's buffer was full)
// and the position the next delivered entry continues from.
#include "myfuse_ops.h"

#include "pal_log.h"

#include <cerrno>
#include <cstdint>
#include <new>

static const char kLogTag[] = "zmue";

namespace {

inline constexpr uint32_t kDirMagic = 0x44495230;  // "DIR0": checked before every use

struct myfuse_dir {
  uint32_t magic = kDirMagic;
  VfsHandle *dir = nullptr;
  VfsDirEntry *entry = nullptr;
  int64_t offset = 0;
};

myfuse_dir *get_dirp(fuse_file_info *fi) {
  if (fi == nullptr) return nullptr;
  if (myfuse_debug()) ZLOG(LOG2_DBG, "fi=%p ==>\n", static_cast<void *>(fi));
  auto *d = reinterpret_cast<myfuse_dir *>(static_cast<uintptr_t>(fi->fh));
  return (d != nullptr && d->magic == kDirMagic) ? d : nullptr;
}

int xmp_opendir_i(const char *path, fuse_file_info *fi) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s\n", path);
  auto *d = new (std::nothrow) myfuse_dir;
  if (d == nullptr) return -ENOMEM;
  d->dir = vfs_opendir(g_myfuse_mount, path, nullptr);
  if (d->dir == nullptr) {
    delete d;
    ZLOG(LOG2_ERR, "path=%s error=%s\n", path, vfs_get_error(g_myfuse_mount));
    return myfuse_neg_errno(g_myfuse_mount);
  }
  fi->fh = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(d));
  return 0;
}

void log_entry(int64_t next, const VfsDirEntry &entry, const struct stat &st) {
  ZLOG(LOG2_DBG, "nextoff=%lld\n", static_cast<long long>(next));
  ZLOG(LOG2_DBG, "name=%s\n", entry.name);
  ZLOG(LOG2_DBG,
       "dev=%u ino=%u mode=%u nlink=%u uid=%u gid=%u rdev=%u size=%lld blksize=%u st_blocks=%u\n",
       static_cast<unsigned>(st.st_dev), static_cast<unsigned>(st.st_ino),
       static_cast<unsigned>(st.st_mode), static_cast<unsigned>(st.st_nlink),
       static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid),
       static_cast<unsigned>(st.st_rdev), static_cast<long long>(st.st_size),
       static_cast<unsigned>(st.st_blksize), static_cast<unsigned>(st.st_blocks));
}

int xmp_readdir_i(const char *path, void *buf, fuse_fill_dir_t filler, off_t offset,
                  fuse_file_info *fi) {
  if (myfuse_debug()) {
    ZLOG(LOG2_DBG, "path=%s offset=%u fi=%p\n", path, static_cast<unsigned>(offset),
         static_cast<void *>(fi));
  }
  myfuse_dir *d = get_dirp(fi);
  if (d == nullptr) return -1;
  if (offset != d->offset) {
    if (myfuse_debug()) ZLOG(LOG2_DBG, "d->offset=%u\n", static_cast<unsigned>(d->offset));
    vfs_seekdir(d->dir, offset);
    d->entry = nullptr;
    d->offset = offset;
  }
  for (;;) {
    if (d->entry == nullptr) d->entry = vfs_readdir(d->dir);
    if (d->entry == nullptr) break;
    int64_t next = vfs_telldir(d->dir);
    struct stat st;
    myfuse_info_2_stat(d->entry->info, &st);
    if (myfuse_debug()) log_entry(next, *d->entry, st);
    // A full buffer keeps the entry: it is the first one the next call delivers.
    if (filler(buf, d->entry->name, &st, next) != 0) break;
    d->entry = nullptr;
    d->offset = next;
  }
  return 0;
}

int xmp_releasedir_i(const char *path, fuse_file_info *fi) {
  if (myfuse_debug()) ZLOG(LOG2_DBG, "path=%s fi=%p\n", path, static_cast<void *>(fi));
  myfuse_dir *d = get_dirp(fi);
  if (d == nullptr) return -1;
  if (vfs_closedir(d->dir) < 0 && myfuse_debug()) ZLOG(LOG2_DBG, "closedir failed\n");
  d->magic = 0;
  delete d;
  return 0;
}

}  // namespace

int xmp_opendir(const char *path, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_opendir", [&] { return xmp_opendir_i(path, fi); });
}

int xmp_readdir(const char *path, void *buf, fuse_fill_dir_t filler, off_t offset,
                fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_readdir",
                      [&] { return xmp_readdir_i(path, buf, filler, offset, fi); });
}

int xmp_releasedir(const char *path, fuse_file_info *fi) {
  return myfuse_timed(path, "xmp_releasedir", [&] { return xmp_releasedir_i(path, fi); });
}
