// Path operations on the served directory, each confined through ServedRoot: 0 (or a count)
// on success, -errno on failure. `follow` says whether a final symbolic link is followed.
#pragma once

#include <cstdint>
#include <string>

#include "served_root.h"

namespace peer {

int fs_create_file(const ServedRoot &r, const std::string &rel);  // with missing parents
int fs_mkdirs(const ServedRoot &r, const std::string &rel);       // 0755, existing is fine
int fs_mkdir(const ServedRoot &r, const std::string &rel, uint32_t mode);
int fs_mknod(const ServedRoot &r, const std::string &rel, uint32_t mode, uint64_t dev);
int fs_rmdir(const ServedRoot &r, const std::string &rel);
int fs_remove(const ServedRoot &r, const std::string &rel);  // a directory goes as by rmdir
int fs_rename(const ServedRoot &r, const std::string &from, const std::string &to, bool replace);
int fs_link(const ServedRoot &r, const std::string &existing, const std::string &rel);
int fs_symlink(const ServedRoot &r, const std::string &target, const std::string &rel);
int fs_access(const ServedRoot &r, const std::string &rel, int mode);
int fs_chmod(const ServedRoot &r, const std::string &rel, uint32_t mode, bool follow);
int fs_chown(const ServedRoot &r, const std::string &rel, uint32_t uid, uint32_t gid, bool follow);
int fs_utimes(const ServedRoot &r, const std::string &rel, const struct timespec times[2], bool follow);
int fs_truncate(const ServedRoot &r, const std::string &rel, int64_t len);
int fs_readlink(const ServedRoot &r, const std::string &rel, std::string &out);
int fs_statvfs_text(const ServedRoot &r, const std::string &rel, std::string &out);

// Extended attributes of the object itself (a final link is not followed).
int fs_setxattr(const ServedRoot &r, const std::string &rel, const std::string &name, const void *value,
                size_t len, int flags);
int fs_getxattr(const ServedRoot &r, const std::string &rel, const std::string &name, std::string &out);
int fs_listxattr(const ServedRoot &r, const std::string &rel, std::string &out);
int fs_removexattr(const ServedRoot &r, const std::string &rel, const std::string &name);

}  // namespace peer
