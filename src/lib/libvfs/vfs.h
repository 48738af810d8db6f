// Virtual file system: one file-system interface over the back-end drivers (local directory,
// remote service, FTP). Mounts by URL, file and directory handles, the per-mount error record,
// the read and write caches, and the driver record through which back ends plug in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal_verr.h"

// Opaque records; every one starts with a magic number and a kind that each call checks.
struct VfsMount;   // one mounted URL
struct VfsHandle;  // an open file (kind 2) or directory (kind 3)

inline constexpr uint32_t VFS_MAGIC = 0x55AA55AA;

enum : uint32_t {
  VFS_KIND_MOUNT = 1,
  VFS_KIND_FILE = 2,
  VFS_KIND_DIR = 3,
};

// --- records ---------------------------------------------------------------------------------

struct VfsTime {
  int64_t sec;
  uint32_t nsec;
};

// access, modification, status change. An entry whose seconds are 0 is set to the current time
// before the driver sees it, unless its nanoseconds are UTIME_NOW or UTIME_OMIT (kept as they are).
struct VfsTimes {
  VfsTime atime;
  VfsTime mtime;
  VfsTime ctime;
};

// Bits of VfsFileInfo::type.
enum : uint32_t {
  VFS_FTYPE_DIR = 1,
  VFS_FTYPE_FILE = 2,         // anything that is not a directory
  VFS_FTYPE_LINK = 0x100,     // added for a symbolic link
  VFS_FTYPE_NO_MODE = 0x800,  // back end has no POSIX mode: derive it from the type
};

struct VfsFileInfo {
  uint32_t type;
  uint32_t mode;
  uint32_t uid;
  uint32_t gid;
  int64_t size;
  VfsTime atime;
  VfsTime mtime;
  VfsTime ctime;
  uint64_t nlink;
  uint64_t dev;
  uint64_t rdev;
  uint64_t ino;
  int64_t blksize;
  uint64_t blocks;
};

inline constexpr int VFS_NAME_SIZE = 512;   // entry name, at most 511 characters
inline constexpr int VFS_LINK_SIZE = 4096;  // link target, at most 4095 characters

struct VfsDirEntry {
  VfsFileInfo info;
  char name[VFS_NAME_SIZE];
  char link[VFS_LINK_SIZE];  // empty when the entry is not a symbolic link
};

// The POSIX statvfs values, widened (code VFS_IOC_STATFS).
struct VfsStatfs {
  uint64_t bsize;
  uint64_t frsize;
  uint64_t blocks;
  uint64_t bfree;
  uint64_t bavail;
  uint64_t files;
  uint64_t ffree;
  uint64_t favail;
  uint64_t fsid;
  uint64_t flag;
  uint64_t namemax;
};

// Volume information (driver slot statfs and code VFS_IOC_VOLINFO).
struct VfsVolInfo {
  uint32_t caps;      // capability flags; the local driver sets 0x8E
  uint32_t name_max;  // 255 when the system reports 0
  uint64_t avail_bytes;
  uint64_t free_bytes;
  uint64_t total_bytes;
  char fs_type[16];
  char label[256];
};

// --- open flags ------------------------------------------------------------------------------

// VFS open flags (a handle's flags).
enum : uint32_t {
  VFS_O_RDONLY = 0x1,
  VFS_O_WRONLY = 0x2,
  VFS_O_RDWR = 0x4,
  VFS_O_CREAT = 0x8,
  VFS_O_APPEND = 0x10,
  VFS_O_TRUNC = 0x20,
  VFS_O_DIRECT = 0x40,
  VFS_O_CONVERTED = 0x80,  // always set by the two conversions below
};

