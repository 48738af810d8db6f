// Serving a FUSE file system with the in-process mount: kernel support checks, the /dev/fuse
// node, the mount and library arguments, the request loop and the teardown.
// Assumes libfuse 2.9 and a caller running as root.
#include "fuse2.h"

#include "pal_log.h"
#include "run_prog.h"
#include "serve_loop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

static const char kLogTag[] = "tag";

namespace {

const char kProcFilesystems[] = "/proc/filesystems";
const char kModprobe[] = "/sbin/modprobe";
const char kFuseDev[] = "/dev/fuse";

// Owns a FUSE argument vector.
struct fuse_args_owner {
  fuse_args args = FUSE_ARGS_INIT(0, nullptr);
  fuse_args_owner() = default;
  fuse_args_owner(const fuse_args_owner &) = delete;
  fuse_args_owner &operator=(const fuse_args_owner &) = delete;
  ~fuse_args_owner() { fuse_opt_free_args(&args); }
  [[nodiscard]] bool add(const char *arg) { return fuse_opt_add_arg(&args, arg) == 0; }
};

[[nodiscard]] bool build_mount_args(const fuse_mount_request *request, fuse_args_owner *out) {
  return out->add(request->fsname) && out->add("-o") && out->add(request->options);
}

// Without big_writes libfuse 2 never offers the kernel writes larger than one page: every
// write(2) would arrive as 4 KiB requests, each a full round trip through the request loop.
// atomic_o_trunc hands O_TRUNC to the open itself: without it the kernel opens without the flag
// and truncates afterwards, which a back end that only uploads whole files cannot serve.
[[nodiscard]] bool build_library_args(const fuse_mount_request *request, bool allow_root,
                                      fuse_args_owner *out) {
  char caching[128];
  if (request->attr_cache == 0) {
    snprintf(caching, sizeof(caching), "-ouse_ino,kernel_cache,big_writes,atomic_o_trunc,attr_timeout=0");
  } else {
    snprintf(caching, sizeof(caching),
             "-ouse_ino,kernel_cache,big_writes,atomic_o_trunc,attr_timeout=%d,entry_timeout=%d", 15, 15);
  }
  if (!out->add("") || !out->add(caching)) return false;
  if (request->fuse_debug != 0 && !out->add("-odebug")) return false;
  return !allow_root || out->add("-oallow_root");
}

}  // namespace

int fuse_fs_support(const char *path) {
  FILE *fp = fopen(path, "r");
  if (fp == nullptr) {
    printf("Failed to open %s", path);
    return 1;
  }
  int result = 0;
  char line[256];
  while (fgets(line, sizeof(line), fp) != nullptr) {
    if (strstr(line, "fuseblk\n") != nullptr) {
      result = 3;
      break;
    }
    if (strstr(line, "fuse\n") != nullptr) result = 2;
  }
  fclose(fp);
  return result;
}

int fuse_kernel_support() {
  int support = fuse_fs_support(kProcFilesystems);
  if (support >= 2) return support;
  if (access(kModprobe, F_OK) == 0 && geteuid() == 0) {
    const char *argv[] = {kModprobe, "fuse", nullptr};
    if (fuse2_run_prog(argv, true, false) != 0) ZLOG(LOG2_WARN, "modprobe fuse failed\n");
  }
  for (int i = 0; i < 10; ++i) {
    usleep(100 * 1000);
    support = fuse_fs_support(kProcFilesystems);
    if (support != 0) break;
  }
  return support;
}

void mknod_dev_fuse() {
  struct stat st{};
  if (stat(kFuseDev, &st) == 0 || errno != ENOENT) return;
  mode_t old_mask = umask(0);
  if (mknod(kFuseDev, S_IFCHR | 0666, makedev(10, 229)) == -1) {
    int saved = errno;
    ZLOG(LOG2_ERR, "Failed to create '%s'", kFuseDev);
    if (saved == EPERM) {
      printf("HINT: You should be root, or make ntfs-3g setuid root, or load the FUSE\n"
             "      kernel module as root ('modprobe fuse' or 'insmod <path_to>/fuse.ko'"
             "      or insmod <path_to>/fuse.o'). Make also sure that the fuse device"
             "      exists. It's usually either /dev/fuse or /dev/misc/fuse.");
    }
  }
  umask(old_mask);
}

int try_fuse_mount(const fuse_operations *ops, const fuse_mount_request *request) {
  if (fuse2_loop_prepare() != 0) {
    ZLOG(LOG2_ERR, "wake-up pipe: %s\n", strerror(errno));
    return -1;
  }
  fusermount_set_progname(request->fsname);
  fuse_kernel_support();
  mknod_dev_fuse();

  fuse_args_owner mount_args;
  if (!build_mount_args(request, &mount_args)) {
    ZLOG(LOG2_ERR, "Failed to set FUSE options.\n");
    return -1;
  }
  fuse_kern_opts kern_opts;
  fuse_chan *channel = fuse2_mount(request->mountpoint, &mount_args.args, &kern_opts);
  if (channel == nullptr) return -1;

  fuse_args_owner library_args;
  if (!build_library_args(request, kern_opts.allow_root, &library_args)) {
    ZLOG(LOG2_ERR, "Failed to set FUSE options.\n");
    fuse2_unmount(request->mountpoint, channel);
    return -1;
  }
  fuse *fs = fuse_new(channel, &library_args.args, ops, sizeof(*ops), nullptr);
  if (fs == nullptr) {
    ZLOG(LOG2_ERR, "fuse_new failed\n");
    fuse2_unmount(request->mountpoint, channel);
    return -1;
  }
  fuse_session *session = fuse_get_session(fs);
  if (fuse_set_signal_handlers(session) != 0) {
    ZLOG(LOG2_ERR, "fuse_set_signal_handlers failed\n");
    fuse2_unmount(request->mountpoint, channel);
    fuse_destroy(fs);
    return -1;
  }
  if (request->on_mounted != nullptr) request->on_mounted(request->on_mounted_arg);
  if (fuse2_serve(fs) != 0) ZLOG(LOG2_DBG, "fuse_loop ended with an error\n");
  // The handlers point at the session: take them away before it goes.
  fuse_remove_signal_handlers(session);
  fuse2_unmount(request->mountpoint, channel);
  fuse_destroy(fs);
  return 0;
}
