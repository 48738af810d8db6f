// FTP file handles: one transfer each (RETR from an offset, STOR or APPE) on a control
// connection of its own and a passive data connection. Reads at another offset restart the
// download there with REST; writes must follow each other, as an upload is one stream.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "ftp_ops.h"
#include "pal_log.h"
#include "pal_url.h"

static const char kLogTag[] = "vfs";

namespace {

constexpr int kChunk = 64 * 1024;  // each piece must move within the I/O time-out
constexpr uint32_t kIgnoredFlags = VFS_O_CREAT | VFS_O_TRUNC | VFS_O_DIRECT | VFS_O_CONVERTED;
constexpr size_t kOffsetTextSize = 1024;  // "offset" query value: at most 1023 characters

bool is_preliminary(int code) { return code == 150 || code == 125; }

// Opens the data connection and starts RETR at offset: true with the transfer running.
bool begin_download(FtpFile *file, int64_t offset) {
  FtpMount *ctx = file->ctx;
  FtpConn *conn = file->conn.get();
  if (!ftp_pasv_mode(ctx, conn, &file->data)) return false;
  std::string text;
  if (offset != 0) {
    const int ret = ftp_cmd(conn, &text, "REST %" PRId64, offset);
    if (ret != 350) {
      ZLOG(LOG2_DBG, "REST return error=%d\n", ret);
      net_close(&file->data);
      FTP_FAIL(ctx, ftp_reply_verr(ret, text), "REST %" PRId64 " ret=%d %s", offset, ret,
               text.c_str());
      return false;
    }
  }
  text.clear();
  const int ret = ftp_cmd(conn, &text, "RETR %s", file->path.c_str());
  if (!is_preliminary(ret)) {
    ZLOG(LOG2_DBG, "RETR return error=%d\n", ret);
    net_close(&file->data);
    FTP_FAIL(ctx, ftp_reply_verr(ret, text), "RETR [%s] ret=%d %s", file->path.c_str(), ret,
             text.c_str());
    return false;
  }
  file->started = true;
  file->data_end = false;
  file->pos = offset;
  return true;
}

bool begin_upload(FtpFile *file, const char *verb) {
  FtpMount *ctx = file->ctx;
  if (!ftp_pasv_mode(ctx, file->conn.get(), &file->data)) return false;
  std::string text;
  const int ret = ftp_cmd(file->conn.get(), &text, "%s %s", verb, file->path.c_str());
  if (!is_preliminary(ret) && ret != 226) {
    ZLOG(LOG2_DBG, "%s return error=%d\n", verb, ret);
    net_close(&file->data);
    FTP_FAIL(ctx, ftp_reply_verr(ret, text), "%s [%s] ret=%d %s", verb, file->path.c_str(), ret,
             text.c_str());
    return false;
  }
  file->started = is_preliminary(ret);
  file->mode = 1;
  return true;
}

// Ends the running transfer: closes the data connection and reads its completion reply.
int end_transfer(FtpFile *file, std::string *text) {
  net_close(&file->data);
  if (!file->started) return 226;
  file->started = false;
  return ftp_reply(file->conn.get(), text);
}

// Moves the download to offset: the running transfer is dropped and a new one starts there.
bool restart_download(FtpFile *file, int64_t offset) {
  ZLOG(LOG2_DBG, "path=%s restart at %" PRId64 " (was %" PRId64 ")\n", file->path.c_str(), offset,
       file->pos);
  std::string text;
  const int ret = end_transfer(file, &text);
  if (ret <= 0) {
    FTP_FAIL(file->ctx, VERR_DEV_IO_ERROR, "[%s]: connection lost", file->path.c_str());
    return false;
  }
  return begin_download(file, offset);
}

// A server that refuses the rest of an upload (its disk is full) breaks the data connection and
// says why on the control connection. The upload cannot go on: an append would continue after
// bytes the server never stored.
int fail_upload(FtpFile *file) {
  std::string text;
  const int ret = end_transfer(file, &text);
  file->broken = ret >= 400 ? ftp_reply_verr(ret, text) : VERR_DEV_IO_ERROR;
  return FTP_FAIL(file->ctx, file->broken, "[%s]: data connection failed, ret=%d %s",
                  file->path.c_str(), ret, text.c_str());
}

int upload_failed_earlier(FtpFile *file) {
  return FTP_FAIL(file->ctx, file->broken, "[%s]: the upload failed earlier", file->path.c_str());
}

FtpFile *as_file(void *fh) {
  auto *file = static_cast<FtpFile *>(fh);
  return file != nullptr && file->kind == VFS_KIND_FILE ? file : nullptr;
}

}  // namespace

