// Private records of the FTP driver: the mount context with its pool of logged-in control
// connections, the file and directory handles, and the helpers the slot functions share.
// Assumes every path handed in is relative to the mount root and "/" separated.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net.h"
#include "vfs.h"

inline constexpr int FTP_DEF_PORT = 21;
inline constexpr int FTP_LINE_SIZE = 4096;  // reply and listing lines: at most 4095 characters
inline constexpr int FTP_CMD_MAX = 4093;    // command text, CR LF not counted
inline constexpr int FTP_CONNECT_TIMEOUT_MS = 2000;
inline constexpr int FTP_IO_TIMEOUT_MS = 2000;

// One logged-in control connection. Used by one thread at a time: whoever holds its lease.
struct FtpConn {
  net_sock chan;
  bool trace = false;
  bool lost = false;  // a send or reply read failed: never handed out again
  std::atomic<uint64_t> *active_ms = nullptr;  // the mount's activity time, set on each reply
  FtpConn() = default;
  FtpConn(const FtpConn &) = delete;
  FtpConn &operator=(const FtpConn &) = delete;
  ~FtpConn() { net_close(&chan); }
};

struct FtpMount {
  uint32_t id = VFS_DRV_FTP;
  std::string host;
  int port = FTP_DEF_PORT;
  std::string user;
  std::string password;  // wiped by the destructor
  std::string root;      // server directory that the mount root names, no trailing "/"
  int connect_timeout = FTP_CONNECT_TIMEOUT_MS;
  int io_timeout = FTP_IO_TIMEOUT_MS;
  uint32_t active_mode = 0;  // 0: passive data connections (the only working path)
  bool trace = false;        // log every command and reply line
  bool has_mlst = false;     // FEAT offered MLST: getattr asks for the one entry
  verr_info *err = nullptr;
  VfsMount *mount = nullptr;
  std::mutex lock;
  std::vector<std::unique_ptr<FtpConn>> idle;  // guarded by lock: connections nobody holds
  std::atomic<uint64_t> active_ms{0};          // last answered command, platform clock
  std::atomic<uint32_t> broken{0};             // the server cannot be reached any more
  std::atomic<bool> link_lost{false};          // a connection failed since the last login

  FtpMount() = default;
  FtpMount(const FtpMount &) = delete;
  FtpMount &operator=(const FtpMount &) = delete;
  ~FtpMount();
};

// Holds one control connection of the mount for one operation or one transfer; gives it back
// to the pool on release unless it was lost.
class FtpLease {
 public:
  FtpLease() = default;
  FtpLease(FtpMount *ctx, std::unique_ptr<FtpConn> conn) : ctx_(ctx), conn_(std::move(conn)) {}
  FtpLease(FtpLease &&other) noexcept = default;
  FtpLease &operator=(FtpLease &&other) noexcept;
  ~FtpLease() { release(); }
  void release();
  FtpConn *get() const { return conn_.get(); }
  explicit operator bool() const { return conn_ != nullptr; }

 private:
  FtpMount *ctx_ = nullptr;
  std::unique_ptr<FtpConn> conn_;
};

struct FtpFile {
  uint32_t kind = VFS_KIND_FILE;
  uint32_t mode = 0;      // 0 download, 1 upload
  int64_t length = -1;    // from SIZE; -1 when the server did not report it
  int64_t pos = 0;        // offset of the next byte the transfer moves
  bool data_end = false;  // the server closed the download's data connection
  bool started = false;   // a transfer command was accepted: its completion reply is pending
  verrno broken = VERR_SUCCESS;  // why the upload failed; every later call on it fails the same
  std::string path;       // server path, for restarts
  net_sock data;
  FtpLease conn;
  FtpMount *ctx = nullptr;
  ~FtpFile() { net_close(&data); }
};

// One listed entry, kept small: a full VfsDirEntry holds 4 KiB for a link target that FTP
// never reports, and listings run to thousands of entries.
struct FtpListEntry {
  VfsFileInfo info;
  std::string name;
};

