// Path and mount controls of the remote driver (the VFS's ioctl codes): each becomes one client
// call with its paths rooted under the mount, inside the call pattern. Codes 1 and 2 answer from
// the context without a client call; the others fail at once on a broken mount.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "pal_log.h"
#include "zmsd_ctx.h"

static const char kLogTag[] = "vfs";

namespace {

template <typename T>
T &arg(void *block) {
  return *static_cast<T *>(block);
}

int file_handle_control(zmsd_file *cf, uint32_t code, void *block) {
  char text[64];
  switch (code) {
    case 101:
      snprintf(text, sizeof text, "%u", arg<uint32_t>(block));
      return zmsd_cli_ioctl(cf, ZMSD_IOCTL_FCTL_101, text, int(strlen(text)) + 1);
    case 102: {
      const auto *v = static_cast<const uint32_t *>(block);
      snprintf(text, sizeof text, "%u\t%u", v[0], v[1]);
      return zmsd_cli_ioctl(cf, ZMSD_IOCTL_FCTL_102, text, int(strlen(text)) + 1);
    }
    case 103:
      snprintf(text, sizeof text, "%u", unsigned(arg<uint8_t>(block)));
      return zmsd_cli_ioctl(cf, ZMSD_IOCTL_FCTL_103, text, int(strlen(text)) + 1);
    default:
      // Control 100 names a text the VFS block does not carry; no caller sends it.
      return -1;
  }
}

int statfs_call(zmsd_session *s, const std::string &path, VfsStatfs *out) {
  zmsd_statfs f{};
  if (zmsd_cli_statfs(s, path.c_str(), &f) != 0) return -1;
  uint64_t *fields[] = {&out->bsize, &out->frsize, &out->blocks,  &out->bfree,
                        &out->bavail, &out->files, &out->ffree,   &out->favail,
                        &out->fsid,  &out->flag,  &out->namemax};
  for (size_t i = 0; i < 11; ++i) *fields[i] = f.v[i];
  return 0;
}

int stat_call(zmsd_session *s, const std::string &path, VfsFileInfo *out, bool follow) {
  zmsd_stat st{};
  const int r = follow ? zmsd_cli_stat(s, path.c_str(), &st) : zmsd_cli_stat2(s, path.c_str(), &st);
  if (r == 0) zmsd_to_vfs_info(st, out);
  return r;
}

// Everything from code 3 on; ctx is locked, s is its session.
int path_control(ZmsdMount *ctx, zmsd_session *s, uint32_t code, void *block, int32_t size) {
  auto root = [ctx](const char *path) { return zmsd_rooted(ctx, path); };
  switch (code) {
    case VFS_IOC_STATFS:
      return statfs_call(s, root(arg<VfsArgStatfs>(block).path), arg<VfsArgStatfs>(block).out);
    case VFS_IOC_GETCWD:
      return zmsd_cli_ioctl(s, ZMSD_IOCTL_GETCWD, block, size);
    case VFS_IOC_CHDIR: {
      // The path itself stands in for the block; its size is the text with its NUL.
      const auto *path = static_cast<const char *>(block);
      return zmsd_cli_ioctl(s, ZMSD_IOCTL_CHDIR, block,
                            size >= 0 ? size : int(strlen(path)) + 1);
    }
    case VFS_IOC_OSTYPE:
      arg<uint32_t>(block) = uint32_t(zmsd_cli_os_type(s));
      return 0;
    case VFS_IOC_VOLINFO: {
      auto &a = arg<VfsArgVolinfo>(block);
      zmsd_volinfo v{};
      if (zmsd_cli_volinfo(s, root(a.path).c_str(), &v) != 0) {
        const int eno = errno;
        VERR_SET(ctx->err, os_verr_get(eno), "%s", os_errno_str(eno));
        return -1;
      }
      zmsd_to_vfs_vol(v, a.out);
      return 0;
    }
    case VFS_IOC_ACCESS:
      return zmsd_cli_path_mode(s, ZMSD_IOCTL_ACCESS, root(arg<VfsArgPathMode>(block).path).c_str(),
                                arg<VfsArgPathMode>(block).mode);
    case VFS_IOC_CREATE_FILE:
    case VFS_IOC_MKDIRS:
    case VFS_IOC_RMDIR:
    case VFS_IOC_UNLINK: {
      const int client_code = code == VFS_IOC_CREATE_FILE ? ZMSD_IOCTL_CREATE_FILE
                              : code == VFS_IOC_MKDIRS    ? ZMSD_IOCTL_MKDIRS
                              : code == VFS_IOC_RMDIR     ? ZMSD_IOCTL_RMDIR
                                                          : ZMSD_IOCTL_UNLINK;
      return zmsd_cli_path_op(s, client_code, root(static_cast<const char *>(block)).c_str());
    }
    case VFS_IOC_MKDIR:
    case VFS_IOC_MKFIFO:
    case VFS_IOC_SETATTR:
    case VFS_IOC_CHMOD:
    case VFS_IOC_LCHMOD: {
      const int client_code = code == VFS_IOC_MKDIR    ? ZMSD_IOCTL_MKDIR
                              : code == VFS_IOC_MKFIFO ? ZMSD_IOCTL_MKFIFO
                              : code == VFS_IOC_SETATTR ? ZMSD_IOCTL_SETATTR
                              : code == VFS_IOC_CHMOD  ? ZMSD_IOCTL_CHMOD
                                                       : ZMSD_IOCTL_LCHMOD;
      auto &a = arg<VfsArgPathMode>(block);
      return zmsd_cli_path_mode(s, client_code, root(a.path).c_str(), a.mode);
    }
    case VFS_IOC_MKNOD: {
      auto &a = arg<VfsArgMknod>(block);
      return zmsd_cli_mknod(s, root(a.path).c_str(), a.mode, a.dev);
    }
    case VFS_IOC_LINK: {
      auto &a = arg<VfsArgTwoPaths>(block);
      return zmsd_cli_two_paths(s, ZMSD_IOCTL_LINK, root(a.from).c_str(), root(a.to).c_str());
    }
    case VFS_IOC_SYMLINK: {
      auto &a = arg<VfsArgTwoPaths>(block);
      return zmsd_cli_two_paths(s, ZMSD_IOCTL_SYMLINK, a.from, root(a.to).c_str());
    }
    case VFS_IOC_RENAME: {
      auto &a = arg<VfsArgRename>(block);
      return zmsd_cli_rename(s, root(a.from).c_str(), root(a.to).c_str(), a.flags);
    }
    case VFS_IOC_READLINK: {
      auto &a = arg<VfsArgBuffer>(block);
      return zmsd_cli_readlink(s, root(a.path).c_str(), a.buf, a.size);
    }
    case VFS_IOC_STAT:
    case VFS_IOC_LSTAT: {
      auto &a = arg<VfsArgFileInfo>(block);
      return stat_call(s, root(a.path), a.info, code == VFS_IOC_STAT);
    }
    case VFS_IOC_TRUNCATE: {
      auto &a = arg<VfsArgTruncate>(block);
      return zmsd_cli_truncate(s, root(a.path).c_str(), a.length);
    }
    case VFS_IOC_CHOWN:
    case VFS_IOC_LCHOWN: {
      auto &a = arg<VfsArgOwner>(block);
      return zmsd_cli_chown(s, code == VFS_IOC_CHOWN ? ZMSD_IOCTL_CHOWN : ZMSD_IOCTL_LCHOWN,
                            root(a.path).c_str(), a.uid, a.gid);
    }
    case VFS_IOC_UTIME:
    case VFS_IOC_LUTIME: {
      auto &a = arg<VfsArgTimes>(block);
      const zmsd_ftimes t = zmsd_from_vfs_times(a.times);
      return zmsd_cli_utime(s, code == VFS_IOC_UTIME ? ZMSD_IOCTL_UTIME : ZMSD_IOCTL_LUTIME,
                            root(a.path).c_str(), &t);
    }
    case VFS_IOC_LGETXATTR: {
      auto &a = arg<VfsArgGetXattr>(block);
      return zmsd_cli_lgetxattr(s, root(a.path).c_str(), a.name, a.buf, int(a.size));
    }
    case VFS_IOC_LSETXATTR: {
      auto &a = arg<VfsArgSetXattr>(block);
      return zmsd_cli_lsetxattr(s, root(a.path).c_str(), a.name, a.value, int(a.size), a.flags);
    }
    case VFS_IOC_LREMOVEXATTR: {
      auto &a = arg<VfsArgXattrName>(block);
      return zmsd_cli_lremovexattr(s, root(a.path).c_str(), a.name);
    }
    case VFS_IOC_LLISTXATTR: {
      auto &a = arg<VfsArgBuffer>(block);
      return zmsd_cli_llistxattr(s, root(a.path).c_str(), a.buf, int(a.size));
    }
    default:
      return -1;
  }
}

}  // namespace

