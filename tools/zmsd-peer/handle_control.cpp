// File control (20: codec choice and the path operations, tab-separated text payloads) and
// server control (8: statistics, links, attributes, listing position, context controls).
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "fs_ops.h"
#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

// The payload text up to its terminator, split at tabs.
std::vector<std::string> payload_parts(const Field *data) {
  std::string text;
  if (data) text.assign(reinterpret_cast<const char *>(data->data), strnlen(reinterpret_cast<const char *>(data->data), data->len));
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, '\t')) parts.push_back(part);
  if (parts.empty()) parts.emplace_back();
  return parts;
}

bool number_at(const std::vector<std::string> &p, size_t i, unsigned long long &out) {
  if (i >= p.size() || p[i].empty()) return false;
  char *end = nullptr;
  errno = 0;
  out = strtoull(p[i].c_str(), &end, 10);
  return errno == 0 && *end == 0;
}

// Rooted client paths of the payload; fails the reply for a bad one.
bool paths_at(const std::vector<std::string> &p, std::initializer_list<size_t> at, Reply &rp,
              std::vector<std::string> &rel) {
  for (size_t i : at) {
    std::string r;
    if (i >= p.size() || ServedRoot::relative(p[i], r) < 0) {
      rp.fail(VERR_INVALID_PARAMETER, "bad path in payload");
      return false;
    }
    rel.push_back(r);
  }
  return true;
}

const std::set<int32_t> kChangingControls = {10012, 10013, 10014, 10015, 10016, 10020, 10021, 10022,
                                             10023, 10024, 10025, 10026, 10027, 10028, 10029, 10030, 10035};

// One path operation; a positive errno for the reply, 0 on success, -1 for a malformed payload.
int path_control(Connection &c, int32_t code, const std::vector<std::string> &p, Reply &rp) {
  const ServedRoot &root = c.server.root;
  std::vector<std::string> rel;
  unsigned long long a = 0, b = 0, d = 0;
  unsigned long long ns[3] = {};
  int r = 0;
  auto need = [&](bool ok) {
    if (!ok) rp.fail(VERR_INVALID_PARAMETER, "bad payload for file control " + std::to_string(code));
    return ok;
  };
  switch (code) {
    case 10012: case 10013: case 10014: case 10015:
      if (!paths_at(p, {0}, rp, rel)) return -1;
      r = code == 10012 ? fs_create_file(root, rel[0]) : code == 10013 ? fs_mkdirs(root, rel[0])
          : code == 10014 ? fs_rmdir(root, rel[0]) : fs_remove(root, rel[0]);
      break;
    case 10016:
      if (!paths_at(p, {0, 1}, rp, rel) || !need(number_at(p, 2, a))) return -1;
      r = fs_rename(root, rel[0], rel[1], a != 0);
      break;
    case 10018:  // an attribute value the platform has no use for
      if (!paths_at(p, {0}, rp, rel) || !need(number_at(p, 1, a))) return -1;
      break;
    case 10019: case 10020: case 10022: case 10025: case 10026:
      if (!paths_at(p, {0}, rp, rel) || !need(number_at(p, 1, a))) return -1;
      r = code == 10019 ? fs_access(root, rel[0], int(a))
          : code == 10020 ? fs_mkdir(root, rel[0], uint32_t(a))
          : code == 10022 ? fs_mknod(root, rel[0], uint32_t((a & 07777) | S_IFIFO), 0)
                          : fs_chmod(root, rel[0], uint32_t(a), code == 10025);
      break;
    case 10021:
      if (!paths_at(p, {0}, rp, rel) || !need(number_at(p, 1, a) && number_at(p, 2, d))) return -1;
      r = fs_mknod(root, rel[0], uint32_t(a), d);
      break;
    case 10023:
      if (!paths_at(p, {0, 1}, rp, rel)) return -1;
      r = fs_link(root, rel[0], rel[1]);
      break;
    case 10024:
      if (!need(p.size() >= 2) || !paths_at(p, {1}, rp, rel)) return -1;
      r = fs_symlink(root, p[0], rel[0]);
      break;
    case 10027: case 10028:
      if (!paths_at(p, {0}, rp, rel) || !need(number_at(p, 1, a) && number_at(p, 2, b))) return -1;
      r = fs_chown(root, rel[0], uint32_t(a), uint32_t(b), code == 10027);
      break;
    case 10029: case 10030: {
      if (!paths_at(p, {0}, rp, rel)) return -1;
      unsigned long long t[3] = {};
      for (size_t i = 0; i < 3; ++i)
        if (!need(number_at(p, 1 + i, t[i]) && number_at(p, 4 + i, ns[i]))) return -1;
      const timespec times[2] = {{time_t(t[0]), long(ns[0])}, {time_t(t[1]), long(ns[1])}};
      r = fs_utimes(root, rel[0], times, code == 10029);
      break;
    }
    case 10035: {
      if (!paths_at(p, {0}, rp, rel) || !need(p.size() >= 2)) return -1;
      char *end = nullptr;
      const long long len = strtoll(p[1].c_str(), &end, 10);
      if (!need(!p[1].empty() && *end == 0)) return -1;
      r = fs_truncate(root, rel[0], len);
      break;
    }
    default:
      rp.fail(VERR_NOT_SUPPORTED, "unknown file control " + std::to_string(code));
      return -1;
  }
  return -r;
}

}  // namespace

