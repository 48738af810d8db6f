// FTP driver, path operations: the control codes FTP can carry (stat through MLST, MKD, RMD,
// DELE, RNFR/RNTO, truncation to zero by an empty upload, the liveness probe) and a clean
// "not supported" for the rest. A refusal is explained by looking at the path afterwards, since
// servers answer most failures with the same 550.
#include <cstring>

#include "ftp_ops.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr uint32_t kFtpOsType = 1;

template <typename Block>
Block *block_as(FtpMount *ctx, void *block, int32_t size) {
  if (block == nullptr || size != static_cast<int32_t>(sizeof(Block))) {
    FTP_FAIL(ctx, VERR_INVALID_PARAMETER, "argument block of %d bytes", static_cast<int>(size));
    return nullptr;
  }
  return static_cast<Block *>(block);
}

bool is_dir(const VfsFileInfo &info) { return (info.type & 0xff) == VFS_FTYPE_DIR; }

// Runs one path command that must answer `want`; on another answer, explain(conn, code, text)
// records the reason. The path is rooted first.
template <typename Explain>
int path_cmd(FtpMount *ctx, const char *path, const char *verb, int want, Explain explain) {
  std::string sp;
  if (!ftp_server_path(ctx, path, &sp)) return -1;
  FtpLease lease = ftp_lease(ctx);
  if (!lease) return -1;
  std::string text;
  const int ret = ftp_cmd(lease.get(), &text, "%s %s", verb, sp.c_str());
  if (ret == want) return 0;
  ZLOG(LOG2_DBG, "%s [%s] ret=%d\n", verb, sp.c_str(), ret);
  if (ret <= 0)
    return FTP_FAIL(ctx, VERR_DEV_IO_ERROR, "%s [%s]: connection lost", verb, sp.c_str());
  return explain(lease.get(), sp, ret, text);
}

int make_dir(FtpMount *ctx, const char *path) {
  return path_cmd(ctx, path, "MKD", 257,
                  [&](FtpConn *conn, const std::string &sp, int ret, const std::string &text) {
                    VfsFileInfo info{};
                    if (ftp_stat_on(ctx, conn, sp, &info) == 0)
                      return FTP_FAIL(ctx, VERR_ALREADY_EXISTS, "MKD [%s]: exists", sp.c_str());
                    return ftp_record_missing(ctx, conn, sp, ret, text, "MKD");
                  });
}

int remove_dir(FtpMount *ctx, const char *path) {
  return path_cmd(ctx, path, "RMD", 250,
                  [&](FtpConn *conn, const std::string &sp, int ret, const std::string &text) {
                    VfsFileInfo info{};
                    if (ftp_stat_on(ctx, conn, sp, &info) != 0)
                      return ftp_record_missing(ctx, conn, sp, ret, text, "RMD");
                    if (!is_dir(info))
                      return FTP_FAIL(ctx, VERR_PATH_NOT_FOUND, "RMD [%s]: a file", sp.c_str());
                    std::vector<FtpListEntry> entries;
                    if (ftp_list_dir(ctx, conn, sp, &entries) == 0 && entries.size() > 2)
                      return FTP_FAIL(ctx, VERR_DIR_NOT_EMPTY, "RMD [%s]: not empty", sp.c_str());
                    return FTP_FAIL(ctx, ftp_reply_verr(ret, text), "RMD [%s] ret=%d %s",
                                    sp.c_str(), ret, text.c_str());
                  });
}

int remove_file(FtpMount *ctx, const char *path) {
  return path_cmd(ctx, path, "DELE", 250,
                  [&](FtpConn *conn, const std::string &sp, int ret, const std::string &text) {
                    VfsFileInfo info{};
                    if (ftp_stat_on(ctx, conn, sp, &info) != 0)
                      return ftp_record_missing(ctx, conn, sp, ret, text, "DELE");
                    if (is_dir(info))
                      return FTP_FAIL(ctx, VERR_IS_A_DIRECTORY, "DELE [%s]: a directory",
                                      sp.c_str());
                    return FTP_FAIL(ctx, ftp_reply_verr(ret, text), "DELE [%s] ret=%d %s",
                                    sp.c_str(), ret, text.c_str());
                  });
}

