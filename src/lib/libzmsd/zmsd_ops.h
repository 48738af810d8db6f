// The file, directory, path, volume and control calls of the zmp client, on a session opened
// with zmsd_cli_connect. Handles are records whose first word tells their kind; a call given a
// handle of another kind fails. Results: 0 or a count, -1 (none for handles) on failure, with
// the reason in the session's error record (zmsd_cli_last_errno / zmsd_cli_last_error).
#pragma once

#include <cstddef>
#include <cstdint>

#include "zmsd.h"

struct zmsd_file;  // an open file of a session
struct zmsd_dir;   // an open directory listing of a session

// File status as the server reports it (times in the server's units).
struct zmsd_stat {
  uint32_t type;
  uint32_t attrib_mode;
  uint32_t uid;
  uint32_t gid;
  uint64_t len;
  uint64_t time_access;
  uint32_t time_access_ns;
  uint64_t time_write;
  uint32_t time_write_ns;
  uint64_t time_create;
  uint32_t time_create_ns;
  uint64_t nlink;
  uint64_t dev;
  uint64_t rdev;
  uint64_t ino;
  uint64_t blksize;
  uint64_t blocks;
};

inline constexpr int ZMSD_DIRENT_TEXT_SIZE = 512;   // up to 511 characters
inline constexpr int ZMSD_DIRENT_NAME_SIZE = 4096;  // up to 4095 characters

struct zmsd_dirent {
  zmsd_stat st;
  char text[ZMSD_DIRENT_TEXT_SIZE];  // a symbolic link's target on the servers we know
  char name[ZMSD_DIRENT_NAME_SIZE];
};

struct zmsd_volinfo {
  uint32_t flags;
  uint32_t name_len;
  uint64_t avail_bytes;
  uint64_t free_bytes;
  uint64_t total_bytes;
  char fs_name[16];
  char vol_name[256];
};

struct zmsd_ftimes {
  uint64_t time_access;
  uint32_t time_access_ns;
  uint64_t time_write;
  uint32_t time_write_ns;
  uint64_t time_create;
  uint32_t time_create_ns;
};

// The eleven file-system statistics of server control 10001, in the statvfs order.
struct zmsd_statfs {
  uint64_t v[11];
};

// File control codes (command 20).
enum : int {
  ZMSD_IOCTL_GETCWD = 10010,
  ZMSD_IOCTL_CHDIR = 10011,
  ZMSD_IOCTL_CREATE_FILE = 10012,
  ZMSD_IOCTL_MKDIRS = 10013,
  ZMSD_IOCTL_RMDIR = 10014,
  ZMSD_IOCTL_UNLINK = 10015,
  ZMSD_IOCTL_RENAME = 10016,
  ZMSD_IOCTL_SETATTR = 10018,
  ZMSD_IOCTL_ACCESS = 10019,
  ZMSD_IOCTL_MKDIR = 10020,
  ZMSD_IOCTL_MKNOD = 10021,
  ZMSD_IOCTL_MKFIFO = 10022,
  ZMSD_IOCTL_LINK = 10023,
  ZMSD_IOCTL_SYMLINK = 10024,
  ZMSD_IOCTL_CHMOD = 10025,
  ZMSD_IOCTL_LCHMOD = 10026,
  ZMSD_IOCTL_CHOWN = 10027,
  ZMSD_IOCTL_LCHOWN = 10028,
  ZMSD_IOCTL_UTIME = 10029,
  ZMSD_IOCTL_LUTIME = 10030,
  ZMSD_IOCTL_TRUNCATE = 10035,
  ZMSD_IOCTL_READ_TIMEOUT = 10100,
  ZMSD_IOCTL_FCTL_100 = 10101,
  ZMSD_IOCTL_FCTL_101 = 10102,
  ZMSD_IOCTL_FCTL_102 = 10103,
  ZMSD_IOCTL_FCTL_103 = 10104,
  ZMSD_IOCTL_WRITE_TIMEOUT = 10105,
};