void handle_file_control(Connection &c, const Request &rq, Reply &rp) {
  int64_t fd = 0;
  int32_t code = 0, len = 0;
  if (!need_i64(rq, rp, "fd", fd) || !need_i32(rq, rp, "cmd", code) || !need_i32(rq, rp, "len", len)) return;
  const Field *data = rq.fields.binary("data");
  if (!data || len < 0 || size_t(len) != data->len)
    return rp.fail(VERR_INVALID_PARAMETER, "bad request: \"len\" does not match \"data\"");
  const std::vector<std::string> parts = payload_parts(data);
  if (code == 10001) {
    const auto codec = codec_by_name(parts[0]);
    if (!codec) return rp.fail(VERR_NOT_SUPPORTED, "unknown compressor " + parts[0]);
    c.ctx->codec = *codec;
    return;
  }
  if (code == 10100 || code == 10105) {  // per-file time-outs: reads and writes here do not wait
    if (fd != 0 && !c.ctx->files.count(uint64_t(fd))) rp.fail(VERR_INVALID_HANDLE, "bad fd " + std::to_string(fd));
    return;
  }
  if (kChangingControls.count(code) && !writable(c, rp)) return;
  const int err = path_control(c, code, parts, rp);
  if (err > 0) rp.fail_os(err);
}

void handle_server_control(Connection &c, const Request &rq, Reply &rp) {
  int64_t fd = 0;
  int32_t code = 0, olen = 0;
  if (!need_i64(rq, rp, "fd", fd) || !need_i32(rq, rp, "cmd", code) || !need_i32(rq, rp, "olen", olen)) return;
  const Field *data = rq.fields.binary("data");
  if (!data) return rp.fail(VERR_INVALID_PARAMETER, "bad request: field \"data\" missing or mistyped");
  const std::vector<std::string> p = payload_parts(data);
  std::string out;
  std::vector<std::string> rel;
  int r = 0;
  unsigned long long n = 0;
  if (code >= 101 && code <= 107) {
    handle_context_control(c, code, p[0], rp, out);
  } else if (code == 10001 || code == 10002 || code == 10003) {
    if (!paths_at(p, {0}, rp, rel)) return;
    r = code == 10001 ? fs_statvfs_text(c.server.root, rel[0], out)
        : code == 10002 ? fs_readlink(c.server.root, rel[0], out) : fs_listxattr(c.server.root, rel[0], out);
    if (code == 10001 && r == 0) out += '\0';  // text outputs carry their terminator
  } else if (code == 10004 || code == 10005) {
    if (!paths_at(p, {0}, rp, rel)) return;
    if (p.size() < 2) return rp.fail(VERR_INVALID_PARAMETER, "attribute name missing");
    if (code == 10005 && !writable(c, rp)) return;
    r = code == 10004 ? fs_getxattr(c.server.root, rel[0], p[1], out) : fs_removexattr(c.server.root, rel[0], p[1]);
  } else if (code == 10050) {
    if (!number_at(p, 0, n)) return rp.fail(VERR_INVALID_PARAMETER, "bad entry number");
    if (seek_dir(c, uint64_t(fd), n) != 0) return rp.fail(VERR_INVALID_HANDLE, "bad directory fd " + std::to_string(fd));
  } else {
    return rp.fail(VERR_NOT_SUPPORTED, "unknown server control " + std::to_string(code));
  }
  if (r != 0) return rp.fail_os(-r);
  if (rp.code() != 0 || rp.silent) return;
  // Sent whole even beyond "olen": the client copies at most "olen" bytes and learns the full
  // size, which is how a size query (olen 0) of an attribute gets its answer.
  rp.fields().add_binary("data", out.data(), out.size());
}

}  // namespace peer