int zmsd_drv_ioctl(void *handle, uint32_t code, void *block, int32_t size) {
  const uint8_t tag = handle ? *static_cast<const uint8_t *>(handle) : 0;
  if (tag != ZMSD_TAG_MOUNT && tag != ZMSD_TAG_FILE) {
    ZLOG(LOG2_CRIT, "handle=%p invliad\n", handle);
    return -1;
  }
  ZmsdFile *f = tag == ZMSD_TAG_FILE ? static_cast<ZmsdFile *>(handle) : nullptr;
  ZmsdMount *ctx = f ? f->ctx : static_cast<ZmsdMount *>(handle);
  if (code == VFS_IOC_ACTIVE_TIME) {
    arg<uint64_t>(block) = ctx->active_time;
    return 0;
  }
  if (code == VFS_IOC_NEED_EXIT) {
    arg<uint32_t>(block) = ctx->broken;
    return 0;
  }
  if (zmsd_refuse_broken(ctx)) return -1;
  int r = -1;
  {
    std::lock_guard<std::mutex> hold(ctx->lock);
    if (code >= 100 && code <= 103) {
      r = f ? file_handle_control(f->cf, code, block) : -1;
    } else {
      zmsd_renew_stale(ctx);
      if (ctx->cli) r = path_control(ctx, ctx->cli, code, block, size);
    }
  }
  zmsd_after_call(ctx);
  return r;
}