// The platform's portable open flags, what vfs_open2 takes (the FUSE adapter builds them from
// POSIX open flags). The low two bits are the access value.
enum : uint32_t {
  VFS_PL_O_RDONLY = 0,
  VFS_PL_O_WRONLY = 1,
  VFS_PL_O_RDWR = 2,
  VFS_PL_O_ACCMODE = 3,
  VFS_PL_O_CREAT = 0x4,
  VFS_PL_O_APPEND = 0x8,
  VFS_PL_O_TRUNC = 0x10,
  VFS_PL_O_DIRECT = 0x20,
  VFS_PL_O_EXCL = 0x40,
  VFS_PL_O_NOFOLLOW = 0x80,
  VFS_PL_O_NONBLOCK = 0x100,
  VFS_PL_O_SYNC = 0x200,
  VFS_PL_O_DIRECTORY = 0x800,
  VFS_PL_O_CLOEXEC = 0x1000,
  VFS_PL_O_LARGEFILE = 0x80000,
};

// Windows-style access bits and dispositions taken by vfs_wopen.
enum : uint32_t {
  VFS_W_GENERIC_READ = 0x80000000u,
  VFS_W_GENERIC_WRITE = 0x40000000u,
  VFS_W_CREATE_NEW = 1,
  VFS_W_CREATE_ALWAYS = 2,
  VFS_W_OPEN_EXISTING = 3,
  VFS_W_OPEN_ALWAYS = 4,
  VFS_W_TRUNCATE_EXISTING = 5,
};

uint32_t vfs_flags_from_portable(uint32_t portable_flags);
uint32_t vfs_flags_from_windows(uint32_t access, uint32_t disposition);

// Region-lock operations (driver slot flock).
enum : int {
  VFS_LOCK_SHARED = 1,
  VFS_LOCK_EXCLUSIVE = 2,
  VFS_LOCK_UNLOCK = 3,
};

// --- path operations through the driver's ioctl slot -----------------------------------------

enum : uint32_t {
  VFS_IOC_ACTIVE_TIME = 1,    // block: uint64_t out
  VFS_IOC_NEED_EXIT = 2,      // block: uint32_t out
  VFS_IOC_STATFS = 3,         // VfsArgStatfs
  VFS_IOC_GETCWD = 4,         // block: the buffer itself, size: its size
  VFS_IOC_CHDIR = 5,          // block: the path itself, size -1
  VFS_IOC_OSTYPE = 6,         // block: uint32_t out
  VFS_IOC_VOLINFO = 7,        // VfsArgVolinfo
  VFS_IOC_ACCESS = 30,        // VfsArgPathMode
  VFS_IOC_CREATE_FILE = 31,   // block: the path itself, size -1
  VFS_IOC_MKDIRS = 32,        // block: the path itself, size -1
  VFS_IOC_MKDIR = 33,         // VfsArgPathMode
  VFS_IOC_MKNOD = 34,         // VfsArgMknod
  VFS_IOC_MKFIFO = 35,        // VfsArgPathMode
  VFS_IOC_LINK = 36,          // VfsArgTwoPaths (existing, new)
  VFS_IOC_SYMLINK = 37,       // VfsArgTwoPaths (target taken literally, link path)
  VFS_IOC_RMDIR = 40,         // block: the path itself, size -1
  VFS_IOC_UNLINK = 41,        // block: the path itself, size -1
  VFS_IOC_RENAME = 42,        // VfsArgRename
  VFS_IOC_READLINK = 43,      // VfsArgBuffer
  VFS_IOC_STAT = 44,          // VfsArgFileInfo
  VFS_IOC_LSTAT = 45,         // VfsArgFileInfo
  VFS_IOC_SETATTR = 50,       // VfsArgPathMode (the value)
  VFS_IOC_TRUNCATE = 51,      // VfsArgTruncate
  VFS_IOC_CHMOD = 52,         // VfsArgPathMode
  VFS_IOC_LCHMOD = 53,        // VfsArgPathMode
  VFS_IOC_CHOWN = 54,         // VfsArgOwner
  VFS_IOC_LCHOWN = 55,        // VfsArgOwner
  VFS_IOC_UTIME = 56,         // VfsArgTimes
  VFS_IOC_LUTIME = 57,        // VfsArgTimes
  VFS_IOC_LGETXATTR = 60,     // VfsArgGetXattr
  VFS_IOC_LSETXATTR = 61,     // VfsArgSetXattr
  VFS_IOC_LREMOVEXATTR = 62,  // VfsArgXattrName
  VFS_IOC_LLISTXATTR = 63,    // VfsArgBuffer
};

