// The FUSE front end: the operation table that turns kernel requests into VFS calls, and the
// mount step that serves one mount URL until it is unmounted. One mount per process; the
// serving loop runs in the caller's thread, the unmount may come from any thread or handler.
#pragma once

#include "fuse2.h"
#include "vfs.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>

inline constexpr int MYFUSE_ERR_SIZE = 4096;
inline constexpr int MYFUSE_MNT_DIR_SIZE = 4096;
inline constexpr int MYFUSE_OPTIONS_SIZE = 8192;

// --- mounting -----------------------------------------------------------------------------------
// Mounts url (a mount URL whose query names fuse_mount_point, options, debug, run_daemon) and
// serves it until it is unmounted: 0. -1 when it could not be mounted, with the reason in err
// (MYFUSE_ERR_SIZE bytes) for the failures before the kernel mount.
[[nodiscard]] int myfuse_mount(const char *url, char *err);
// Unmounts the current mount point, if any; safe from signal handlers and other threads. 0.
int myfuse_unmount(void *arg);
void myfuse_remove_mount_point();

// Mount directory as the mount step uses it: blanks and quotes trimmed, backslashes to "/",
// a leading "file://" removed, runs of "/" collapsed.
std::string myfuse_normalize_mount_dir(const char *dir);
// The option list after the read-only decision: a mount is read-only unless "rw" was asked
// for and the back end allows writes (readonly != 1).
std::string myfuse_readonly_options(const char *options, uint32_t readonly);

// --- the operation adapter ----------------------------------------------------------------------
// The table handed to FUSE; it serves the mount set with myfuse_set_mount.
const fuse_operations *myfuse_operations();
// Set once before the request loop starts. debug bit 0 switches on the adapter's debug lines.
void myfuse_set_mount(VfsMount *mount, int debug);

// Logs a call that took more than 3 seconds (error level from 15 seconds on).
void fuse_time_use_check(uint64_t start_ms, const char *path, const char *op_name);

// Conversions between FUSE's POSIX records and the VFS's.
uint32_t myfuse_open_flags_2_pl(int flags);
int os_setxattr_flag_2_pl(int flags);
void myfuse_info_2_stat(const VfsFileInfo &info, struct stat *st);
void myfuse_statfs_2_statvfs(const VfsStatfs &stats, struct statvfs *stv);
// ts[0] access, ts[1] modification. A time given as UTIME_OMIT keeps its value in current, one
// given as UTIME_NOW becomes now: no driver sees the markers. The status-change entry is 0.
VfsTimes myfuse_timespec_2_times(const struct timespec ts[2], const VfsFileInfo &current,
                                 const struct timespec &now);
