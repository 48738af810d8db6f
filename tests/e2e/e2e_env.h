// What every end-to-end test needs: where the zmue program is, which URL to mount and which
// directory backs it, a runner for the program, and a mounted tree that cleans up after itself
// (lazy unmount, kill by PID, removal of what it created). Assumes root and /dev/fuse.
//
// Environment: ZM_E2E_URL and ZM_E2E_BACKING name another back end (the URL to mount and the
// local directory it serves); without them each tree mounts a fresh local directory.
// ZM_E2E_ZMUE overrides the program path.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

// The program under test.
std::string zmue_path();
// True when ZM_E2E_URL names the back end (tests that need a local directory skip then).
bool external_backend();
// The kind of back end, from the scheme of the mounted URL (a plain path is a local directory).
enum class backend_kind { local, zmp, ftp };
backend_kind backend();

// What the back end cannot do through the mount: for each operation the errno it fails with,
// 0 where it works. Tests assert these, so a back end that learns an operation fails here.
struct backend_expectations {
  int symlink;        // symlink(2); a link made in the backing is not shown as one either
  int hard_link;      // link(2)
  int mknod;          // fifos and device nodes
  int xattr;          // extended attributes
  int utimens;        // setting access and modification times
  int chown;          // chown(2) to other owners
  int truncate;       // truncate to a size other than 0
  int read_write;     // O_RDWR opens and writes at an offset inside the file
  bool keeps_modes;   // modes given to create, mkdir and chmod reach the backing
  bool real_statfs;   // statfs reports the backing's numbers (else zeros)
  int spare_links;    // logged-in connections a back end may keep beyond its first one (a pool)
};
const backend_expectations &expected();

// Why the tests cannot run here, or empty.
std::string missing_prerequisite();

// True when a FUSE file system is mounted exactly on path.
bool fuse_mounted(const std::string &path);
// Runs a shell command with a time-out; its exit status, or -1.
int shell(const std::string &command, int timeout_s = 120);
// Output of a shell command (time-out as above), trailing newline removed.
std::string shell_output(const std::string &command, int timeout_s = 120);
std::string sha256_of(const std::string &path);
// Open descriptors of a process (entries of /proc/PID/fd) and how many of them are sockets;
// false when they cannot be read.
struct descriptor_count {
  int all = -1;
  int sockets = 0;
};
descriptor_count open_descriptors(pid_t pid);
// Whole-file helpers, used through the mount and in the backing directory alike.
std::string read_all(const std::string &path);
bool write_all(const std::string &path, const std::string &content);

// One run of the program, its output in a log file. The destructor kills it (by PID).
class zmue_process {
 public:
  zmue_process() = default;
  zmue_process(const zmue_process &) = delete;
  zmue_process &operator=(const zmue_process &) = delete;
  ~zmue_process();

  bool start(const std::vector<std::string> &args, const std::string &log_path);
  // The exit status once it ended (128 + signal for a signal), -1 while still running.
  int wait_exit(int timeout_ms);
  void signal(int sig) const;
  pid_t pid() const { return pid_; }
  std::string log() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  std::string log_path_;
};

// A work directory with a mount point (and, for the local back end, the backing directory),
// and the program serving it. Everything is undone by the destructor.
class mounted_tree {
 public:
  mounted_tree();
  mounted_tree(const mounted_tree &) = delete;
  mounted_tree &operator=(const mounted_tree &) = delete;
  ~mounted_tree();

  // Starts zmue on the URL with the extra -r query and waits (bounded) for the mount.
  bool mount(const std::string &query, std::vector<std::string> extra_args = {});
  // Waits until the mount point is no longer mounted.
  bool wait_unmounted(int timeout_ms);
  // Waits (bounded) until the program holds no more descriptors than when its mount was ready
  // (the kernel releases closed files after close(2) returns; start-up may still have held a
  // few then), sockets of a connection pool aside. Empty when it does, else what it holds now
  // (the /proc/PID/fd listing).
  std::string descriptors_returned(int timeout_ms) const;

  std::string work;     // private scratch directory, outside the mount
  std::string mnt;      // the mount point
  std::string backing;  // the directory the mounted URL serves
  std::string url;
  zmue_process process;
  descriptor_count ready_descriptors;  // counted once the mount was ready
};

}  // namespace e2e
