// Paths of the running program and small file-system helpers. os_mkdirs works in a fixed buffer
// without allocating, because the panic handler calls it from a signal handler.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pal_os.h"

int os_exe_get_dir(char *out, size_t size) {
  if (!out || size == 0) {
    errno = EINVAL;
    return -1;
  }
  char path[OS_PATH_SIZE];
  const ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
  if (len < 0) return -1;
  path[len] = '\0';
  char *cut = path;
  for (char *p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') cut = p;
  }
  *cut = '\0';
  const size_t dir_len = static_cast<size_t>(cut - path);
  if (dir_len >= size) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(out, path, dir_len + 1);
  return 0;
}

char *os_path_normalize(char *text) {
  if (!text) return text;
  char *w = text;
  for (const char *r = text; *r; ++r) {
    const char c = *r == '\\' ? '/' : *r;
    if (c == '/' && w > text && w[-1] == '/') continue;
    *w++ = c;
  }
  *w = '\0';
  return text;
}

bool os_path_is_absolute(const char *path) {
  if (!path) return false;
  if (path[0] == '/') return true;
  const bool drive = (path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z');
  return drive && path[1] == ':';
}

bool os_file_exists(const char *path) {
  struct stat st {};
  return path && stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool os_dir_exists(const char *path) {
  struct stat st {};
  return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int os_mkdirs(const char *path, unsigned mode) {
  if (!path || !*path) {
    errno = ENOENT;
    return -1;
  }
  char buf[OS_PATH_SIZE];
  const size_t len = strlen(path);
  if (len >= sizeof buf) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(buf, path, len + 1);
  // Each prefix ending before a slash, then the whole path.
  for (size_t i = 1; i <= len; ++i) {
    if (buf[i] != '/' && buf[i] != '\0') continue;
    if (buf[i - 1] == '/') continue;
    const char saved = buf[i];
    buf[i] = '\0';
    if (mkdir(buf, mode) != 0 && errno != EEXIST) return -1;
    buf[i] = saved;
  }
  if (!os_dir_exists(path)) {
    errno = ENOTDIR;
    return -1;
  }
  return 0;
}