FtpFile *ftp_transfer_open(FtpMount *ctx, const std::string &server_path, uint32_t flags,
                           int64_t offset, bool keep_data) {
  flags &= ~kIgnoredFlags;
  if (flags != VFS_O_RDONLY && flags != VFS_O_WRONLY && flags != (VFS_O_WRONLY | VFS_O_APPEND)) {
    ZLOG(LOG2_ERR, "oflag=%d not spport\n", static_cast<int>(flags));
    FTP_FAIL(ctx, VERR_NOT_SUPPORTED, "[%s]: open flags 0x%x: FTP moves whole streams",
             server_path.c_str(), flags);
    return nullptr;
  }
  auto file = std::make_unique<FtpFile>();
  file->ctx = ctx;
  file->path = server_path;
  file->conn = ftp_lease(ctx);
  if (!file->conn) return nullptr;
  FtpConn *conn = file->conn.get();
  std::string text;
  // Servers may refuse SIZE in ASCII mode, so the type comes first.
  int ret = ftp_cmd(conn, &text, "TYPE I");
  if (ret != 200) {
    ZLOG(LOG2_ERR, "ftp_cmd TYPE I ret=%d error\n", ret);
    FTP_FAIL(ctx, ftp_reply_verr(ret, text), "TYPE I ret=%d %s", ret, text.c_str());
    return nullptr;
  }
  text.clear();
  ret = ftp_cmd(conn, &text, "SIZE %s", server_path.c_str());
  if (ret == 213) {
    const size_t blank = text.find(' ');
    char *end = nullptr;
    const long long len =
        blank == std::string::npos ? -1 : strtoll(text.c_str() + blank + 1, &end, 10);
    file->length = len >= 0 ? len : -1;
    ZLOG(LOG2_DBG, "flen=%lld\n", static_cast<long long>(file->length));
  } else {
    ZLOG(LOG2_DBG, "ftp_cmd SIZE  ret=%d error\n", ret);
    if (ret <= 0) {
      FTP_FAIL(ctx, VERR_DEV_IO_ERROR, "SIZE [%s]: connection lost", server_path.c_str());
      return nullptr;
    }
  }
  bool ok = false;
  if (flags == VFS_O_RDONLY) {
    ok = begin_download(file.get(), offset);
  } else if (flags == VFS_O_WRONLY) {
    if (keep_data && file->length > 0) {
      FTP_FAIL(ctx, VERR_NOT_SUPPORTED, "[%s]: an upload would replace its %lld bytes",
               server_path.c_str(), static_cast<long long>(file->length));
      return nullptr;
    }
    ok = begin_upload(file.get(), "STOR");
  } else {
    file->pos = file->length > 0 ? file->length : 0;
    ok = begin_upload(file.get(), "APPE");
  }
  return ok ? file.release() : nullptr;
}

int ftp_transfer_close(FtpFile *file) {
  std::unique_ptr<FtpFile> owner(file);
  std::string text;
  const int ret = end_transfer(file, &text);
  if (file->broken != VERR_SUCCESS) return upload_failed_earlier(file);
  if (file->mode == 1 && ret != 226 && ret != 250) {
    ZLOG(LOG2_ERR, "path=%s upload ended with ret=%d\n", file->path.c_str(), ret);
    return FTP_FAIL(file->ctx, ftp_reply_verr(ret, text), "upload [%s] ret=%d %s",
                    file->path.c_str(), ret, text.c_str());
  }
  return 0;
}

void *ftp_open(void *ctx, const char *path, uint32_t flags) {
  auto *mount = static_cast<FtpMount *>(ctx);
  if (path == nullptr) return nullptr;
  std::string plain(path);
  int64_t offset = 0;
  const size_t query = plain.find('?');
  if (query != std::string::npos) {
    char value[kOffsetTextSize];
    if (query_get(plain.c_str() + query + 1, "offset", value, sizeof value) == 0)
      offset = strtoll(value, nullptr, 10);
    plain.resize(query);
    ZLOG(LOG2_DBG, "offset=%lld\n", static_cast<long long>(offset));
  }
  std::string server_path;
  if (!ftp_server_path(mount, plain.c_str(), &server_path)) return nullptr;
  return ftp_transfer_open(mount, server_path, flags, offset, false);
}

// The kernel's opens: names are taken whole (a "?" is part of the name), a read-write open
// cannot be served by one stream, and an upload must not silently cut an existing file.
void *ftp_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t /*mode*/) {
  auto *mount = static_cast<FtpMount *>(ctx);
  const uint32_t flags = vfs_flags_from_portable(portable_flags);
  if (flags & VFS_O_RDWR) {
    FTP_FAIL(mount, VERR_NOT_SUPPORTED, "[%s]: read-write opens are not possible over FTP",
             path != nullptr ? path : "");
    return nullptr;
  }
  std::string server_path;
  if (!ftp_server_path(mount, path, &server_path)) return nullptr;
  return ftp_transfer_open(mount, server_path, flags, 0, (flags & VFS_O_TRUNC) == 0);
}

int ftp_close(void *fh, int /*flag*/, int /*kind*/) {
  FtpFile *file = as_file(fh);
  return file == nullptr ? -1 : ftp_transfer_close(file);
}

