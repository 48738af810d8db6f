// Runner and mounted tree of the end-to-end tests (see e2e_env.h).
// Assumes Linux /proc/self/mountinfo and a POSIX shell for the tool-driven steps.
#include "e2e_env.h"

#include "fuse_mountinfo.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

std::string env_or(const char *name, const std::string &fallback) {
  const char *value = getenv(name);
  return (value && *value) ? value : fallback;
}

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string zmue_path() {
  return env_or("ZM_E2E_ZMUE", std::string(ZM_TEST_BINARY_DIR) + "/src/opt/zmue/zmue");
}

bool external_backend() { return !env_or("ZM_E2E_URL", "").empty(); }

backend_kind backend() {
  const std::string url = env_or("ZM_E2E_URL", "");
  if (url.rfind("ftp://", 0) == 0) return backend_kind::ftp;
  if (url.rfind("zmp://", 0) == 0 || url.rfind("zmps://", 0) == 0) return backend_kind::zmp;
  return backend_kind::local;
}

const backend_expectations &expected() {
  // FTP has paths, whole-file transfers in one direction and the server's own modes; it keeps
  // up to two logged-in control connections for the next operations.
  static const backend_expectations kFull = {0, 0, 0, 0, 0, 0, 0, 0, true, true, 0};
  static const backend_expectations kFtp = {EOPNOTSUPP, EOPNOTSUPP, EOPNOTSUPP, EOPNOTSUPP,
                                            EOPNOTSUPP, EOPNOTSUPP, EOPNOTSUPP, EOPNOTSUPP,
                                            false,      false,      1};
  switch (backend()) {
    case backend_kind::ftp:
      return kFtp;
    case backend_kind::zmp:
    case backend_kind::local:
      break;
  }
  return kFull;
}

std::string missing_prerequisite() {
  if (geteuid() != 0) return "needs root";
  if (access("/dev/fuse", R_OK | W_OK) != 0) return "needs /dev/fuse";
  if (access(zmue_path().c_str(), X_OK) != 0) return "no program at " + zmue_path();
  if (external_backend() && env_or("ZM_E2E_BACKING", "").empty()) {
    return "ZM_E2E_URL needs ZM_E2E_BACKING";
  }
  return "";
}

bool fuse_mounted(const std::string &path) { return fuse_mount_exists(path); }

int shell(const std::string &command, int timeout_s) {
  std::string bounded = "timeout " + std::to_string(timeout_s) + " sh -c '" + command + "'";
  int status = system(bounded.c_str());
  return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

std::string shell_output(const std::string &command, int timeout_s) {
  std::string bounded = "timeout " + std::to_string(timeout_s) + " sh -c '" + command + "'";
  FILE *fp = popen(bounded.c_str(), "r");
  if (fp == nullptr) return "";
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), fp)) > 0) out.append(buf, n);
  pclose(fp);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string sha256_of(const std::string &path) {
  std::string out = shell_output("sha256sum \"" + path + "\"");
  return out.substr(0, out.find(' '));
}

descriptor_count open_descriptors(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  descriptor_count count;
  if (ec) return count;
  count.all = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) return descriptor_count{};
    ++count.all;
    if (std::filesystem::read_symlink(it->path(), ec).string().rfind("socket:", 0) == 0)
      ++count.sockets;
  }
  return count;
}

std::string read_all(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool write_all(const std::string &path, const std::string &content) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return close(fd) == 0 && ok;
}

zmue_process::~zmue_process() {
  if (pid_ <= 0 || status_ != -1) return;
  signal(SIGTERM);
  if (wait_exit(20000) == -1) {
    signal(SIGKILL);
    wait_exit(20000);
  }
}

bool zmue_process::start(const std::vector<std::string> &args, const std::string &log_path) {
  log_path_ = log_path;
  status_ = -1;
  std::vector<std::string> all = {zmue_path()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    int null = open("/dev/null", O_RDONLY);
    if (log < 0 || null < 0) _exit(127);
    dup2(null, 0);
    dup2(log, 1);
    dup2(log, 2);
    close(null);
    close(log);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return true;
}

int zmue_process::wait_exit(int timeout_ms) {
  if (status_ != -1 || pid_ <= 0) return status_;
  long long deadline = now_ms() + timeout_ms;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (done < 0 || now_ms() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void zmue_process::signal(int sig) const {
  if (pid_ > 0 && status_ == -1) kill(pid_, sig);
}

std::string zmue_process::log() const {
  std::ifstream in(log_path_);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

mounted_tree::mounted_tree() {
  char tmpl[] = "/tmp/zmue_e2e.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return;
  work = tmpl;
  mnt = work + "/mnt";
  if (external_backend()) {
    url = env_or("ZM_E2E_URL", "");
    backing = env_or("ZM_E2E_BACKING", "");
  } else {
    backing = work + "/backing";
    std::filesystem::create_directory(backing);
    url = backing;
  }
}

mounted_tree::~mounted_tree() {
  if (work.empty()) return;
  if (fuse_mounted(mnt)) umount2(mnt.c_str(), MNT_DETACH);
  process.signal(SIGTERM);
  if (process.wait_exit(20000) == -1) process.signal(SIGKILL);
  process.wait_exit(20000);
  if (fuse_mounted(mnt)) umount2(mnt.c_str(), MNT_DETACH);
  // Never remove through a mount: whatever is still mounted stays.
  if (!fuse_mounted(mnt)) {
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
  }
}

bool mounted_tree::mount(const std::string &query, std::vector<std::string> extra_args) {
  if (work.empty()) return false;
  std::vector<std::string> args = {"-q", "-u", url, "-m", mnt};
  if (!query.empty()) {
    args.push_back("-r");
    args.push_back(query);
  }
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  if (!process.start(args, work + "/zmue.log")) return false;
  for (long long deadline = now_ms() + 10000; now_ms() < deadline;) {
    if (fuse_mounted(mnt)) {
      ready_descriptors = open_descriptors(process.pid());
      return true;
    }
    if (process.wait_exit(50) != -1) return false;
  }
  return false;
}

bool mounted_tree::wait_unmounted(int timeout_ms) {
  for (long long deadline = now_ms() + timeout_ms; now_ms() < deadline;) {
    if (!fuse_mounted(mnt)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return !fuse_mounted(mnt);
}

std::string mounted_tree::descriptors_returned(int timeout_ms) const {
  const pid_t pid = process.pid();
  const descriptor_count start = ready_descriptors;
  if (start.all < 0) return "";
  const auto returned = [&](const descriptor_count &now) {
    return now.all < 0 || (now.all - now.sockets <= start.all - start.sockets &&
                           now.sockets <= start.sockets + expected().spare_links);
  };
  descriptor_count now = open_descriptors(pid);
  for (long long deadline = now_ms() + timeout_ms; !returned(now) && now_ms() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    now = open_descriptors(pid);
  }
  if (returned(now)) return "";
  return std::to_string(now.all) + " descriptors (" + std::to_string(now.sockets) + " sockets), " +
         std::to_string(start.all) + " (" + std::to_string(start.sockets) +
         " sockets) when the mount was ready:\n" +
         shell_output("ls -l /proc/" + std::to_string(pid) + "/fd", 10);
}

}  // namespace e2e
