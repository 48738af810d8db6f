// The three opens: 10 with the VFS open flags in "mode", 25 with portable flags and a creation
// mode, 24 with Windows-style access and disposition. Each registers a file number in the context.
#include <fcntl.h>

#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

struct OpenRequest {
  int flags = O_RDONLY;
  int mode = 0644;
};

int access_flags(bool read, bool write) { return write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY; }

bool from_vfs_flags(const Request &rq, Reply &rp, OpenRequest &o) {
  int64_t f = 0;
  if (!need_i64(rq, rp, "mode", f)) return false;
  o.flags = (f & 0x4) ? O_RDWR : (f & 0x2) ? O_WRONLY : O_RDONLY;
  if (f & 0x8) o.flags |= O_CREAT;
  if (f & 0x10) o.flags |= O_APPEND;
  if (f & 0x20) o.flags |= O_TRUNC;
  return true;
}

bool from_portable_flags(const Request &rq, Reply &rp, OpenRequest &o) {
  int32_t f = 0, mode = 0;
  if (!need_i32(rq, rp, "flag", f) || !need_i32(rq, rp, "mode", mode)) return false;
  o.flags = access_flags((f & 3) != 1, (f & 3) != 0);
  if (f & 0x4) o.flags |= O_CREAT;
  if (f & 0x8) o.flags |= O_APPEND;
  if (f & 0x10) o.flags |= O_TRUNC;
  o.mode = mode & 07777;
  return true;
}

bool from_windows_args(const Request &rq, Reply &rp, OpenRequest &o) {
  int32_t access = 0, share = 0, disposition = 0, attributes = 0;
  int64_t templ = 0;
  std::string security;
  if (!need_i32(rq, rp, "desire_access", access) || !need_i32(rq, rp, "share_mode", share) ||
      !need_text(rq, rp, "sec_attrib", security) || !need_i32(rq, rp, "creat_disp", disposition) ||
      !need_i32(rq, rp, "flag_attrib", attributes) || !need_i64(rq, rp, "temp_handle", templ))
    return false;
  o.flags = access_flags(uint32_t(access) & 0x80000000u, access & 0x40000000);
  switch (disposition) {
    case 1: o.flags |= O_CREAT | O_EXCL; break;   // create new
    case 2: o.flags |= O_CREAT | O_TRUNC; break;  // create always
    case 3: break;                                // open existing
    case 4: o.flags |= O_CREAT; break;            // open always
    case 5: o.flags |= O_TRUNC; break;            // truncate existing
    default: rp.fail(VERR_INVALID_PARAMETER, "bad creat_disp " + std::to_string(disposition)); return false;
  }
  return true;
}

}  // namespace

void handle_open(Connection &c, const Request &rq, Reply &rp) {
  std::string rel;
  OpenRequest o;
  if (!need_path(rq, rp, "path", rel)) return;
  const bool parsed = rq.command == 10 ? from_vfs_flags(rq, rp, o)
                      : rq.command == 25 ? from_portable_flags(rq, rp, o)
                                         : from_windows_args(rq, rp, o);
  if (!parsed) return;
  const bool changes = (o.flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0;
  if (changes && !writable(c, rp)) return;
  Fd fd(c.server.root.open_at(rel, o.flags, o.mode));
  if (!fd.ok()) return rp.fail_os(-fd.get());
  const uint64_t number = c.ctx->next_handle++;
  c.ctx->files.emplace(number, std::move(fd));
  rp.fields().add_i64("fd", int64_t(number));
}

}  // namespace peer
