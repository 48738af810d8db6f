// Path rooting and status conversion of the local directory driver. Only the root (from the
// mount URL) is trimmed; a mount-relative path keeps its blanks and quotes, which are legal in
// local file names, and only has its separators normalised.
#include <cstdio>
#include <cstring>

#include "file_ctx.h"

namespace {

bool is_trimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'';
}

}  // namespace

void file_normalize_root(std::string &root) {
  size_t first = 0;
  size_t last = root.size();
  while (first < last && is_trimmed(root[first])) ++first;
  while (last > first && is_trimmed(root[last - 1])) --last;
  root = root.substr(first, last - first);
  if (root.rfind("file://", 0) == 0) root.erase(0, 7);
  os_path_normalize(root.data());
  root.resize(strlen(root.c_str()));
}

bool file_root(FileMount *ctx, const char *path, FilePath *out) {
  if (path == nullptr) {
    VERR_SET(ctx->err, VERR_INVALID_PARAMETER, nullptr);
    return false;
  }
  const int n = snprintf(out->text, sizeof out->text, "%s\\%s", ctx->root_dir.c_str(), path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof out->text) {
    file_record_errno(ctx, __FILE__, __LINE__, __func__, ENAMETOOLONG);
    return false;
  }
  os_path_normalize(out->text);
  return true;
}

void file_record_errno(FileMount *ctx, const char *file, int line, const char *func, int eno) {
  verr_info_set(ctx->err, file, line, func, os_verr_get(eno), "%s", os_errno_str(eno));
}

void file_fill_info(const struct stat &st, VfsFileInfo *info) {
  info->type = S_ISDIR(st.st_mode) ? VFS_FTYPE_DIR : VFS_FTYPE_FILE;
  if (S_ISLNK(st.st_mode)) info->type |= VFS_FTYPE_LINK;
  info->mode = st.st_mode;
  info->uid = st.st_uid;
  info->gid = st.st_gid;
  info->size = st.st_size;
  info->atime = {st.st_atim.tv_sec, static_cast<uint32_t>(st.st_atim.tv_nsec)};
  info->mtime = {st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)};
  info->ctime = {st.st_ctim.tv_sec, static_cast<uint32_t>(st.st_ctim.tv_nsec)};
  info->nlink = st.st_nlink;
  info->dev = st.st_dev;
  info->rdev = st.st_rdev;
  info->ino = st.st_ino;
  info->blksize = st.st_blksize;
  info->blocks = st.st_blocks;
}