struct FtpDir {
  uint32_t kind = VFS_KIND_DIR;
  std::vector<FtpListEntry> entries;  // the whole listing, read at open
  size_t next = 0;
  VfsDirEntry current{};  // what readdir handed out last
  FtpMount *ctx = nullptr;
};

// --- control connection --------------------------------------------------------------------

// Sends one command (format null: none) and returns the reply code of ftp_reply; -1 when the
// command is too long, holds a line break or cannot be sent.
int ftp_cmd(FtpConn *conn, std::string *reply_text, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
// Reads one reply, multi-line replies whole; every line is appended to reply_text (with "\n")
// when given. The code of the final line, or the read result (0 or negative) on failure.
int ftp_reply(FtpConn *conn, std::string *reply_text);

// Connects and runs the login dialogue; null with the reason logged and in ctx->err.
std::unique_ptr<FtpConn> ftp_login(FtpMount *ctx);
// A free control connection (a pooled one that is still alive, or a new login); an empty
// lease with ctx->err filled when none can be had.
FtpLease ftp_lease(FtpMount *ctx);
// Drops pooled connections the server has closed and logs in again when all were dropped;
// marks the mount broken when that fails. The heartbeat's check, cheap while all is well.
void ftp_check_link(FtpMount *ctx);

// --- data connections ----------------------------------------------------------------------

// "h1,h2,h3,h4,p1,p2" inside the parentheses of a 227 reply: address text and port.
[[nodiscard]] bool ftp_parse_pasv(const char *reply, std::string *host, int *port);
// A passive data connection into data (time-out set); false with the reason logged.
[[nodiscard]] bool ftp_pasv_mode(FtpMount *ctx, FtpConn *conn, net_sock *data);

// --- paths, facts and errors ---------------------------------------------------------------

// The server path of a mount-relative path; false (error recorded) when it is too long or
// holds CR or LF, which would end the command early and start another.
[[nodiscard]] bool ftp_server_path(FtpMount *ctx, const char *path, std::string *out);

// One MLSD / MLST line "fact=value;...; name" into entry: false when it has no usable type.
[[nodiscard]] bool ftp_parse_facts(const char *line, VfsDirEntry *entry);
// "YYYYMMDDHHMMSS[.sss]" (UTC) into a time; false when malformed.
[[nodiscard]] bool ftp_parse_time(const char *text, VfsTime *out);

// The status of a path: MLST when the server has it, else its entry in the parent's listing.
// 0, or -1 with the error recorded (ENOENT / ENOTDIR as the path warrants).
int ftp_stat_path(FtpMount *ctx, const char *server_path, VfsFileInfo *info);
// The entry of one path on conn, recording nothing: 0 found, else the reply code (0 or
// negative when the connection failed, 550 when there is no such entry).
int ftp_stat_on(FtpMount *ctx, FtpConn *conn, const std::string &server_path, VfsFileInfo *info);
// Records why the server refused server_path with code: ENOENT when it is missing, ENOTDIR
// when a file stands in its parent's place, else the reply's meaning. Always -1.
int ftp_record_missing(FtpMount *ctx, FtpConn *conn, const std::string &server_path, int code,
                       const std::string &text, const char *what);
// Reads a directory listing (CWD + MLSD) on conn; -1 with the error recorded.
int ftp_list_dir(FtpMount *ctx, FtpConn *conn, const std::string &server_path,
                 std::vector<FtpListEntry> *out);

// Records a failure in the mount's error record; always -1.
int ftp_fail_at(FtpMount *ctx, const char *file, int line, const char *func, verrno code,
                const char *fmt, ...) __attribute__((format(printf, 6, 7)));
#define FTP_FAIL(ctx, code, ...) \
  ftp_fail_at((ctx), __FILE__, __LINE__, __func__, (code), __VA_ARGS__)
// The status code for a negative reply to a command (4xx/5xx) or a lost connection (code <= 0).
verrno ftp_reply_verr(int code, const std::string &reply_text);
