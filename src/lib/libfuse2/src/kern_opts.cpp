// The library's mount-option step: sorts the mount options of a FUSE argument vector into
// kernel flags, kernel items, mount-table items and mount-routine items, and writes the option
// text the in-process mount routine takes. Assumes the libfuse 2 option parser.
#include "fuse2.h"

#include <cstdio>
#include <cstring>
#include <sys/mount.h>

namespace {

bool has_prefix(const char *text, const char *prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool is_fusermount_item(const char *arg) {
  return has_prefix(arg, "fsname=") || has_prefix(arg, "subtype=") || strcmp(arg, "blkdev") == 0 ||
         strcmp(arg, "nonempty") == 0 || strcmp(arg, "auto_unmount") == 0;
}

int sort_option(void *data, const char *arg, int key, fuse_args *) {
  if (key != FUSE_OPT_KEY_OPT) return 1;
  auto *opts = static_cast<fuse_kern_opts *>(data);
  if (*arg == '\0') return 0;
  if (const fuse_mount_flag *row = fuse_mount_flag_find(arg)) {
    if (row->on) {
      opts->flags |= row->flag;
    } else {
      opts->flags &= ~row->flag;
    }
  } else if (strcmp(arg, "allow_other") == 0) {
    opts->allow_other = true;
    opts->kernel.emplace_back(arg);
  } else if (strcmp(arg, "allow_root") == 0) {
    // The kernel only knows allow_other; the library then turns away users other than root.
    opts->allow_root = true;
    opts->kernel.emplace_back("allow_other");
  } else if (has_prefix(arg, "user=")) {
    opts->mtab.emplace_back(arg);
  } else if (is_fusermount_item(arg)) {
    opts->fusermount.emplace_back(arg);
  } else {
    // default_permissions, max_read=, blksize=, large_read and anything else: the kernel is
    // the judge of what it accepts.
    opts->kernel.emplace_back(arg);
  }
  return 0;
}

void append_item(std::string *text, const std::string &item) {
  if (!text->empty()) text->push_back(',');
  text->append(item);
}

}  // namespace

int fuse_kern_opts_parse(fuse_args *args, fuse_kern_opts *out) {
  *out = fuse_kern_opts{};
  out->flags = MS_NOSUID | MS_NODEV;
  if (fuse_opt_parse(args, out, nullptr, sort_option) == -1) return -1;
  if (out->allow_other && out->allow_root) {
    fprintf(stderr, "fuse: 'allow_other' and 'allow_root' options are mutually exclusive\n");
    return -1;
  }
  return 0;
}

std::string fuse_kern_opts_text(const fuse_kern_opts &opts) {
  std::string text;
  if (!(opts.flags & MS_RDONLY)) text = "rw";
  for (const fuse_mount_flag *row = fuse_mount_flag_table(); row->opt; ++row) {
    if (row->on && (opts.flags & row->flag)) append_item(&text, row->opt);
  }
  if (!(opts.flags & MS_NODEV)) append_item(&text, "dev");
  if (!(opts.flags & MS_NOSUID)) append_item(&text, "suid");
  for (const auto *list : {&opts.kernel, &opts.mtab, &opts.fusermount}) {
    for (const std::string &item : *list) append_item(&text, item);
  }
  return text;
}
