// Joins the in-process mount routine to libfuse 2: mounts with fusermount_main and wraps the
// mounted /dev/fuse descriptor in a library channel (fuse_kern_chan_new, exported by libfuse
// 2.9 but not declared in its headers); undoes the mount the same way.
#include "fuse2.h"

#include "pal_log.h"

#include <fuse_lowlevel.h>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

static const char kLogTag[] = "tag";

extern "C" fuse_chan *fuse_kern_chan_new(int fd);

fuse_chan *fuse2_mount(const char *mountpoint, fuse_args *args, fuse_kern_opts *opts) {
  if (fuse_kern_opts_parse(args, opts) != 0) return nullptr;
  std::string text = fuse_kern_opts_text(*opts);
  int fd = fusermount_main(0, 0, 0, text.c_str(), mountpoint);
  if (fd == -1) return nullptr;
  fuse_chan *channel = fuse_kern_chan_new(fd);
  if (channel == nullptr) {
    ZLOG(LOG2_ERR, "fuse_kern_chan_new failed\n");
    close(fd);
    (void)fusermount_main(1, 0, 1, "", mountpoint);
  }
  return channel;
}

int fuse2_unmount(const char *mountpoint, fuse_chan *channel) {
  if (mountpoint == nullptr) return -1;
  if (channel != nullptr) {
    // An external unmount already ended the connection: nothing is left to unmount.
    pollfd pfd{fuse_chan_fd(channel), 0, 0};
    bool dropped = poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLERR);
    fuse_chan_destroy(channel);
    if (dropped) return 0;
  }
  if (fusermount_main(1, 0, 1, "", mountpoint) == 0) return 0;
  if (errno != EBUSY) return -1;
  // Files are still open on it: detach it now, it goes when they are closed. Left mounted,
  // it would outlive its server as a dead mount point.
  return fusermount_main(1, 1, 0, "", mountpoint);
}
