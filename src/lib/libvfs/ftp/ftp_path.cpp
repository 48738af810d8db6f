// Server paths and the two ways of learning about them: MLST for one entry and CWD + MLSD for a
// whole directory. A failed lookup is told apart into "no such entry" and "a file stands where a
// directory was expected", as the kernel's callers expect.
#include <cstring>

#include "ftp_ctx.h"
#include "pal_log.h"

static const char kLogTag[] = "vfs";

namespace {

std::string parent_of(const std::string &server_path) {
  const size_t slash = server_path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : server_path.substr(0, slash);
}

std::string base_of(const std::string &server_path) {
  const size_t slash = server_path.find_last_of('/');
  return slash == std::string::npos ? server_path : server_path.substr(slash + 1);
}

// FTP has no inode numbers; the kernel's callers skip entries numbered 0, and a stat must name
// the same number as the listing, so both derive it from the server path (FNV-1a).
uint64_t path_ino(const std::string &server_path) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : server_path) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return h != 0 ? h : 1;
}

std::string child_of(const std::string &dir, const char *name) {
  if (strcmp(name, ".") == 0) return dir;
  if (strcmp(name, "..") == 0) return parent_of(dir);
  return dir == "/" ? "/" + std::string(name) : dir + "/" + name;
}

// The mount root and the server's "/" are directories without asking.
bool is_root(FtpMount *ctx, const std::string &server_path) {
  return server_path == "/" || server_path == ctx->root ||
         (ctx->root.empty() && server_path.empty());
}

constexpr int kListChunk = 64 * 1024;

// The whole listing, up to the server's close of the data connection; false when it fails or
// stalls for the I/O time-out.
bool read_listing(net_sock *data, std::string *out) {
  std::vector<char> buf(kListChunk);
  for (;;) {
    const int r = net_read(data, buf.data(), kListChunk);
    if (r < 0) return false;
    out->append(buf.data(), static_cast<size_t>(r));
    if (r < kListChunk) {
      if (data->disconnected) return true;
      if (r == 0) return false;
    }
  }
}

// The listing of a directory on conn, without recording anything: 0, or the failing code.
int list_on(FtpMount *ctx, FtpConn *conn, const std::string &server_path,
            std::vector<FtpListEntry> *out, std::string *text) {
  int ret = ftp_cmd(conn, text, "CWD %s", server_path.c_str());
  if (ret != 250) {
    ZLOG(LOG2_DBG, "CWD return error=%d\n", ret);
    return ret > 0 ? ret : -1;
  }
  net_sock data;
  if (!ftp_pasv_mode(ctx, conn, &data)) return -1;
  text->clear();
  ret = ftp_cmd(conn, text, "MLSD");
  if (ret != 150 && ret != 125) {
    ZLOG(LOG2_DBG, "MSLD return error=%d\n", ret);
    net_close(&data);
    return ret > 0 ? ret : -1;
  }
  // The listing is read before the completion reply: a server with a long listing waits for
  // the data connection to drain before it can send that reply.
  std::string listing;
  if (!read_listing(&data, &listing)) {
    ZLOG(LOG2_ERR, "net_gets return error\n");
    net_close(&data);
    ftp_reply(conn, nullptr);
    return -1;
  }
  bool have_dot = false, have_dotdot = false;
  size_t at = 0;
  while (at < listing.size()) {
    size_t eol = listing.find('\n', at);
    if (eol == std::string::npos) eol = listing.size();
    std::string line = listing.substr(at, eol - at);
    at = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= FTP_LINE_SIZE) {
      ZLOG(LOG2_ERR, "return [%.64s...] error\n", line.c_str());
      continue;
    }
    VfsDirEntry entry;
    if (!ftp_parse_facts(line.c_str(), &entry)) {
      if (!line.empty()) ZLOG(LOG2_ERR, "return [%s] error\n", line.c_str());
      continue;
    }
    const char *type = strcasestr(line.c_str(), "type=");
    if (type != nullptr && strncasecmp(type + 5, "cdir", 4) == 0) strcpy(entry.name, ".");
    if (type != nullptr && strncasecmp(type + 5, "pdir", 4) == 0) strcpy(entry.name, "..");
    entry.info.ino = path_ino(child_of(server_path, entry.name));
    have_dot = have_dot || strcmp(entry.name, ".") == 0;
    have_dotdot = have_dotdot || strcmp(entry.name, "..") == 0;
    out->push_back(FtpListEntry{entry.info, entry.name});
  }
  net_close(&data);
  text->clear();
  ret = ftp_reply(conn, text);
  if (ret != 226 && ret != 250) return ret > 0 ? ret : -1;
  for (const char *name : {"..", "."}) {
    if (strcmp(name, ".") == 0 ? have_dot : have_dotdot) continue;
    FtpListEntry dot{VfsFileInfo{}, name};
    dot.info.type = VFS_FTYPE_DIR | VFS_FTYPE_NO_MODE;
    dot.info.nlink = 1;
    dot.info.ino = path_ino(child_of(server_path, name));
    out->insert(out->begin(), dot);
  }
  return 0;
}

}  // namespace

