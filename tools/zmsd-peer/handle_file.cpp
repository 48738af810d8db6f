// Commands on an open file number: close, read and write (at the current position or at an
// offset, data compressed by the context's codec), flush, seek, truncate, status, times, lock.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "fs_status.h"
#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

// Largest read one reply may carry: its compressed form must fit a 24-bit attribute length.
constexpr int32_t kMaxReadLen = 0xC00000;

// Reads or writes until `len` bytes moved or the file ends; -errno on failure.
template <typename Io>
ssize_t move_all(Io io, size_t len) {
  size_t done = 0;
  while (done < len) {
    const ssize_t n = io(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    if (n == 0) break;
    done += size_t(n);
  }
  return ssize_t(done);
}

void read_file(Connection &c, const Request &rq, Reply &rp, int fd) {
  int32_t len = 0;
  int64_t offset = 0;
  if (!need_i32(rq, rp, "len", len) || (rq.command == 29 && !need_i64(rq, rp, "offset", offset))) return;
  if (len < 0 || len > kMaxReadLen) return rp.fail(VERR_TOO_MUCH_DATA, "read len out of range: " + std::to_string(len));
  // Left uninitialised: the read fills every byte that is used, and zeroing a large read first
  // would cost as much as the copy out of the page cache.
  const size_t want = static_cast<size_t>(len);
  std::unique_ptr<uint8_t[]> buf(new uint8_t[want ? want : 1]);
  const ssize_t n = move_all([&](size_t done) {
    return rq.command == 29 ? pread(fd, buf.get() + done, want - done, offset + off_t(done))
                            : read(fd, buf.get() + done, want - done);
  }, want);
  if (n < 0) return rp.fail_os(int(-n));
  rp.fields().add_i32("len", int32_t(n));
  rp.fields().add_i32("flags", 0);
  add_packed_data(rp.fields(), c.ctx->codec, buf.get(), size_t(n));
}

void write_file(Connection &c, const Request &rq, Reply &rp, int fd) {
  int32_t flags = 0, len = 0;
  int64_t offset = 0;
  if (!need_i32(rq, rp, "flags", flags) || !need_i32(rq, rp, "len", len) ||
      (rq.command == 30 && !need_i64(rq, rp, "offset", offset)) || !writable(c, rp))
    return;
  const Field *data = rq.fields.binary("data");
  std::vector<uint8_t> bytes;
  // Uncompressed data is written from the request itself.
  const bool plain = c.ctx->codec == Codec::none;
  const bool sound = data && len >= 0 &&
                     (plain ? data->len == size_t(len) : unpack_data(c.ctx->codec, *data, size_t(len), bytes));
  if (!sound) return rp.fail(VERR_INVALID_PARAMETER, "bad request: \"data\" does not unpack to \"len\" bytes");
  const uint8_t *from = plain ? data->data : bytes.data();
  const size_t size = size_t(len);
  const ssize_t n = move_all([&](size_t done) {
    return rq.command == 30 ? pwrite(fd, from + done, size - done, offset + off_t(done))
                            : write(fd, from + done, size - done);
  }, size);
  if (n < 0) return rp.fail_os(int(-n));
  rp.fields().add_i32("len", int32_t(n));
}

void set_times(const Request &rq, Reply &rp, int fd) {
  int64_t atime = 0, wtime = 0, ctime = 0;
  int32_t ans = 0, wns = 0, cns = 0;
  if (!need_i64(rq, rp, "time_access", atime) || !need_i64(rq, rp, "time_write", wtime) ||
      !need_i64(rq, rp, "time_create", ctime))
    return;
  if (rq.command == 27 && (!need_i32(rq, rp, "time_access_ns", ans) || !need_i32(rq, rp, "time_write_ns", wns) ||
                           !need_i32(rq, rp, "time_create_ns", cns)))
    return;
  const timespec times[2] = {{time_t(atime), long(ans)}, {time_t(wtime), long(wns)}};
  if (futimens(fd, times) != 0) rp.fail_os(errno);
}

void lock_range(const Request &rq, Reply &rp, int fd) {
  int32_t type = 0;
  int64_t offset = 0, len = 0;
  if (!need_i32(rq, rp, "type", type) || !need_i64(rq, rp, "offset", offset) || !need_i64(rq, rp, "len", len)) return;
  struct flock fl {};
  fl.l_type = short((type & 3) == 3 ? F_UNLCK : (type & 1) ? F_RDLCK : F_WRLCK);
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = len < 0 ? 0 : len;  // -1: to the end of the file
  // Per open file, not per process: every client lives in this one process.
  if (fcntl(fd, F_OFD_SETLK, &fl) != 0) rp.fail_os(errno);
}

void close_file(Connection &c, uint64_t number, Reply &rp) {
  auto it = c.ctx->files.find(number);
  const int r = it->second.close();
  c.ctx->files.erase(it);
  if (r != 0) rp.fail_os(-r);
}

}  // namespace

void handle_file(Connection &c, const Request &rq, Reply &rp) {
  int64_t number = 0;
  if (!need_i64(rq, rp, "fd", number)) return;
  auto it = c.ctx->files.find(uint64_t(number));
  if (it == c.ctx->files.end()) return rp.fail(VERR_INVALID_HANDLE, "bad fd " + std::to_string(number));
  const int fd = it->second.get();
  switch (rq.command) {
    case 11: return close_file(c, uint64_t(number), rp);
    case 12: case 29: return read_file(c, rq, rp, fd);
    case 13: case 30: return write_file(c, rq, rp, fd);
    case 14:
      if (fsync(fd) != 0) rp.fail_os(errno);
      return;
    case 15: {
      int64_t offset = 0, whence = 0;
      if (!need_i64(rq, rp, "offset", offset) || !need_i64(rq, rp, "mode", whence)) return;
      const off_t at = lseek(fd, offset, int(whence));
      if (at < 0) return rp.fail_os(errno);
      rp.fields().add_i64("offset", at);
      return;
    }
    case 16: {
      int64_t len = 0;
      if (!need_i64(rq, rp, "len", len) || !writable(c, rp)) return;
      if (ftruncate(fd, len) != 0) rp.fail_os(errno);
      return;
    }
    case 21: case 26: {
      Status s;
      if (int r = status_of_fd(fd, s); r != 0) return rp.fail_os(-r);
      add_stat_fields(rp.fields(), s, rq.command == 26);
      return;
    }
    case 22: case 27:
      if (writable(c, rp)) set_times(rq, rp, fd);
      return;
    case 23: return lock_range(rq, rp, fd);
  }
}

}  // namespace peer
