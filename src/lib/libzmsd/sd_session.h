// The session record behind the opaque zmsd_session handle, the connection parameters a session
// keeps for its reconnects, and the steps that the connect, the login and the file commands share.
// One thread at a time uses a session; nothing here locks.
#pragma once

#include <cstdint>
#include <vector>

#include "libpwd.h"
#include "net.h"
#include "pack_ex.h"
#include "pal_url.h"
#include "sd_comm.h"
#include "zmsd.h"

inline constexpr int SD_CIPHER_SIZE = 48;  // "ssl-cipher": up to 47 characters
inline constexpr int SD_SRV_VER_SIZE = 32;
inline constexpr int SD_INFO_SIZE = 4096;
inline constexpr int SD_CERT_MAX = 256;  // characters of the key login's challenge that count

// Everything the URL says about how to reach and use the server. Kept whole in the session, so
// that a reconnect rebuilds the same link: same proxy, same TLS settings, same time-outs.
struct sd_conn_params {
  char host[URL_PART_SIZE];
  int port;
  uint32_t tls;  // 1 for "zmps"
  char user[PWD_TEXT_SIZE];
  pwd_secret password;
  int32_t connect_timeout;  // ms
  int32_t read_timeout;
  int32_t write_timeout;
  int32_t block_size;  // bytes
  int32_t rdir_size;
  int32_t sock_bufsize;
  char pack[SDCOMP_NAME_SIZE];
  char cipher[SD_CIPHER_SIZE];
  sock_param sock;  // connect time-out, buffer size, proxy and stop control for every connect
};

// Reads the parameters from url (scheme, host, port, user information and the query keys), with
// the defaults and limits of each. 0, or -1 with the reason in err (a bad proxy setting).
[[nodiscard]] int sd_conn_params_read(const char *url, stop_ctl *stop, sd_conn_params *out,
                                      verr_info *err);
// Wipes the kept password and proxy credentials.
void sd_conn_params_clear(sd_conn_params *params);

struct zmsd_file;
struct zmsd_dir;

struct zmsd_session {
  uint32_t handle_type = ZMSD_HANDLE_SESSION;  // first word of every handle
  sd_link link{};                              // channel, buffers, frame version, error record
  verr_info own_err{};                         // the error record when the caller gave none
  sd_conn_params params{};
  pwd_secret login_key;  // 40 hexadecimal digits of the last key login
  int32_t block_size = 0;    // largest read or write chunk
  int32_t largest_read = 0;  // largest byte count one read request has returned
  int32_t rdir_size = 0;     // bytes of one directory listing request
  int32_t os_type = 0;       // "os_type" of the simple login; 1 is a Windows server
  sdcomp_ctx comp{};         // rebuilt after each successful compressor announcement
  char srv_ver[SD_SRV_VER_SIZE] = {};
  uint8_t flag_a = 0;   // server version at least 1.5.3: extended stat and listing commands
  uint8_t flag_b = 0;   // at least 1.6.4: positioned reads and writes
  uint8_t windows = 0;  // "plat" is "windows"
  // Handles still open, closed by zmsd_cli_exit; the server context that link recovery attaches to.
  std::vector<zmsd_file *> files;
  std::vector<zmsd_dir *> dirs;
  uint64_t srv_ctx = 0;
};

// Closes the TLS context and the channel; the session stays, disconnected.
void sd_link_close(zmsd_session *s);

// The session a handle belongs to, or null for anything that is not a handle of the client.
zmsd_session *sd_handle_session(const void *handle);

// One exchange in the shape every command shares, with the request already in the build buffer:
// send it as command, read the response, parse it with policy (entries 0 and 1 are "errno" and
// "errno_str"), keep the server's error. A client status code.
[[nodiscard]] int sd_call(zmsd_session *s, int command, const blobmsg_policy *policy, int count,
                          const blob_attr **table);
// The policy of a response that carries nothing besides the server's status.
extern const blobmsg_policy kSdStatusPolicy[2];
// The steps of sd_call, for exchanges that log between them.
[[nodiscard]] int sd_send(zmsd_session *s, int command);
[[nodiscard]] int client_recv_response(zmsd_session *s, int *length);
// Parses the last response: 0, or SD_NET_DATA_ERROR.
[[nodiscard]] int sd_parse(zmsd_session *s, const blobmsg_policy *policy, int count,
                           const blob_attr **table);

// The login choice: a probe, then the simple login for frame version 1 or the key login. A
// client status code (0 also when the server lets the client in without a password).
[[nodiscard]] int cli_init(zmsd_session *s, const char *user, const char *password);
// Simple login (command 1) and key login (commands 90, 91).
[[nodiscard]] int cli_init1(zmsd_session *s, const char *user, const char *password);
[[nodiscard]] int cli_init2(zmsd_session *s, const char *user, const char *password);

// File control (command 20) on server file number fd with len payload bytes. A status code.
[[nodiscard]] int sd_file_control(zmsd_session *s, uint64_t fd, int code, const void *data,
                                  int len);
// Tells the server the compressor (file control 10001) and rebuilds the session's own
// compression context for it. 0, or -1 with the reason in the session's error record.
[[nodiscard]] int sd_pack_announce(zmsd_session *s, const char *name);
