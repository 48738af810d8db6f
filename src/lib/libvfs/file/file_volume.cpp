// Local directory driver, volume information: sizes from statvfs, the file-system type and
// device from the mount table entry that holds the path, the label as blkid reports it.
#include <mntent.h>
#include <sys/statvfs.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file_ctx.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr uint32_t kLocalCaps = 0x8E;

struct MountEntry {
  std::string type;
  std::string device;
};

// The mount table entry with the longest mount directory that contains `path`.
MountEntry find_mount_entry(const char *path) {
  MountEntry found;
  char real[PATH_MAX];
  if (realpath(path, real) == nullptr) return found;
  FILE *table = setmntent("/proc/self/mounts", "r");
  if (table == nullptr) return found;
  size_t best = 0;
  struct mntent entry {};
  char line[4096];
  while (getmntent_r(table, &entry, line, sizeof line) != nullptr) {
    const size_t len = strlen(entry.mnt_dir);
    const bool contains = strncmp(real, entry.mnt_dir, len) == 0 &&
                          (real[len] == '/' || real[len] == '\0' || len == 1);
    if (contains && len >= best) {
      best = len;
      found = {entry.mnt_type, entry.mnt_fsname};
    }
  }
  endmntent(table);
  return found;
}

// Device names go to a shell command line: only plain path characters are let through.
bool is_plain_device(const std::string &device) {
  if (device.rfind("/dev/", 0) != 0) return false;
  for (const char c : device)
    if (!isalnum(static_cast<unsigned char>(c)) && strchr("/_.-:", c) == nullptr) return false;
  return true;
}

// The text after the first "=" of the device's line, quotes and blanks trimmed.
void label_from_line(const char *line, char *out, size_t size) {
  const char *value = strchr(line, '=');
  if (value == nullptr) return;
  std::string text(value + 1);
  while (!text.empty() && strchr("\"' \t\r\n", text.back()) != nullptr) text.pop_back();
  size_t first = 0;
  while (first < text.size() && strchr("\"' \t", text[first]) != nullptr) ++first;
  snprintf(out, size, "%s", text.c_str() + first);
}

void read_label(const std::string &device, char *out, size_t size) {
  out[0] = '\0';
  if (!is_plain_device(device)) return;
  const std::string command = "blkid -s LABEL " + device + " 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "os_popen error: ");
    return;
  }
  const std::string prefix = device + ":";
  char line[1024];
  while (fgets(line, sizeof line, pipe) != nullptr)
    if (out[0] == '\0' && strncmp(line, prefix.c_str(), prefix.size()) == 0)
      label_from_line(line + prefix.size(), out, size);
  pclose(pipe);  // blkid's status only says whether a label was found
}

}  // namespace

int file_volinfo(FileMount *ctx, const char *path, VfsVolInfo *out) {
  struct statvfs sv {};
  if (FILE_CHECK(ctx, statvfs(path, &sv)) < 0) return -1;
  *out = VfsVolInfo{};
  const uint64_t unit = sv.f_frsize != 0 ? sv.f_frsize : sv.f_bsize;
  out->caps |= kLocalCaps;
  out->name_max = sv.f_namemax != 0 ? static_cast<uint32_t>(sv.f_namemax) : 255;
  out->avail_bytes = static_cast<uint64_t>(sv.f_bavail) * unit;
  out->free_bytes = static_cast<uint64_t>(sv.f_bfree) * unit;
  out->total_bytes = static_cast<uint64_t>(sv.f_blocks) * unit;
  const MountEntry entry = find_mount_entry(path);
  snprintf(out->fs_type, sizeof out->fs_type, "%s", entry.type.c_str());
  read_label(entry.device, out->label, sizeof out->label);
  return 0;
}