// Operations of zmsd_cli_ioctl below the file control codes.
enum : int {
  ZMSD_OP_ERROR_CLASS = 1,
  ZMSD_OP_FSTAT = 2,  // data: zmsd_stat
  ZMSD_OP_FUTIME = 3,  // data: zmsd_ftimes
  ZMSD_OP_LOCK = 4,    // data: zmsd_lock_range
};

struct zmsd_lock_range {
  int32_t type;
  uint64_t offset;
  uint64_t len;
};

// Server control codes (command 8).
enum : int {
  ZMSD_IOCTL2_CTX_RETAIN = 101,
  ZMSD_IOCTL2_CTX_NUMBER = 102,
  ZMSD_IOCTL2_GET_LAST_CMD_IDX = 103,
  ZMSD_IOCTL2_ATTACH_CTX = 104,
  ZMSD_IOCTL2_ATTACH_CTX_REPLY = 105,
  ZMSD_IOCTL2_CTX_RUN_STATUS = 106,
  ZMSD_IOCTL2_CTX_REQ_STOP = 107,
  ZMSD_IOCTL2_STATFS = 10001,
  ZMSD_IOCTL2_READLINK = 10002,
  ZMSD_IOCTL2_LISTXATTR = 10003,
  ZMSD_IOCTL2_GETXATTR = 10004,
  ZMSD_IOCTL2_REMOVEXATTR = 10005,
  ZMSD_IOCTL2_SEEKDIR = 10050,
  ZMSD_IOCTL2_VSS_MOUNT = 10111,
  ZMSD_IOCTL2_VSS_UMOUNT = 10112,
};

inline constexpr uint32_t ZMSD_O_VSS = 0x10000;  // open flag that needs a server from 1.6.7
inline constexpr uint32_t ZMSD_O_TRUNC = 0x20;    // the open flag that empties the file
inline constexpr int ZMSD_RESTART_BLOCK = 204800;  // read chunk after a failed large read
inline constexpr char ZMSD_UPGRADE_TEXT[] = "not supported, please upgrade zmsd to the latest version";

// --- files ---------------------------------------------------------------------------------------

[[nodiscard]] zmsd_file *zmsd_cli_open(zmsd_session *s, const char *path, uint32_t flags);
[[nodiscard]] zmsd_file *zmsd_cli_open2(zmsd_session *s, const char *path, uint32_t flag,
                                        uint32_t mode);
[[nodiscard]] zmsd_file *zmsd_cli_wopen(zmsd_session *s, const char *path, uint32_t desire_access,
                                        uint32_t share_mode, const void *sec_attrib,
                                        uint32_t creat_disp, uint32_t flag_attrib,
                                        uint64_t temp_handle);
// Sends the close and frees the handle whatever the server answers.
int zmsd_cli_close(zmsd_file *f);
// offset -1: at the handle's current position. Byte count or -1.
[[nodiscard]] int zmsd_cli_read(zmsd_file *f, void *buf, int len, int64_t offset);
[[nodiscard]] int zmsd_cli_write(zmsd_file *f, const void *buf, int len, int64_t offset);
[[nodiscard]] int64_t zmsd_cli_seek(zmsd_file *f, int64_t offset, int whence);
[[nodiscard]] int zmsd_cli_ftruncate(zmsd_file *f, int64_t len);
[[nodiscard]] int zmsd_cli_fsync(zmsd_file *f);
[[nodiscard]] int zmsd_cli_fstat(zmsd_file *f, zmsd_stat *out);
[[nodiscard]] int zmsd_cli_futime(zmsd_file *f, const zmsd_ftimes *times);
[[nodiscard]] int zmsd_cli_lock(zmsd_file *f, int type, uint64_t offset, uint64_t len);
[[nodiscard]] int zmsd_cli_set_fd_read_timeout(zmsd_file *f, int ms);
[[nodiscard]] int zmsd_cli_set_fd_write_timeout(zmsd_file *f, int ms);