int rename_path(FtpMount *ctx, const VfsArgRename &arg) {
  std::string from, to;
  if (!ftp_server_path(ctx, arg.from, &from) || !ftp_server_path(ctx, arg.to, &to)) return -1;
  FtpLease lease = ftp_lease(ctx);
  if (!lease) return -1;
  FtpConn *conn = lease.get();
  VfsFileInfo info{};
  if (arg.flags == 0 && ftp_stat_on(ctx, conn, to, &info) == 0)
    return FTP_FAIL(ctx, VERR_ALREADY_EXISTS, "rename to [%s]: exists", to.c_str());
  std::string text;
  int ret = ftp_cmd(conn, &text, "RNFR %s", from.c_str());
  if (ret != 350) return ftp_record_missing(ctx, conn, from, ret, text, "RNFR");
  text.clear();
  ret = ftp_cmd(conn, &text, "RNTO %s", to.c_str());
  if (ret == 250) return 0;
  if (ret > 0 && ftp_stat_on(ctx, conn, to, &info) == 0 && is_dir(info))
    return FTP_FAIL(ctx, VERR_DIR_NOT_EMPTY, "RNTO [%s]: a directory in the way", to.c_str());
  return ftp_record_missing(ctx, conn, to, ret, text, "RNTO");
}

int stat_path(FtpMount *ctx, const char *path, VfsFileInfo *info) {
  std::string sp;
  if (!ftp_server_path(ctx, path, &sp)) return -1;
  return ftp_stat_path(ctx, sp.c_str(), info);
}

// Only what one upload can do: a length of zero (an empty STOR) or the length it has.
int truncate_path(FtpMount *ctx, const VfsArgTruncate &arg) {
  std::string sp;
  VfsFileInfo info{};
  if (!ftp_server_path(ctx, arg.path, &sp) || ftp_stat_path(ctx, sp.c_str(), &info) != 0) return -1;
  if (is_dir(info)) return FTP_FAIL(ctx, VERR_IS_A_DIRECTORY, "truncate [%s]", sp.c_str());
  if (arg.length == info.size) return 0;
  if (arg.length != 0)
    return FTP_FAIL(ctx, VERR_NOT_SUPPORTED, "truncate [%s] to %lld: FTP only replaces files",
                    sp.c_str(), static_cast<long long>(arg.length));
  FtpFile *file = ftp_transfer_open(ctx, sp, VFS_O_WRONLY, 0, false);
  return file == nullptr ? -1 : ftp_transfer_close(file);
}

int current_dir(FtpMount *ctx, char *buf, int32_t size) {
  if (buf == nullptr || size <= 0) return FTP_FAIL(ctx, VERR_INVALID_PARAMETER, "no buffer");
  FtpLease lease = ftp_lease(ctx);
  if (!lease) return -1;
  std::string text;
  const int ret = ftp_cmd(lease.get(), &text, "PWD");
  const size_t blank = text.find(' ');
  const size_t quote = blank == std::string::npos ? std::string::npos : text.find('"', blank + 2);
  if (ret != 257 || quote == std::string::npos) {
    ZLOG(LOG2_ERR, "ftp_cmd PWD ret=%d error\n", ret);
    return FTP_FAIL(ctx, ftp_reply_verr(ret == 257 ? -1 : ret, text), "PWD ret=%d %s", ret,
                    text.c_str());
  }
  const std::string dir = text.substr(blank + 2, quote - blank - 2);
  if (dir.size() >= static_cast<size_t>(size))
    return FTP_FAIL(ctx, VERR_BUFFER_OVERFLOW, "PWD [%s] does not fit %d bytes", dir.c_str(),
                    static_cast<int>(size));
  memcpy(buf, dir.c_str(), dir.size() + 1);
  ZLOG(LOG2_DBG, "str=%s\n", buf);
  return 0;
}

int change_dir(FtpMount *ctx, const char *path) {
  return path_cmd(ctx, path, "CWD", 250,
                  [&](FtpConn *conn, const std::string &sp, int ret, const std::string &text) {
                    return ftp_record_missing(ctx, conn, sp, ret, text, "CWD");
                  });
}

// MKD that is content with a directory already there (550 answers both).
int make_dirs(FtpMount *ctx, const char *path) {
  return path_cmd(ctx, path, "MKD", 257,
                  [&](FtpConn *, const std::string &sp, int ret, const std::string &text) {
                    if (ret == 550) return 0;
                    return FTP_FAIL(ctx, ftp_reply_verr(ret, text), "MKD [%s] ret=%d %s",
                                    sp.c_str(), ret, text.c_str());
                  });
}

int not_supported(FtpMount *ctx, uint32_t code) {
  return FTP_FAIL(ctx, VERR_NOT_SUPPORTED, "control code %u: not possible over FTP", code);
}

