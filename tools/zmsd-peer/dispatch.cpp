// Command routing and the small helpers every handler uses to read fields and to fail.
#include <cstring>

#include "handlers.h"
#include "pal_verr.h"
#include "peer_version.h"

namespace peer {

void Reply::fail(int32_t code, const std::string &text) {
  code_ = code;
  msg_ = MessageWriter();
  msg_.add_i32("errno", code);
  msg_.add_string("errno_str", text);
}

void Reply::fail_os(int err) { fail(os_verr_get(err), strerror(err)); }

namespace {

void missing(Reply &rp, const char *name) {
  rp.fail(VERR_INVALID_PARAMETER, std::string("bad request: field \"") + name + "\" missing or mistyped");
}

}  // namespace

bool need_text(const Request &rq, Reply &rp, const char *name, std::string &out) {
  auto v = rq.fields.text(name);
  if (!v) return missing(rp, name), false;
  out = *v;
  return true;
}

bool need_i64(const Request &rq, Reply &rp, const char *name, int64_t &out) {
  auto v = rq.fields.i64(name);
  if (!v) return missing(rp, name), false;
  out = *v;
  return true;
}

bool need_i32(const Request &rq, Reply &rp, const char *name, int32_t &out) {
  auto v = rq.fields.i32(name);
  if (!v) return missing(rp, name), false;
  out = *v;
  return true;
}

bool need_path(const Request &rq, Reply &rp, const char *name, std::string &rel) {
  std::string path;
  if (!need_text(rq, rp, name, path)) return false;
  if (ServedRoot::relative(path, rel) < 0) {
    rp.fail(VERR_ACCESS_DENIED, "path leaves the share: " + path);
    return false;
  }
  return true;
}

bool writable(const Connection &c, Reply &rp) {
  if (!c.server.options.readonly) return true;
  rp.fail(VERR_WRITE_PROTECT, "share is read-only");
  return false;
}

void dispatch(Connection &c, const Request &rq, Reply &rp) {
  const int cmd = rq.command;
  if (!rq.malformed.empty()) {
    rp.fail(VERR_PARSE_ERROR, rq.malformed);
    return;
  }
  const bool login_cmd = cmd == 1 || cmd == 90 || cmd == 91 || cmd == 2;
  if (!c.logged_in && !login_cmd) {
    rp.fail(1, "login required");
    return;
  }
  const uint64_t needed = version_needed(cmd, rq.fields.i32("cmd").value_or(0));
  if (needed > version_number(c.server.options.ver)) {
    rp.fail(VERR_NOT_SUPPORTED, "command " + std::to_string(cmd) + " needs a newer server than " + c.server.options.ver);
    return;
  }
  switch (cmd) {
    case 1: return handle_login(c, rq, rp);
    case 2:
      c.goodbye = true;
      rp.silent = true;
      return;
    case 4: return handle_info(c, rq, rp);
    case 5: return handle_volume(c, rq, rp);
    case 6: case 7: case 28: return handle_stat(c, rq, rp);
    case 8: return handle_server_control(c, rq, rp);
    case 9: return handle_set_xattr(c, rq, rp);
    case 10: case 24: case 25: return handle_open(c, rq, rp);
    case 11: case 12: case 13: case 14: case 15: case 16:
    case 21: case 22: case 23: case 26: case 27: case 29: case 30: return handle_file(c, rq, rp);
    case 20: return handle_file_control(c, rq, rp);
    case 41: case 42: case 43: case 44: return handle_dir(c, rq, rp);
    case 90: return handle_key_login1(c, rq, rp);
    case 91: return handle_key_login2(c, rq, rp);
    default: rp.fail(VERR_NOT_SUPPORTED, "unknown command " + std::to_string(cmd));
  }
}

}  // namespace peer