int ftp_stat_on(FtpMount *ctx, FtpConn *conn, const std::string &server_path, VfsFileInfo *info) {
  if (is_root(ctx, server_path)) {
    *info = VfsFileInfo{};
    info->type = VFS_FTYPE_DIR | VFS_FTYPE_NO_MODE;
    info->nlink = 1;
    info->ino = path_ino(server_path);
    return 0;
  }
  std::string text;
  if (ctx->has_mlst) {
    const int ret = ftp_cmd(conn, &text, "MLST %s", server_path.c_str());
    if (ret != 250) return ret;
    // The entry is the one line of the reply that starts with a blank.
    for (size_t at = text.find("\n "); at != std::string::npos; at = text.find("\n ", at + 1)) {
      const size_t end = text.find('\n', at + 2);
      VfsDirEntry entry;
      if (ftp_parse_facts(text.substr(at + 2, end - at - 2).c_str(), &entry)) {
        *info = entry.info;
        info->ino = path_ino(server_path);
        return 0;
      }
    }
    return -1;
  }
  std::vector<FtpListEntry> entries;
  const int ret = list_on(ctx, conn, parent_of(server_path), &entries, &text);
  if (ret != 0) return ret;
  const std::string name = base_of(server_path);
  for (const FtpListEntry &e : entries) {
    if (name == e.name) {
      *info = e.info;
      return 0;
    }
  }
  return 550;
}

int ftp_record_missing(FtpMount *ctx, FtpConn *conn, const std::string &server_path, int code,
                       const std::string &text, const char *what) {
  if (code <= 0)
    return FTP_FAIL(ctx, VERR_DEV_IO_ERROR, "%s [%s]: connection lost", what, server_path.c_str());
  const std::string parent = parent_of(server_path);
  VfsFileInfo info{};
  if (!is_root(ctx, parent) && ftp_stat_on(ctx, conn, parent, &info) == 0 &&
      (info.type & 0xff) != VFS_FTYPE_DIR)
    return FTP_FAIL(ctx, VERR_PATH_NOT_FOUND, "%s [%s]: not a directory", what,
                    server_path.c_str());
  return FTP_FAIL(ctx, ftp_reply_verr(code, text), "%s [%s] ret=%d %s", what, server_path.c_str(),
                  code, text.c_str());
}

bool ftp_server_path(FtpMount *ctx, const char *path, std::string *out) {
  if (path == nullptr) {
    FTP_FAIL(ctx, VERR_INVALID_PARAMETER, "no path");
    return false;
  }
  if (strpbrk(path, "\r\n") != nullptr) {
    FTP_FAIL(ctx, VERR_INVALID_PARAMETER, "[%s]: a line break cannot travel in a command", path);
    return false;
  }
  while (*path == '/') ++path;
  std::string joined = ctx->root;
  if (*path != '\0' || joined.empty()) joined += "/";
  joined += path;
  while (joined.size() > 1 && joined.back() == '/') joined.pop_back();
  if (joined.size() >= VFS_LINK_SIZE) {
    FTP_FAIL(ctx, VERR_FILENAME_TOO_LONG, "path of %zu characters", joined.size());
    return false;
  }
  *out = std::move(joined);
  return true;
}

int ftp_stat_path(FtpMount *ctx, const char *server_path, VfsFileInfo *info) {
  const std::string sp(server_path);
  if (is_root(ctx, sp)) return ftp_stat_on(ctx, nullptr, sp, info);
  FtpLease lease = ftp_lease(ctx);
  if (!lease) return -1;
  const int ret = ftp_stat_on(ctx, lease.get(), sp, info);
  if (ret == 0) return 0;
  return ftp_record_missing(ctx, lease.get(), sp, ret, "", "stat");
}

int ftp_list_dir(FtpMount *ctx, FtpConn *conn, const std::string &server_path,
                 std::vector<FtpListEntry> *out) {
  std::string text;
  const int ret = list_on(ctx, conn, server_path, out, &text);
  if (ret == 0) return 0;
  if (ret == 550) {
    VfsFileInfo info{};
    if (ftp_stat_on(ctx, conn, server_path, &info) == 0 && (info.type & 0xff) != VFS_FTYPE_DIR)
      return FTP_FAIL(ctx, VERR_PATH_NOT_FOUND, "list [%s]: not a directory", server_path.c_str());
  }
  return ftp_record_missing(ctx, conn, server_path, ret, text, "list");
}
