// Mounting a libfuse 2 file system without the external fusermount utility: the kernel mount
// and unmount are done in this process (the caller must be root or hold CAP_SYS_ADMIN), and
// the library is handed the mounted /dev/fuse descriptor. Assumes a distribution libfuse 2.9.
#pragma once

#ifndef FUSE_USE_VERSION
#define FUSE_USE_VERSION 27
#endif

#include <fuse.h>

#include <cstdint>
#include <string>
#include <vector>

// --- serving a file system -------------------------------------------------------------------
// What the mount step asks for; texts are borrowed for the duration of try_fuse_mount.
struct fuse_mount_request {
  const char *fsname;      // program name handed to FUSE, also the prefix of mount messages
  const char *mountpoint;  // normalised mount directory
  const char *options;     // comma-separated mount options after the read-only decision
  int attr_cache;          // 0: attributes are never cached by the kernel
  int fuse_debug;          // non-zero: the library traces every request
  int readonly;            // what the back end reported
  // Called once the file system is mounted and set up, just before requests are served
  // (null: nothing to call).
  void (*on_mounted)(void *arg);
  void *on_mounted_arg;
};

// Prepares kernel support, mounts, serves requests in the calling thread until the file system
// is unmounted or the loop is told to exit, then undoes the mount. 0, or -1 when it could not
// be mounted or set up.
[[nodiscard]] int try_fuse_mount(const fuse_operations *ops, const fuse_mount_request *request);

// Ends the request loop of try_fuse_mount soon, from any thread; async-signal-safe. The loop
// then undoes the mount as after an external unmount (a busy mount is detached). A request made
// before the loop starts ends it as soon as it starts.
void fuse2_request_exit();
// Ends the request loop that is running now, if any: unlike fuse2_request_exit it is forgotten
// when no loop runs, so a later mount is not ended by it. For a mount taken away from inside
// (a detached mount whose files are still open keeps the kernel from ending the loop).
void fuse2_wake_loop();
// The library's mount step done with the in-process routine: sorts the mount options of args
// into opts, mounts, and returns the channel on the mounted descriptor, or null.
fuse_chan *fuse2_mount(const char *mountpoint, fuse_args *args, struct fuse_kern_opts *opts);
// Unmounts a mount point served by this process: without a channel (from signal handlers and
// other threads) it always unmounts; with the channel, after the request loop ended, it
// destroys the channel and unmounts unless the kernel already dropped the connection. A mount
// still busy with open files is detached (lazy unmount). 0 or -1.
int fuse2_unmount(const char *mountpoint, fuse_chan *channel);

// --- kernel FUSE support ----------------------------------------------------------------------
// Scans a file-system list in the format of /proc/filesystems: 3 "fuseblk" listed, 2 "fuse"
// listed, 0 neither, 1 the list cannot be opened.
int fuse_fs_support(const char *path);
// fuse_fs_support of /proc/filesystems, loading the module through /sbin/modprobe when missing.
int fuse_kernel_support();
// Creates /dev/fuse (character device 10, 229, mode 0666) when it is missing.
void mknod_dev_fuse();

// --- the in-process mount routine ----------------------------------------------------------------
// Mount: returns the open /dev/fuse descriptor of the new mount or -1. Unmount (unmount != 0):
// 0 or -1. Messages go to standard error, prefixed with the name set below.
[[nodiscard]] int fusermount_main(int unmount, int lazy, int quiet, const char *options,
                                  const char *mountpoint);
void fusermount_set_progname(const char *name);

// One row of the mount-flag table: option name, kernel flag, 1 sets / 0 clears, allowed for
// users other than root.
struct fuse_mount_flag {
  const char *opt;
  unsigned long flag;
  int on;
  int safe;
};
// The row named opt, or null.
const fuse_mount_flag *fuse_mount_flag_find(const char *opt);
// Every row, ending with a row whose opt is null.
const fuse_mount_flag *fuse_mount_flag_table();

// What the mount routine makes of an option text before mounting.
struct fusermount_opts {
  unsigned long flags;   // starts as MS_NOSUID | MS_NODEV
  std::string kernel;    // items passed on to the kernel, comma-separated
  std::string fsname;    // mount source; empty means "/dev/fuse"
  bool blkdev;           // fuseblk instead of fuse
};
// Splits options at unescaped commas and sorts every item; prints the routine's notes for
// deprecated and unsafe items. is_root selects which table rows are allowed.
fusermount_opts fusermount_parse_opts(const char *options, bool is_root);
// The kernel data text: the passed items, then fd, rootmode, user_id and (unless
// with_group is false) group_id.
std::string fusermount_kernel_data(const fusermount_opts &opts, int fd, unsigned rootmode,
                                   unsigned uid, unsigned gid, bool with_group);

// --- the library's mount-option step ----------------------------------------------------------
// The mount options a FUSE argument vector carries, sorted as the library's mount step does.
struct fuse_kern_opts {
  unsigned long flags = 0;
  std::vector<std::string> kernel;      // allow_other, default_permissions, max_read=, ...
  std::vector<std::string> mtab;        // user=
  std::vector<std::string> fusermount;  // fsname=, subtype=, blkdev, nonempty, auto_unmount
  bool allow_other = false;
  bool allow_root = false;
};
// 0, or -1 (with a message on standard error) for options that cannot go together.
[[nodiscard]] int fuse_kern_opts_parse(fuse_args *args, fuse_kern_opts *out);
// The option text handed to fusermount_main: "rw" or "ro", the set flags, "dev"/"suid" when
// those flags are clear, then the kernel, mtab and fusermount items.
std::string fuse_kern_opts_text(const fuse_kern_opts &opts);
