// Conversions between the POSIX records FUSE hands over and the VFS's records and portable
// flags, and the slow-call check every operation ends with. Assumes Linux open flag values.
#include "myfuse.h"

#include "pal_env.h"
#include "pal_log.h"

#include <cstring>
#include <fcntl.h>

static const char kLogTag[] = "zmue";

namespace {

struct flag_map {
  int posix;
  uint32_t portable;
};

// 64-bit x86 headers define O_LARGEFILE as 0, yet the kernel reports its generic bit.
constexpr int kLargeFile = O_LARGEFILE != 0 ? O_LARGEFILE : 0100000;

const flag_map kOpenFlags[] = {
    {O_APPEND, VFS_PL_O_APPEND},       {O_CREAT, VFS_PL_O_CREAT},
    {O_TRUNC, VFS_PL_O_TRUNC},         {O_EXCL, VFS_PL_O_EXCL},
    {O_DIRECTORY, VFS_PL_O_DIRECTORY}, {O_NOFOLLOW, VFS_PL_O_NOFOLLOW},
    {O_CLOEXEC, VFS_PL_O_CLOEXEC},     {O_NONBLOCK, VFS_PL_O_NONBLOCK},
    {O_DIRECT, VFS_PL_O_DIRECT},       {kLargeFile, VFS_PL_O_LARGEFILE},
};

VfsTime time_from(const struct timespec &ts) {
  return VfsTime{static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec)};
}

struct timespec timespec_from(const VfsTime &t) {
  struct timespec ts{};
  ts.tv_sec = static_cast<time_t>(t.sec);
  ts.tv_nsec = static_cast<long>(t.nsec);
  return ts;
}

}  // namespace

uint32_t myfuse_open_flags_2_pl(int flags) {
  uint32_t portable = 0;
  switch (flags & O_ACCMODE) {
    case O_WRONLY: portable = VFS_PL_O_WRONLY; break;
    case O_RDWR: portable = VFS_PL_O_RDWR; break;
    default: portable = VFS_PL_O_RDONLY; break;
  }
  for (const flag_map &row : kOpenFlags) {
    if (flags & row.posix) portable |= row.portable;
  }
  // O_SYNC includes the O_DSYNC bit: either one asks for synchronous writes.
  if (flags & O_DSYNC) portable |= VFS_PL_O_SYNC;
  return portable;
}

int os_setxattr_flag_2_pl(int flags) {
  if (flags == 0 || flags == 1 || flags == 2) return flags;
  ZLOG(LOG2_ERR, "flag=%d error: unspport\n", flags);
  return 0;
}

void myfuse_info_2_stat(const VfsFileInfo &info, struct stat *st) {
  memset(st, 0, sizeof(*st));
  st->st_mode = info.mode;
  if (info.type & VFS_FTYPE_NO_MODE) {
    st->st_mode = (info.type & 0xff) == VFS_FTYPE_DIR ? (S_IFDIR | 0775) : (S_IFREG | 0775);
  }
  st->st_uid = info.uid;
  st->st_gid = info.gid;
  st->st_size = info.size;
  st->st_nlink = info.nlink;
  st->st_dev = info.dev;
  st->st_rdev = info.rdev;
  st->st_ino = info.ino;
  st->st_blksize = info.blksize;
  st->st_blocks = info.blocks;
  st->st_atim = timespec_from(info.atime);
  st->st_mtim = timespec_from(info.mtime);
  st->st_ctim = timespec_from(info.ctime);
}

void myfuse_statfs_2_statvfs(const VfsStatfs &stats, struct statvfs *stv) {
  memset(stv, 0, sizeof(*stv));
  stv->f_bsize = stats.bsize;
  stv->f_frsize = stats.frsize;
  stv->f_blocks = stats.blocks;
  stv->f_bfree = stats.bfree;
  stv->f_bavail = stats.bavail;
  stv->f_files = stats.files;
  stv->f_ffree = stats.ffree;
  stv->f_favail = stats.favail;
  stv->f_fsid = stats.fsid;
  stv->f_flag = stats.flag;
  stv->f_namemax = stats.namemax;
}

VfsTimes myfuse_timespec_2_times(const struct timespec ts[2], const VfsFileInfo &current,
                                 const struct timespec &now) {
  auto resolve = [&now](const struct timespec &t, const VfsTime &kept) {
    if (t.tv_nsec == UTIME_OMIT) return kept;
    return time_from(t.tv_nsec == UTIME_NOW ? now : t);
  };
  return VfsTimes{resolve(ts[0], current.atime), resolve(ts[1], current.mtime), VfsTime{0, 0}};
}

void fuse_time_use_check(uint64_t start_ms, const char *path, const char *op_name) {
  double elapsed = static_cast<double>(os_get_ms() - start_ms) / 1000.0;
  if (elapsed <= 3.0) return;
  ZLOG(elapsed >= 15.0 ? LOG2_ERR : LOG2_WARN, "%s (%s) time=%0.2fs warn: more time use\n", op_name,
       path ? path : "", elapsed);
}
