// Private records of the local directory driver and the helpers its operations share: rooting a
// mount-relative path, recording a failed system call in the mount's error record, and turning a
// struct stat into a VfsFileInfo.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "pal_os.h"
#include "vfs.h"

static_assert(sizeof(off_t) == 8, "the local driver needs 64-bit file offsets");

struct FileMount {
  uint32_t id = VFS_DRV_FILE;
  std::string root_dir;
  verr_info *err = nullptr;
  VfsMount *mount = nullptr;
  // ms, from the mount URL; a local descriptor never waits, so nothing applies them to one
  uint32_t read_timeout = 0;
  uint32_t write_timeout = 0;
};

struct FileHandle {
  uint32_t kind = VFS_KIND_FILE;
  int fd = -1;
  FileMount *ctx = nullptr;
};

struct FileDir {
  uint32_t kind = VFS_KIND_DIR;
  DIR *dir = nullptr;
  std::string pattern;  // empty: every entry
  FileMount *ctx = nullptr;
  VfsDirEntry entry{};
};

// A rooted path: root and mount-relative path joined and normalised.
struct FilePath {
  char text[OS_PATH_SIZE];
};

// Joins `path` to the root; false (error recorded) for a missing or over-long path, which must
// never be cut to a shorter path that names another file.
[[nodiscard]] bool file_root(FileMount *ctx, const char *path, FilePath *out);
// Blanks and quotes trimmed, a leading "file://" removed, separators normalised; in place.
void file_normalize_root(std::string &root);

// Records errno (mapped to a status code) at the caller's location.
void file_record_errno(FileMount *ctx, const char *file, int line, const char *func, int eno);
#define FILE_FAIL(ctx) file_record_errno((ctx), __FILE__, __LINE__, __func__, errno)

// Passes `result` through; a negative one records errno at the caller's location first.
template <typename T>
T file_check(FileMount *ctx, T result, const char *file, int line, const char *func) {
  if (result < 0) file_record_errno(ctx, file, line, func, errno);
  return result;
}
#define FILE_CHECK(ctx, result) file_check((ctx), (result), __FILE__, __LINE__, __func__)

void file_fill_info(const struct stat &st, VfsFileInfo *info);

// Volume information of a rooted path: statvfs sizes, file-system type and volume label.
int file_volinfo(FileMount *ctx, const char *path, VfsVolInfo *out);
