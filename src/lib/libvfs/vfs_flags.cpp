// Conversions into the VFS open flags a handle keeps (portable and Windows-style arguments), and
// the filling of unset times before a driver sets them.
#include <sys/stat.h>

#include "pal_env.h"
#include "vfs_core.h"

uint32_t vfs_flags_from_portable(uint32_t portable_flags) {
  uint32_t flags = VFS_O_CONVERTED;
  switch (portable_flags & VFS_PL_O_ACCMODE) {
    case VFS_PL_O_WRONLY:
      flags |= VFS_O_WRONLY;
      break;
    case VFS_PL_O_RDWR:
      flags |= VFS_O_RDWR;
      break;
    default:
      flags |= VFS_O_RDONLY;
      break;  // 3 is no valid access value: read only
  }
  if (portable_flags & VFS_PL_O_CREAT) flags |= VFS_O_CREAT;
  if (portable_flags & VFS_PL_O_APPEND) flags |= VFS_O_APPEND;
  if (portable_flags & VFS_PL_O_TRUNC) flags |= VFS_O_TRUNC;
  if (portable_flags & VFS_PL_O_DIRECT) flags |= VFS_O_DIRECT;
  return flags;
}

uint32_t vfs_flags_from_windows(uint32_t access, uint32_t disposition) {
  uint32_t flags = VFS_O_CONVERTED;
  const bool read = access & VFS_W_GENERIC_READ;
  const bool write = access & VFS_W_GENERIC_WRITE;
  if (read && write)
    flags |= VFS_O_RDWR;
  else if (read)
    flags |= VFS_O_RDONLY;
  else if (write)
    flags |= VFS_O_WRONLY;
  switch (disposition) {
    case VFS_W_CREATE_NEW:
    case VFS_W_OPEN_ALWAYS:
      flags |= VFS_O_CREAT;
      break;
    case VFS_W_CREATE_ALWAYS:
      flags |= VFS_O_CREAT | VFS_O_TRUNC;
      break;
    case VFS_W_TRUNCATE_EXISTING:
      flags |= VFS_O_TRUNC;
      break;
    default:
      break;
  }
  return flags;
}

VfsTimes vfs_times_fill(const VfsTimes &times) {
  const uint64_t now_ms = os_get_ms();
  const VfsTime now{static_cast<int64_t>(now_ms / 1000),
                    static_cast<uint32_t>(now_ms % 1000) * 1000000u};
  // FUSE sends "set to now" and "leave alone" as these nanosecond markers with 0 seconds;
  // replacing "leave alone" by the current time would change a time nobody asked to change.
  auto fill = [&now](VfsTime t) {
    if (t.sec != 0 || t.nsec == UTIME_NOW || t.nsec == UTIME_OMIT) return t;
    return now;
  };
  return VfsTimes{fill(times.atime), fill(times.mtime), fill(times.ctime)};
}