struct VfsArgStatfs {
  const char *path;
  VfsStatfs *out;
};
struct VfsArgVolinfo {
  const char *path;
  VfsVolInfo *out;
};
struct VfsArgPathMode {
  const char *path;
  uint32_t mode;
};
struct VfsArgMknod {
  const char *path;
  uint32_t mode;
  uint64_t dev;
};
struct VfsArgTwoPaths {
  const char *from;
  const char *to;
};
struct VfsArgRename {
  const char *from;
  const char *to;
  uint8_t flags;
};
struct VfsArgBuffer {
  const char *path;
  char *buf;
  uint32_t size;
};
struct VfsArgFileInfo {
  const char *path;
  VfsFileInfo *info;
};
struct VfsArgTruncate {
  const char *path;
  int64_t length;
};
struct VfsArgOwner {
  const char *path;
  uint32_t uid;
  uint32_t gid;
};
struct VfsArgTimes {
  const char *path;
  VfsTimes times;
};
struct VfsArgGetXattr {
  const char *path;
  const char *name;
  void *buf;
  uint32_t size;
};
struct VfsArgSetXattr {
  const char *path;
  const char *name;
  const void *value;
  uint32_t size;
  int32_t flags;  // 0, 1 create only, 2 replace only
};
struct VfsArgXattrName {
  const char *path;
  const char *name;
};

// --- driver record ---------------------------------------------------------------------------

enum : uint32_t {
  VFS_DRV_FILE = 1,
  VFS_DRV_ZMSD = 2,
  VFS_DRV_FTP = 3,
};

// One static instance per driver. ctx is the driver's mount context, fh a driver file handle,
// dh a driver directory handle. An empty slot makes its operation fail with -1 (null for opens)
// and records VERR_NOT_SUPPORTED in the mount's error record.
struct VfsDriver {
  uint32_t id;
  const char *name;
  int (*init)();
  int (*exit)();
  int (*probe)(const char *url);  // 0 when this driver serves the URL
  // err is the mount's error record (the driver fills it on every failure), mount the owner;
  // arg is the caller's stop control (stop_ctl of the socket layer) or null.
  void *(*mount)(const char *url, void *arg, verr_info *err, VfsMount *mount);
  int (*umount)(void *ctx);
  int (*statfs)(void *ctx, VfsVolInfo *info);
  int (*get_readonly)(void *ctx, uint32_t *out);
  void *(*open)(void *ctx, const char *path, uint32_t flags);
  void *(*wopen)(void *ctx, const char *path, uint32_t access, uint32_t share, void *security,
                 uint32_t disposition, uint32_t attributes, void *templ);
  void *(*open2)(void *ctx, const char *path, uint32_t portable_flags, uint32_t mode);
  int (*close)(void *fh, int flag, int kind);
  int (*read)(void *fh, void *buf, uint32_t size, int64_t offset);
  int (*write)(void *fh, const void *buf, uint32_t size, int64_t offset);
  int (*fsync)(void *fh, int datasync);
  // Optional: completes what the driver otherwise completes only at close (an upload whose
  // result the server reports at its end), so that vfs_flush, and with it close(2), reports it.
  int (*flush)(void *fh);
  int64_t (*lseek)(void *fh, int64_t offset, int whence);
  int (*fstat)(void *fh, VfsFileInfo *info);
  int (*ftruncate)(void *fh, int64_t length);
  int (*futime)(void *fh, const VfsTimes *times);
  int (*flock)(void *fh, int operation, int64_t start, int64_t length);
  void *(*opendir)(void *ctx, const char *path, const char *pattern);
  VfsDirEntry *(*readdir)(void *dh);
  void (*seekdir)(void *dh, int64_t pos);
  int64_t (*telldir)(void *dh);
  int (*closedir)(void *dh);
  int (*ioctl)(void *ctx_or_fh, uint32_t code, void *block, int32_t size);
};

