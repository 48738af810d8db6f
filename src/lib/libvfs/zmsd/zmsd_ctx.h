// Private records of the remote service driver: the mount context, its file and directory
// handles, the rooting of paths and the call pattern every slot follows (lock around the client
// call, then the error check and the activity stamp outside the lock).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "vfs.h"
#include "zmsd_ops.h"

inline constexpr uint8_t ZMSD_TAG_MOUNT = 'V';
inline constexpr uint8_t ZMSD_TAG_FILE = 'F';

struct ZmsdMount {
  uint8_t tag = ZMSD_TAG_MOUNT;
  std::string url;       // as mounted, for reconnects
  std::string root_dir;  // the URL's path, or the snapshot root
  std::string srv_ver;   // what the server said at mount time; decides recovery after a reconnect
  zmsd_session *cli = nullptr;  // guarded by lock; replaced on reconnect
  verr_info *err = nullptr;     // the VFS mount's record; the client reports into it
  uint32_t readonly = 0;
  VfsMount *mount = nullptr;
  std::mutex lock;  // held around every client call: one request at a time per session
  // Written after the lock is released, read by the heartbeat without it: plain words.
  uint32_t fcount = 0;
  uint32_t dcount = 0;
  uint64_t active_time = 0;
  uint8_t broken = 0;
  uint8_t vss = 0;
  // The last call lost the link with nothing open: the next path call starts on a new session.
  std::atomic<bool> stale{false};
};

struct ZmsdFile {
  uint8_t tag = ZMSD_TAG_FILE;
  zmsd_file *cf = nullptr;
  uint8_t reserved = 0;
  ZmsdMount *ctx = nullptr;
};

struct ZmsdDir {
  uint8_t reserved = 0;
  zmsd_dir *cd = nullptr;
  uint8_t reserved2 = 0;
  ZmsdMount *ctx = nullptr;
};

// "%s\\%s" of the root and path; normalised (separators, "file://") when open is set.
std::string zmsd_rooted(const ZmsdMount *ctx, const char *path, bool open = false);

// After a client call: -1 nothing to do, -2 the link is lost with nothing open (a reconnect may
// repair it); a lost link with handles open marks the mount broken.
int zmsd_check_set_error(ZmsdMount *ctx);
// Replaces the session after a lost link with nothing open; call with the lock held. 0 or -1.
int zmsd_check_and_connect(ZmsdMount *ctx);
// Opens the session for ctx->url (with recovery on for servers from 1.5.4). null on failure.
zmsd_session *zmsd_open_session(ZmsdMount *ctx, void *stop);
// The error check and the activity stamp that follow every client call.
void zmsd_after_call(ZmsdMount *ctx);
// Replaces a session that lost its link in the last call while nothing was open; path calls are
// not repeated after a lost link, so without this they would fail on it until an open came.
// Call with the lock held; a failed replacement marks the mount broken.
void zmsd_renew_stale(ZmsdMount *ctx);
// Refuses a call on a broken mount: true (with the reason recorded) when ctx is broken.
bool zmsd_refuse_broken(ZmsdMount *ctx);

// Conversions between the client's records and the VFS ones.
void zmsd_to_vfs_info(const zmsd_stat &st, VfsFileInfo *out);
void zmsd_to_vfs_vol(const zmsd_volinfo &v, VfsVolInfo *out);
zmsd_ftimes zmsd_from_vfs_times(const VfsTimes &t);

// Slots, in the files that implement them.
void *zmsd_drv_mount(const char *url, void *arg, verr_info *err, VfsMount *mount);
int zmsd_drv_umount(void *ctx);
int zmsd_drv_statfs(void *ctx, VfsVolInfo *info);
void *zmsd_drv_open(void *ctx, const char *path, uint32_t flags);
void *zmsd_drv_wopen(void *ctx, const char *path, uint32_t access, uint32_t share, void *security,
                     uint32_t disposition, uint32_t attributes, void *templ);
void *zmsd_drv_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t mode);
int zmsd_drv_close(void *fh, int flag, int kind);
int zmsd_drv_read(void *fh, void *buf, uint32_t size, int64_t offset);
int zmsd_drv_write(void *fh, const void *buf, uint32_t size, int64_t offset);
int zmsd_drv_fsync(void *fh, int datasync);
int64_t zmsd_drv_lseek(void *fh, int64_t offset, int whence);
int zmsd_drv_fstat(void *fh, VfsFileInfo *info);
int zmsd_drv_ftruncate(void *fh, int64_t length);
int zmsd_drv_futime(void *fh, const VfsTimes *times);
int zmsd_drv_flock(void *fh, int operation, int64_t start, int64_t length);
void *zmsd_drv_opendir(void *ctx, const char *path, const char *pattern);
VfsDirEntry *zmsd_drv_readdir(void *dh);
void zmsd_drv_seekdir(void *dh, int64_t pos);
int64_t zmsd_drv_telldir(void *dh);
int zmsd_drv_closedir(void *dh);
int zmsd_drv_ioctl(void *ctx_or_fh, uint32_t code, void *block, int32_t size);
