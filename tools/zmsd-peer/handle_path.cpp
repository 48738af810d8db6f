// Commands on paths: volume information (5), status (6, 7 extended, 28 without following a
// final link) and setting a named attribute (9, value compressed like file data).
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <fcntl.h>
#include <linux/magic.h>

#include <cstdint>

#include "fs_ops.h"
#include "fs_status.h"
#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

// File-system magics are 32-bit values; f_type is a signed word, 32 bits wide on 32-bit targets.
const char *fs_type_name(uint32_t magic) {
  switch (magic) {
    case EXT4_SUPER_MAGIC: return "ext4";
    case TMPFS_MAGIC: return "tmpfs";
    case OVERLAYFS_SUPER_MAGIC: return "overlay";
    case BTRFS_SUPER_MAGIC: return "btrfs";
    case XFS_SUPER_MAGIC: return "xfs";
    case NFS_SUPER_MAGIC: return "nfs";
    default: return "unknown";
  }
}

}  // namespace

void handle_volume(Connection &c, const Request &rq, Reply &rp) {
  std::string rel;
  if (!need_path(rq, rp, "path", rel)) return;
  Fd f(c.server.root.open_at(rel, O_PATH));
  struct statvfs v {};
  struct statfs t {};
  if (!f.ok()) return rp.fail_os(-f.get());
  if (fstatvfs(f.get(), &v) != 0 || fstatfs(f.get(), &t) != 0) return rp.fail_os(errno);
  MessageWriter &m = rp.fields();
  m.add_i32("flags", 0x8E);
  m.add_i32("name_len", int32_t(v.f_namemax ? v.f_namemax : 255));
  m.add_i64("avail_bytes", int64_t(v.f_bavail * v.f_frsize));
  m.add_i64("free_bytes", int64_t(v.f_bfree * v.f_frsize));
  m.add_i64("total_bytes", int64_t(v.f_blocks * v.f_frsize));
  m.add_string("fs_name", fs_type_name(uint32_t(t.f_type)));
  m.add_string("vol_name", "");
}

void handle_stat(Connection &c, const Request &rq, Reply &rp) {
  std::string rel;
  if (!need_path(rq, rp, "path", rel)) return;
  Status s;
  const int r = rq.command == 28 ? status_nofollow(c.server.root, rel, s) : status_follow(c.server.root, rel, s);
  if (r != 0) return rp.fail_os(-r);
  add_stat_fields(rp.fields(), s, rq.command != 6);
}

void handle_set_xattr(Connection &c, const Request &rq, Reply &rp) {
  std::string rel, name;
  int32_t flags = 0, len = 0;
  if (!need_path(rq, rp, "path", rel) || !need_text(rq, rp, "name", name) || !need_i32(rq, rp, "flags", flags) ||
      !need_i32(rq, rp, "len", len) || !writable(c, rp))
    return;
  const Field *data = rq.fields.binary("data");
  std::vector<uint8_t> value;
  if (!data || len < 0 || !unpack_data(c.ctx->codec, *data, size_t(len), value))
    return rp.fail(VERR_INVALID_PARAMETER, "bad request: \"data\" does not unpack to \"len\" bytes");
  const int r = fs_setxattr(c.server.root, rel, name, value.data(), value.size(), flags);
  if (r != 0) return rp.fail_os(-r);
  rp.fields().add_i32("len", len);
}

}  // namespace peer