// --- life cycle ------------------------------------------------------------------------------

int libvfs_init();  // registers the built-in drivers and initialises them; 0 / -1; idempotent
int libvfs_exit();  // calls every driver's exit and empties the registry; 0

// Registers one more driver (initialising the VFS first) and calls its init; it is probed before
// the drivers registered earlier. The registry has four slots: the three built-in drivers leave
// room for one more (a test driver). 0, or -1 when the registry is full or its init fails.
[[nodiscard]] int vfs_driver_add(const VfsDriver *drv);

// arg: optional stop control handed to the driver's mount; err: optional, receives the failure.
VfsMount *vfs_mount2(const char *url, void *arg, verr_info *err);
VfsMount *vfs_mount(const char *url, verr_info *err);
// Flushes and closes every handle still open, then the driver's umount result; -1 bad handle.
int vfs_umount(VfsMount *mount);
int vfs_set_mnt_dir(VfsMount *mount, const char *dir);  // vfs_symlink needs it

// --- file handles ----------------------------------------------------------------------------

VfsHandle *vfs_open(VfsMount *mount, const char *path, uint32_t vfs_flags);
VfsHandle *vfs_open2(VfsMount *mount, const char *path, uint32_t portable_flags, uint32_t mode);
VfsHandle *vfs_wopen(VfsMount *mount, const char *path, uint32_t access, uint32_t share,
                     void *security, uint32_t disposition, uint32_t attributes, void *templ);

// Bytes read (0 at end of file) or -1. Pending writes of the handle are written first.
int vfs_read(VfsHandle *fh, void *buf, uint32_t size, int64_t offset);
// Bytes accepted or -1. A write held in the write cache reaches the driver at the next flush.
int vfs_write(VfsHandle *fh, const void *buf, uint32_t size, int64_t offset);
// Writes the handle's pending write-cache data, then lets the driver complete its transfer
// (its flush slot, when it has one): 0, or -1 with the mount's error record filled (the data
// stays pending). The FUSE flush (every close(2)) reports its error to the application.
[[nodiscard]] int vfs_flush(VfsHandle *fh);
// Both write pending data, then always close the driver handle and free the VFS handle.
// Result: -1 when the flush or the driver's close failed (error record filled), else the
// driver's close result.
int vfs_release(VfsHandle *fh);
int vfs_close(VfsHandle *fh);

// Each writes pending data first; a failed flush gives -1 without calling the driver.
int vfs_fsync(VfsHandle *fh, int datasync);
int64_t vfs_lseek(VfsHandle *fh, int64_t offset, int whence);
int vfs_fstat(VfsHandle *fh, VfsFileInfo *info);
int vfs_ftruncate(VfsHandle *fh, int64_t length);
int vfs_futime(VfsHandle *fh, const VfsTimes *times);
int vfs_flock(VfsHandle *fh, int operation);  // whole file
int vfs_flock_range(VfsHandle *fh, int operation, int64_t start, int64_t length);
int vfs_funlock(VfsHandle *fh);

// --- directory handles -----------------------------------------------------------------------

VfsHandle *vfs_opendir(VfsMount *mount, const char *path, const char *pattern);  // null: all
VfsDirEntry *vfs_readdir(VfsHandle *dh);                                         // null at the end
void vfs_seekdir(VfsHandle *dh, int64_t pos);
int64_t vfs_telldir(VfsHandle *dh);  // -1 for a bad handle
int vfs_closedir(VfsHandle *dh);
int vfs_dir_is_empty(VfsMount *mount, const char *path);  // 1 empty, 0 not, -1 cannot open

// --- mount-level queries ---------------------------------------------------------------------

