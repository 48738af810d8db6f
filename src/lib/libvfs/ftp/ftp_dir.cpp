// FTP directory handles: the whole MLSD listing is read when the directory is opened, so that
// the control connection is free again before the first entry is handed out.
#include <algorithm>
#include <cstring>

#include "ftp_ops.h"
#include "pal_url.h"

void *ftp_opendir(void *ctx, const char *path, const char *pattern) {
  auto *mount = static_cast<FtpMount *>(ctx);
  std::string sp;
  if (!ftp_server_path(mount, path, &sp)) return nullptr;
  FtpLease lease = ftp_lease(mount);
  if (!lease) return nullptr;
  auto dir = std::make_unique<FtpDir>();
  dir->ctx = mount;
  if (ftp_list_dir(mount, lease.get(), sp, &dir->entries) != 0) return nullptr;
  if (pattern != nullptr) {
    std::erase_if(dir->entries, [&](const FtpListEntry &e) {
      return !str_wildcard_match(pattern, e.name.c_str());
    });
  }
  return dir.release();
}

VfsDirEntry *ftp_readdir(void *dh) {
  auto *dir = static_cast<FtpDir *>(dh);
  if (dir == nullptr || dir->next >= dir->entries.size()) return nullptr;
  const FtpListEntry &e = dir->entries[dir->next++];
  dir->current.info = e.info;
  memcpy(dir->current.name, e.name.c_str(), e.name.size() + 1);  // parsed to fit
  return &dir->current;
}

// Positions are indexes into the listing: telldir names the entry the next readdir delivers.
void ftp_seekdir(void *dh, int64_t pos) {
  auto *dir = static_cast<FtpDir *>(dh);
  if (dir != nullptr && pos >= 0)
    dir->next = std::min(static_cast<size_t>(pos), dir->entries.size());
}

int64_t ftp_telldir(void *dh) {
  auto *dir = static_cast<FtpDir *>(dh);
  return dir == nullptr ? -1 : static_cast<int64_t>(dir->next);
}

int ftp_closedir(void *dh) {
  delete static_cast<FtpDir *>(dh);
  return 0;
}
