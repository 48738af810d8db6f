// The zmp client: sessions with a zmsd daemon over TCP ("zmp://") or TLS ("zmps://"), opened
// from a URL, logged in, told the payload compressor and the server's version. A session and its
// handles belong to one thread at a time; the caller serialises every call on them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net.h"
#include "pal_verr.h"

inline constexpr int ZMP_DEF_PORT = 6688;   // "zmp"
inline constexpr int ZMPS_DEF_PORT = 6686;  // "zmps"

// Every handle of the client starts with one of these words.
enum : uint32_t {
  ZMSD_HANDLE_SESSION = 0,
  ZMSD_HANDLE_FILE = 1,
  ZMSD_HANDLE_DIR = 2,
};

// File control codes (command 20) that the session itself sends.
inline constexpr int ZMSD_IOCTL_PACK = 10001;  // payload: the compressor name and its NUL

struct zmsd_session;  // opaque

// Once per process, before any session: the TLS client configuration (without it "zmps"
// sessions fail to connect). A second call does nothing; zmsd_cli_uninit frees it.
void zmsd_cli_init();
void zmsd_cli_uninit();

// Connects, logs in, announces the compressor and reads the server information. Null on
// failure, with the reason in err (which may be null). The session reports later failures into
// the same err, so it must outlive the session; a null err gives the session a record of its own.
[[nodiscard]] zmsd_session *zmsd_cli_connect(const char *url, verr_info *err);
// The same with a stop control that cancels the connect and, later, reads of the session.
[[nodiscard]] zmsd_session *zmsd_cli_connect2(const char *url, stop_ctl *stop, verr_info *err);
// login 0 connects without logging in.
[[nodiscard]] zmsd_session *zmsd_cli_connect3(const char *url, stop_ctl *stop, int login,
                                              verr_info *err);

// Says goodbye while connected and frees the session. 0, or -1 for an invalid handle.
int zmsd_cli_exit(zmsd_session *session);
// Drops the connection and opens it again the same way (same proxy, same TLS settings), then
// logs in again. 0, or -1 with the reason in the session's error record.
[[nodiscard]] int zmsd_cli_reconnect(zmsd_session *session);

// Asks for the server information and sets the version gates. 0 or -1.
[[nodiscard]] int zmsd_cli_ver_info(zmsd_session *session);
// The server information text (command 4) into out; a client status code (0 on success).
[[nodiscard]] int cli_info(zmsd_session *session, char *out, size_t size);

// The code and text of the error record of the session that handle belongs to; -1 and
// "invalid handle" for anything that is not a handle of the client.
int zmsd_cli_last_errno(const void *handle);
const char *zmsd_cli_last_error(const void *handle);

// What the server information told: "ver" (empty when missing), the platform gates.
const char *zmsd_cli_srv_ver(const zmsd_session *session);
bool zmsd_cli_ext_stat(const zmsd_session *session);     // server version at least 1.5.3
bool zmsd_cli_positioned_io(const zmsd_session *session);  // at least 1.6.4
bool zmsd_cli_is_windows(const zmsd_session *session);   // "plat" is exactly "windows"

// --- server information texts ------------------------------------------------------------------

// The value of key in an information text ("key=[value]" lines): the characters between the
// first "[" and the last "]" of its line, cut to size - 1; empty when the key is missing or its
// value has no brackets. Returns out.
char *zmsd_info_value(const char *info, const char *key, char *out, size_t size);

// A dotted version text of up to four decimal numbers of 16 bits each, packed so that versions
// compare as numbers: the first field in the high 16 bits. More than four numbers, or a first
// number that is 0 or missing, give 0.
uint64_t zmsd_ver_parse(const char *text);
// Whether version text is at least least (both parsed as above).
bool zmsd_ver_at_least(const char *text, const char *least);
