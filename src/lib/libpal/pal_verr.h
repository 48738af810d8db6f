// Status codes (verrno): one integer vocabulary for failures across all modules, their
// messages, the two-way mapping to POSIX errno, and the error record a callee fills for its caller.
#pragma once

#include <cstdint>

using verrno = int32_t;

// Named codes for the values the modules return; the full message table lives in comm/verrmsg.
enum : verrno {
  VERR_SUCCESS = 0,
  VERR_GENERAL_FAILURE = -1,
  VERR_INVALID_PARAMETER = -2,
  VERR_INVALID_MAGIC = -3,
  VERR_INVALID_HANDLE = -4,
  VERR_NO_MEMORY = -8,
  VERR_NOT_IMPLEMENTED = -12,
  VERR_NOT_SUPPORTED = -37,
  VERR_ACCESS_DENIED = -38,
  VERR_INTERRUPTED = -39,
  VERR_TIMEOUT = -40,
  VERR_BUFFER_OVERFLOW = -41,
  VERR_TOO_MUCH_DATA = -42,
  VERR_CANCELLED = -70,
  VERR_FILE_NOT_FOUND = -102,
  VERR_PATH_NOT_FOUND = -103,
  VERR_ALREADY_EXISTS = -105,
  VERR_EOF = -110,
  VERR_READ_ERROR = -111,
  VERR_WRITE_ERROR = -112,
  VERR_WRITE_PROTECT = -113,
  VERR_DIR_NOT_EMPTY = -125,
  VERR_NOT_A_DIRECTORY = -126,
  VERR_IS_A_DIRECTORY = -127,
  VERR_DISK_FULL = -152,
  VERR_NO_MORE_FILES = -201,
  VERR_DEV_IO_ERROR = -250,
  VERR_BROKEN_PIPE = -301,
  VERR_NET_IO_ERROR = -400,
  VERR_NET_CONNECTION_RESET = -454,
  VERR_NET_NOT_CONNECTED = -457,
  VERR_NET_CONNECTION_REFUSED = -461,
};

inline constexpr int VERR_TEXT_SIZE = 4096;

// Why a callee failed. The caller owns it (usually on its stack) and may pass none.
struct verr_info {
  const char *file;  // source path of the failing step, e.g. "src/lib/libnet/sock_cli"
  const char *func;
  int32_t line;
  int32_t code;  // status code, or the raw errno where a system call failed
  char text[VERR_TEXT_SIZE];
};

// Message of a code; "Invalid error code" (after a debug line) for one not in the table.
const char *verr2str(verrno code);
// Status code -> errno; unknown codes give EPERM after a warning (0 -> 0, -1 -> EPERM silently).
int verr_2_posix(verrno code);
// errno -> status code; unknown values give -1 after a warning (0 -> 0).
verrno os_verr_get(int eno);
// Stores verr_2_posix(code) into errno and returns it.
int verr_set_errno(verrno code);

char *os_errno_text(int eno, char *buf, int size);
const char *os_errno_str(int eno);
const char *os_last_errno_str();

void verr_info_set(verr_info *info, const char *file, int line, const char *func, int32_t code,
                   const char *fmt, ...) __attribute__((format(printf, 6, 7)));
void verr_info_set_os(verr_info *info, const char *file, int line, const char *func, int32_t code,
                      const char *detail, const char *fmt, ...) __attribute__((format(printf, 7, 8)));
const char *verr_info_text(const verr_info *info);
void verr_info_copy(verr_info *dst, const verr_info *src);

// Fills an error record at the current source location.
#define VERR_SET(info, code, ...) verr_info_set((info), __FILE__, __LINE__, __func__, (code), __VA_ARGS__)