int ftp_read(void *fh, void *buf, uint32_t size, int64_t offset) {
  FtpFile *file = as_file(fh);
  if (file == nullptr) return -1;
  if (file->mode != 0) {
    ZLOG(LOG2_ERR, "only can write\n");
    return FTP_FAIL(file->ctx, VERR_ACCESS_DENIED, "[%s]: open for upload", file->path.c_str());
  }
  if (offset == -1) offset = file->pos;
  if (offset < 0) return FTP_FAIL(file->ctx, VERR_INVALID_PARAMETER, "offset %" PRId64, offset);
  if (offset != file->pos) {
    if (file->length >= 0 && offset >= file->length) return 0;
    if (!restart_download(file, offset)) return -1;
  }
  auto *p = static_cast<char *>(buf);
  uint32_t got = 0;
  while (got < size && !file->data_end) {
    const int want = static_cast<int>(std::min<uint32_t>(size - got, kChunk));
    const int r = net_read(&file->data, p + got, want);
    if (r < 0)
      return FTP_FAIL(file->ctx, VERR_DEV_IO_ERROR, "[%s]: data connection failed",
                      file->path.c_str());
    got += static_cast<uint32_t>(r);
    file->pos += r;
    if (r < want) {
      if (file->data.disconnected)
        file->data_end = true;
      else if (r == 0)
        return FTP_FAIL(file->ctx, VERR_TIMEOUT, "[%s]: no data for %d ms", file->path.c_str(),
                        file->ctx->io_timeout);
    }
  }
  return static_cast<int>(got);
}

int ftp_write(void *fh, const void *buf, uint32_t size, int64_t offset) {
  FtpFile *file = as_file(fh);
  if (file == nullptr) return -1;
  if (file->mode != 1) {
    ZLOG(LOG2_ERR, "only can read\n");
    return FTP_FAIL(file->ctx, VERR_ACCESS_DENIED, "[%s]: open for download", file->path.c_str());
  }
  // The reason a broken upload failed comes first: the writes after it land past its position.
  if (file->broken != VERR_SUCCESS) return upload_failed_earlier(file);
  if (offset != -1 && offset != file->pos) {
    ZLOG(LOG2_ERR, "not sppourt offset\n");
    return FTP_FAIL(file->ctx, VERR_INVALID_PARAMETER,
                    "[%s]: write at %" PRId64 ", the upload stands at %" PRId64, file->path.c_str(),
                    offset, file->pos);
  }
  // An upload that fsync completed goes on as an append at the same place.
  if (file->data.handle == 0 && !begin_upload(file, "APPE")) return -1;
  const auto *p = static_cast<const char *>(buf);
  uint32_t sent = 0;
  while (sent < size) {
    const int want = static_cast<int>(std::min<uint32_t>(size - sent, kChunk));
    const int w = net_write(&file->data, p + sent, want);
    if (w < 0) return fail_upload(file);
    if (w == 0) {
      // Part of the piece may have gone: nothing after it could land at the right place.
      file->broken = VERR_TIMEOUT;
      return FTP_FAIL(file->ctx, VERR_TIMEOUT, "[%s]: data connection stalled", file->path.c_str());
    }
    sent += static_cast<uint32_t>(w);
    file->pos += w;
  }
  return static_cast<int>(sent);
}

// The server has the data only when the upload's transfer is complete: fsync ends it and
// waits for the server's confirmation; a later write continues with APPE.
int ftp_fsync(void *fh, int /*datasync*/) {
  FtpFile *file = as_file(fh);
  if (file == nullptr) return -1;
  if (file->broken != VERR_SUCCESS) return upload_failed_earlier(file);
  if (file->mode != 1 || file->data.handle == 0) return 0;
  std::string text;
  const int ret = end_transfer(file, &text);
  if (ret == 226 || ret == 250) return 0;
  ZLOG(LOG2_ERR, "path=%s upload ended with ret=%d\n", file->path.c_str(), ret);
  return FTP_FAIL(file->ctx, ftp_reply_verr(ret, text), "upload [%s] ret=%d %s", file->path.c_str(),
                  ret, text.c_str());
}

int ftp_flush(void *fh) { return ftp_fsync(fh, 0); }

int64_t ftp_lseek(void *fh, int64_t /*offset*/, int /*whence*/) {
  FtpFile *file = as_file(fh);
  if (file == nullptr) return -1;
  ZLOG(LOG2_ERR, "ftp not support\n");
  return FTP_FAIL(file->ctx, VERR_NOT_SUPPORTED, "[%s]: no seek on a transfer", file->path.c_str());
}

int ftp_fstat(void *fh, VfsFileInfo *info) {
  FtpFile *file = as_file(fh);
  if (file == nullptr || info == nullptr) return -1;
  *info = VfsFileInfo{};
  info->type = VFS_FTYPE_FILE | VFS_FTYPE_NO_MODE;
  info->nlink = 1;
  // A download of unknown length reads until the server ends it.
  if (file->mode == 1)
    info->size = file->pos;
  else
    info->size = file->length >= 0 ? file->length : INT64_MAX;
  return 0;
}
