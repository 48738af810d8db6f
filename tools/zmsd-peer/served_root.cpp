// Path confinement with openat2; the kernel resolves ".." and absolute link targets against
// the root, the lexical check refuses ".." before anything is looked up.
#include "served_root.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace peer {

Fd::~Fd() {
  if (fd_ >= 0) (void)::close(fd_);  // only read-side or O_PATH users rely on this; writers call close()
}

Fd &Fd::operator=(Fd &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int Fd::close() {
  if (fd_ < 0) return 0;
  const int r = ::close(fd_);
  fd_ = -1;
  return r == 0 ? 0 : -errno;
}

std::string fd_path(int fd, const std::string &name) {
  std::string p = "/proc/self/fd/" + std::to_string(fd);
  if (!name.empty()) p += "/" + name;
  return p;
}

ServedRoot::~ServedRoot() {
  if (root_fd_ >= 0) (void)::close(root_fd_);
}

bool ServedRoot::open(const std::string &dir) {
  dir_ = dir;
  root_fd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  return root_fd_ >= 0;
}

int ServedRoot::relative(const std::string &client_path, std::string &rel) {
  rel.clear();
  size_t at = 0;
  while (at <= client_path.size()) {
    size_t end = client_path.find_first_of("/\\", at);
    if (end == std::string::npos) end = client_path.size();
    const std::string part = client_path.substr(at, end - at);
    if (part == "..") return -EACCES;
    if (!part.empty() && part != ".") {
      if (!rel.empty()) rel += '/';
      rel += part;
    }
    at = end + 1;
  }
  return 0;
}

int ServedRoot::open_at(const std::string &rel, int flags, int mode) const {
  open_how how{};
  how.flags = uint64_t(flags | O_CLOEXEC);
  how.mode = (flags & (O_CREAT | O_TMPFILE)) ? uint64_t(mode) : 0;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, root_fd_, rel.empty() ? "." : rel.c_str(), &how, sizeof how);
  return fd < 0 ? -errno : int(fd);
}

int ServedRoot::open_parent(const std::string &rel, std::string &name) const {
  if (rel.empty()) return -EINVAL;
  const size_t slash = rel.rfind('/');
  name = slash == std::string::npos ? rel : rel.substr(slash + 1);
  return open_at(slash == std::string::npos ? std::string() : rel.substr(0, slash), O_PATH | O_DIRECTORY);
}

}  // namespace peer
