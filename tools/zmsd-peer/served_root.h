// Confines every path a client names to the served directory. Client paths arrive as the
// mount root joined with "\" to a "/" path; both separators count, "." is dropped and ".." is
// refused. Lookups run through openat2(RESOLVE_IN_ROOT), so no symbolic link leads outside
// either (the peer runs as root in tests). Results are -errno on failure.
#pragma once

#include <string>

namespace peer {

class ServedRoot {
 public:
  // Opens the directory; false when it cannot be opened.
  [[nodiscard]] bool open(const std::string &dir);
  ~ServedRoot();
  int fd() const { return root_fd_; }
  const std::string &dir() const { return dir_; }

  // Client path -> path relative to the root ("" for the root itself), or -EACCES for "..".
  static int relative(const std::string &client_path, std::string &rel);

  // openat2 below the root, following links inside it; a descriptor or -errno.
  int open_at(const std::string &rel, int flags, int mode = 0) const;
  // The directory holding the final component (O_PATH) and that component's name; -EINVAL
  // for the root itself, which has no parent inside the share.
  int open_parent(const std::string &rel, std::string &name) const;

 private:
  int root_fd_ = -1;
  std::string dir_;
};

// Owns a descriptor returned by the calls above (negative values are errors, never closed).
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(Fd &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd &operator=(Fd &&other) noexcept;
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and reports the result (0 or -errno): writes may fail only here.
  [[nodiscard]] int close();

 private:
  int fd_;
};

// "/proc/self/fd/N" or "/proc/self/fd/N/name": lets path-only calls (chmod, xattr, utimensat)
// act on an object that was looked up safely.
std::string fd_path(int fd, const std::string &name = {});

}  // namespace peer