// handle: a session, file or directory. Code 1: the error class of the last server error (0 none,
// 1 access, 2 not found, 3 other); 2, 3, 4: fstat, futime, lock of a file handle (data as above);
// 5 and above: file control with that code and length payload bytes.
[[nodiscard]] int zmsd_cli_ioctl(void *handle, int code, void *data, int length);
// Server control: in_len -1 sends the text input with its NUL. Up to out_room output bytes are
// copied to out, their count to *out_len (both may be null).
[[nodiscard]] int zmsd_cli_ioctl2(void *handle, int code, const void *in, int in_len, void *out,
                                  int out_room, int *out_len);

// --- directories ---------------------------------------------------------------------------------

[[nodiscard]] zmsd_dir *zmsd_cli_opendir(zmsd_session *s, const char *path, const char *pattern);
// The next entry, or null at the end (error record code 0) or on failure.
zmsd_dirent *zmsd_cli_readdir(zmsd_dir *d);
int64_t zmsd_cli_telldir(zmsd_dir *d);
[[nodiscard]] int zmsd_cli_seekdir(zmsd_dir *d, uint64_t n);
int zmsd_cli_closedir(zmsd_dir *d);

// --- paths and volumes ---------------------------------------------------------------------------

[[nodiscard]] int zmsd_cli_stat(zmsd_session *s, const char *path, zmsd_stat *out);   // follows
[[nodiscard]] int zmsd_cli_stat2(zmsd_session *s, const char *path, zmsd_stat *out);  // the link
[[nodiscard]] int zmsd_cli_volinfo(zmsd_session *s, const char *path, zmsd_volinfo *out);
[[nodiscard]] int zmsd_cli_info(zmsd_session *s, char *buf, size_t size);
int zmsd_cli_os_type(zmsd_session *s);
[[nodiscard]] int zmsd_cli_statfs(zmsd_session *s, const char *path, zmsd_statfs *out);
// Length of the target copied into buf (cut to size - 1 and terminated), or -1.
[[nodiscard]] int zmsd_cli_readlink(zmsd_session *s, const char *path, char *buf, size_t size);
// A shadow copy of the volume root ("C:\\"); its root path into out (4096 bytes).
[[nodiscard]] int zmsd_cli_vss_mount(zmsd_session *s, const char *root, char *out);
[[nodiscard]] int zmsd_cli_vss_umount(zmsd_session *s);

// Path operations (file control on the session); paths are the server's full paths.
[[nodiscard]] int zmsd_cli_path_op(zmsd_session *s, int code, const char *path);  // 10012..10015
[[nodiscard]] int zmsd_cli_path_mode(zmsd_session *s, int code, const char *path, uint32_t v);
[[nodiscard]] int zmsd_cli_two_paths(zmsd_session *s, int code, const char *a, const char *b);
[[nodiscard]] int zmsd_cli_rename(zmsd_session *s, const char *from, const char *to, uint32_t flags);
[[nodiscard]] int zmsd_cli_mknod(zmsd_session *s, const char *path, uint32_t mode, uint64_t dev);
[[nodiscard]] int zmsd_cli_chown(zmsd_session *s, int code, const char *path, uint32_t uid,
                                 uint32_t gid);
[[nodiscard]] int zmsd_cli_utime(zmsd_session *s, int code, const char *path,
                                 const zmsd_ftimes *times);
[[nodiscard]] int zmsd_cli_truncate(zmsd_session *s, const char *path, int64_t len);

// Named attributes, not following a final link. get and list: byte count copied, or -1.
[[nodiscard]] int zmsd_cli_lgetxattr(zmsd_session *s, const char *path, const char *name,
                                     void *buf, int size);
[[nodiscard]] int zmsd_cli_lsetxattr(zmsd_session *s, const char *path, const char *name,
                                     const void *value, int size, int flags);
[[nodiscard]] int zmsd_cli_lremovexattr(zmsd_session *s, const char *path, const char *name);
[[nodiscard]] int zmsd_cli_llistxattr(zmsd_session *s, const char *path, char *buf, int size);

// --- link recovery -------------------------------------------------------------------------------

// Turns on recovery: context retention (101), then the context number (102). 0 or the status.
[[nodiscard]] int zmsd_cli_set_auto_reconnect(zmsd_session *s);
