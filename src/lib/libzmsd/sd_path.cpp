// Path operations, carried by file control (command 20) on the session as short tab-separated
// texts with their NUL: create, remove, rename, links, modes, owners, times and truncation.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "sd_handles.h"

namespace {

// Sends the text (with its NUL) as file control code on the session. 0 or -1.
int path_control(zmsd_session *s, int code, const char *text) {
  return sd_report(s, sd_file_control(s, 0, code, text, int(strlen(text)) + 1));
}

// The payload texts: a path, a separator and the values, in one 4096-byte path plus numbers.
template <typename... Args>
int format_control(zmsd_session *s, int code, const char *format, Args... args) {
  const int n = snprintf(nullptr, 0, format, args...);
  if (n < 0) return sd_report(s, SD_MEMORY_ERROR);
  std::string text(size_t(n) + 1, '\0');
  snprintf(text.data(), text.size(), format, args...);
  return path_control(s, code, text.c_str());
}

bool valid(const zmsd_session *s, const char *a, const char *b = "") {
  return sd_handle_session(s) && a && b;
}

}  // namespace

int zmsd_cli_path_op(zmsd_session *s, int code, const char *path) {
  if (!valid(s, path)) return -1;
  return path_control(s, code, path);
}

int zmsd_cli_path_mode(zmsd_session *s, int code, const char *path, uint32_t v) {
  if (!valid(s, path)) return -1;
  return format_control(s, code, "%s\t%u", path, v);
}

int zmsd_cli_two_paths(zmsd_session *s, int code, const char *a, const char *b) {
  if (!valid(s, a, b)) return -1;
  return format_control(s, code, "%s\t%s", a, b);
}

int zmsd_cli_rename(zmsd_session *s, const char *from, const char *to, uint32_t flags) {
  if (!valid(s, from, to)) return -1;
  return format_control(s, ZMSD_IOCTL_RENAME, "%s\t%s\t%u", from, to, flags);
}

int zmsd_cli_mknod(zmsd_session *s, const char *path, uint32_t mode, uint64_t dev) {
  if (!valid(s, path)) return -1;
  return format_control(s, ZMSD_IOCTL_MKNOD, "%s\t%u\t%llu", path, mode, (unsigned long long)dev);
}

int zmsd_cli_chown(zmsd_session *s, int code, const char *path, uint32_t uid, uint32_t gid) {
  if (!valid(s, path)) return -1;
  return format_control(s, code, "%s\t%u\t%u", path, uid, gid);
}

int zmsd_cli_utime(zmsd_session *s, int code, const char *path, const zmsd_ftimes *t) {
  if (!valid(s, path) || !t) return -1;
  return format_control(s, code, "%s\t%llu\t%llu\t%llu\t%u\t%u\t%u", path,
                        (unsigned long long)t->time_access, (unsigned long long)t->time_write,
                        (unsigned long long)t->time_create, t->time_access_ns, t->time_write_ns,
                        t->time_create_ns);
}

int zmsd_cli_truncate(zmsd_session *s, const char *path, int64_t len) {
  if (!valid(s, path)) return -1;
  return format_control(s, ZMSD_IOCTL_TRUNCATE, "%s\t%lli", path, (long long)len);
}
