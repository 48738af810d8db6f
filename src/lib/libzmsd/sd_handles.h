// The file and directory handle records of a session, and the steps the command files share:
// handle checks, reporting a call's outcome, and the stat response. One thread at a time uses a
// session and its handles (the remote driver serialises them).
#pragma once

#include <string>
#include <vector>

#include "sd_session.h"
#include "zmsd_ops.h"

// Both handle kinds start like this, so the session of any handle is found the same way.
struct sd_handle_head {
  uint32_t handle_type;
  zmsd_session *session;
};

struct zmsd_file {
  sd_handle_head head{ZMSD_HANDLE_FILE, nullptr};
  std::string path;  // kept for the reopen of a read restart
  uint32_t flags = 0;
  uint64_t fd = 0;
  uint64_t offset = 0;
  uint8_t rd_timeout_pending = 0;  // Windows servers: set the per-file time-outs before first use
  uint8_t wr_timeout_pending = 0;
};

struct zmsd_dir {
  sd_handle_head head{ZMSD_HANDLE_DIR, nullptr};
  uint64_t fd = 0;
  std::vector<char> listing;  // the session's directory buffer size, allocated on first use
  int32_t pos = -1;           // -1: fetch the next chunk
  zmsd_dirent entry{};
  uint64_t count = 0;  // entries returned so far
};

// The session that handle belongs to (session, file or directory), or null.
zmsd_session *sd_owner_session(const void *handle);
// handle as a file or directory handle, or null after logging "invalid handle\n".
zmsd_file *sd_file_handle(void *handle);
zmsd_dir *sd_dir_handle(void *handle);
// The server file number handle stands for: 0 for the session.
uint64_t sd_handle_fd(const void *handle);

// Records status in the session's error record and gives the call's result: 0 or -1.
int sd_report(zmsd_session *s, int status);
// The same for -12 and the upgrade text, the answer of every closed version gate.
int sd_report_upgrade(zmsd_session *s);

// Appends "fd" to a fresh request in the build buffer: SD_OK or SD_MEMORY_ERROR.
[[nodiscard]] int sd_begin_fd(zmsd_session *s, uint64_t fd);

// The stat response policy (entry count by flag A) and its conversion.
const blobmsg_policy *sd_stat_policy(const zmsd_session *s, int *count);
inline constexpr int SD_STAT_FIELDS_MAX = 19;
void sd_stat_take(const zmsd_session *s, const blob_attr *const *table, zmsd_stat *out);

// Opens: sends the request already in the build buffer and makes the registered handle.
zmsd_file *sd_open_finish(zmsd_session *s, int command, const char *path, uint32_t flags);
// Sends command 10 for f's path and flags again and takes the new server file number.
[[nodiscard]] int sd_reopen(zmsd_file *f);
// Closes and frees every open file and directory of the session (zmsd_cli_exit).
void sd_close_handles(zmsd_session *s);
inline constexpr int SD_CMD_SERVER_CONTROL = 8;
// Builds a server-control request (command 8) in the build buffer. A status code.
[[nodiscard]] int sd_server_control_build(zmsd_session *s, uint64_t fd, int code, const void *in,
                                          int in_len, int out_room);
// One server-control exchange on file number fd. A status code.
[[nodiscard]] int sd_server_control(zmsd_session *s, uint64_t fd, int code, const void *in,
                                    int in_len, void *out, int out_room, int *out_len);