int mount_ioctl(FtpMount *ctx, uint32_t code, void *block, int32_t size) {
  switch (code) {
    case VFS_IOC_ACTIVE_TIME: {
      auto *out = block_as<uint64_t>(ctx, block, size);
      if (out == nullptr) return -1;
      *out = ctx->active_ms.load(std::memory_order_relaxed);
      return 0;
    }
    case VFS_IOC_NEED_EXIT: {
      auto *out = block_as<uint32_t>(ctx, block, size);
      if (out == nullptr) return -1;
      ftp_check_link(ctx);
      *out = ctx->broken.load(std::memory_order_relaxed);
      return 0;
    }
    case VFS_IOC_STATFS: {
      auto *arg = block_as<VfsArgStatfs>(ctx, block, size);
      VfsVolInfo vol{};
      if (arg == nullptr || arg->out == nullptr || ftp_statfs(ctx, &vol) != 0) return -1;
      *arg->out = VfsStatfs{};
      arg->out->bsize = 4096;
      arg->out->frsize = 4096;
      arg->out->namemax = vol.name_max;
      return 0;
    }
    case VFS_IOC_GETCWD:
      return current_dir(ctx, static_cast<char *>(block), size);
    case VFS_IOC_CHDIR:
      return change_dir(ctx, static_cast<const char *>(block));
    case VFS_IOC_OSTYPE: {
      auto *out = block_as<uint32_t>(ctx, block, size);
      if (out == nullptr) return -1;
      *out = kFtpOsType;
      return 0;
    }
    case VFS_IOC_VOLINFO: {
      auto *arg = block_as<VfsArgVolinfo>(ctx, block, size);
      return arg == nullptr || arg->out == nullptr ? -1 : ftp_statfs(ctx, arg->out);
    }
    case VFS_IOC_ACCESS: {
      auto *arg = block_as<VfsArgPathMode>(ctx, block, size);
      VfsFileInfo info{};
      return arg == nullptr ? -1 : stat_path(ctx, arg->path, &info);
    }
    case VFS_IOC_MKDIRS:
      return make_dirs(ctx, static_cast<const char *>(block));
    case VFS_IOC_MKDIR: {
      auto *arg = block_as<VfsArgPathMode>(ctx, block, size);
      return arg == nullptr ? -1 : make_dir(ctx, arg->path);
    }
    case VFS_IOC_RMDIR:
      return remove_dir(ctx, static_cast<const char *>(block));
    case VFS_IOC_UNLINK:
      return remove_file(ctx, static_cast<const char *>(block));
    case VFS_IOC_RENAME: {
      auto *arg = block_as<VfsArgRename>(ctx, block, size);
      return arg == nullptr ? -1 : rename_path(ctx, *arg);
    }
    case VFS_IOC_STAT:
    case VFS_IOC_LSTAT: {
      auto *arg = block_as<VfsArgFileInfo>(ctx, block, size);
      return arg == nullptr || arg->info == nullptr ? -1 : stat_path(ctx, arg->path, arg->info);
    }
    case VFS_IOC_TRUNCATE: {
      auto *arg = block_as<VfsArgTruncate>(ctx, block, size);
      return arg == nullptr ? -1 : truncate_path(ctx, *arg);
    }
    default:
      return not_supported(ctx, code);
  }
}

}  // namespace

// Codes from 100 on come with a driver file handle; FTP transfers have no such controls.
int ftp_ioctl(void *ctx_or_fh, uint32_t code, void *block, int32_t size) {
  if (ctx_or_fh == nullptr) return -1;
  if (code >= 100) {
    auto *file = static_cast<FtpFile *>(ctx_or_fh);
    return file->kind == VFS_KIND_FILE ? not_supported(file->ctx, code) : -1;
  }
  auto *ctx = static_cast<FtpMount *>(ctx_or_fh);
  if (ctx->id != VFS_DRV_FTP) return -1;
  return mount_ioctl(ctx, code, block, size);
}

int ftp_statfs(void *ctx, VfsVolInfo *info) {
  auto *mount = static_cast<FtpMount *>(ctx);
  if (mount == nullptr || info == nullptr) return -1;
  FtpLease lease = ftp_lease(mount);
  if (!lease) return -1;
  std::string text;
  const int ret = ftp_cmd(lease.get(), &text, "NOOP");
  if (ret != 200)
    return FTP_FAIL(mount, ftp_reply_verr(ret, text), "NOOP ret=%d %s", ret, text.c_str());
  *info = VfsVolInfo{};
  info->name_max = 255;
  strcpy(info->fs_type, "ftp");
  return 0;
}