int vfs_statvol(VfsMount *mount, VfsVolInfo *info);
int vfs_get_readonly(VfsMount *mount, uint32_t *out);
uint64_t vfs_get_active_time(VfsMount *mount);  // platform clock ms, 0 when not kept
uint32_t vfs_need_exit(VfsMount *mount);        // 1 when the mount is broken
uint32_t vfs_get_ostype(VfsMount *mount);
// One "file_name=%s h=%x\n" line per open file, one "dir_name=%s h=%x\n" per directory;
// a new text the caller frees with os_free (null for a bad handle).
char *vfs_dump_handles(VfsMount *mount);

// --- errors: the mount's last-error record, through any handle of the mount ---------------------

verrno vfs_get_errno(const VfsMount *mount);  // -1 for a bad handle
verrno vfs_get_errno(const VfsHandle *handle);
int vfs_get_posix_errno(const VfsMount *mount);
int vfs_get_posix_errno(const VfsHandle *handle);
const char *vfs_get_error(const VfsMount *mount);  // "invalid handle error" for a bad handle
const char *vfs_get_error(const VfsHandle *handle);
int vfs_copy_error(const VfsMount *mount, verr_info *out);
int vfs_copy_error(const VfsHandle *handle, verr_info *out);

// --- path operations (paths relative to the mount root); driver result, -1 bad handle ------------

int vfs_statfs(VfsMount *mount, const char *path, VfsStatfs *out);
int vfs_getcwd(VfsMount *mount, char *buf, uint32_t size);
int vfs_chdir(VfsMount *mount, const char *path);
int vfs_volinfo(VfsMount *mount, const char *path, VfsVolInfo *out);
int vfs_access(VfsMount *mount, const char *path, uint32_t mode);
int vfs_create_file(VfsMount *mount, const char *path);
int vfs_mkdirs(VfsMount *mount, const char *path);
int vfs_mkdir(VfsMount *mount, const char *path, uint32_t mode);
int vfs_mknod(VfsMount *mount, const char *path, uint32_t mode, uint64_t dev);
int vfs_mkfifo(VfsMount *mount, const char *path, uint32_t mode);
int vfs_link(VfsMount *mount, const char *existing, const char *path);
int vfs_symlink(VfsMount *mount, const char *target, const char *path);  // needs mnt_dir
int vfs_rmdir(VfsMount *mount, const char *path);
int vfs_unlink(VfsMount *mount, const char *path);
// flags 0: an existing target is not replaced (EEXIST); any other value replaces it.
int vfs_rename(VfsMount *mount, const char *from, const char *to, uint8_t flags);
int vfs_readlink(VfsMount *mount, const char *path, char *buf, uint32_t size);  // length or -1
int vfs_stat(VfsMount *mount, const char *path, VfsFileInfo *info);
int vfs_lstat(VfsMount *mount, const char *path, VfsFileInfo *info);
// Stat (following links) on a zeroed record; stores its type (0 after a failure) in out_type.
int vfs_get_ftype(VfsMount *mount, const char *path, uint32_t *out_type);
int vfs_setattr(VfsMount *mount, const char *path, uint32_t value);
int vfs_truncate(VfsMount *mount, const char *path, int64_t length);
int vfs_chmod(VfsMount *mount, const char *path, uint32_t mode);
int vfs_lchmod(VfsMount *mount, const char *path, uint32_t mode);
int vfs_chown(VfsMount *mount, const char *path, uint32_t uid, uint32_t gid);
int vfs_lchown(VfsMount *mount, const char *path, uint32_t uid, uint32_t gid);
int vfs_utime(VfsMount *mount, const char *path, const VfsTimes *times);
int vfs_lutime(VfsMount *mount, const char *path, const VfsTimes *times);
int vfs_lgetxattr(VfsMount *mount, const char *path, const char *name, void *buf, uint32_t size);
int vfs_lsetxattr(VfsMount *mount, const char *path, const char *name, const void *value,
                  uint32_t size, int flags);
int vfs_lremovexattr(VfsMount *mount, const char *path, const char *name);
int vfs_llistxattr(VfsMount *mount, const char *path, char *buf, uint32_t size);
