// Status codes (verrno): one integer vocabulary for failures across all modules, their
// messages, the two-way mapping to POSIX errno, and the error record a callee fills for its caller.
#pragma once

#include <cstdint>

using verrno = int32_t;

// Named codes for the values the modules return; the full message table lives in comm/verrmsg.
// One positive code exists: VINF_NO_DIR_EXTRA_DATA (203), success with extra information.
enum : verrno {
  VERR_SUCCESS = 0,
  VERR_GENERAL_FAILURE = -1,
  VERR_INVALID_PARAMETER = -2,
  VERR_INVALID_MAGIC = -3,
  VERR_INVALID_HANDLE = -4,
  VERR_INVALID_POINTER = -6,
  VERR_NO_MEMORY = -8,
  VERR_PERMISSION_DENIED = -10,
  VERR_VERSION_MISMATCH = -11,
  VERR_NOT_IMPLEMENTED = -12,
  VERR_INVALID_FLAGS = -13,
  VERR_WRONG_ORDER = -22,
  VERR_ALREADY_INITIALIZED = -28,
  VERR_INVALID_FUNCTION = -36,
  VERR_NOT_SUPPORTED = -37,
  VERR_ACCESS_DENIED = -38,
  VERR_INTERRUPTED = -39,
  VERR_TIMEOUT = -40,
  VERR_BUFFER_OVERFLOW = -41,
  VERR_TOO_MUCH_DATA = -42,
  VERR_PROCESS_NOT_FOUND = -50,
  VERR_TRY_AGAIN = -52,
  VERR_PARSE_ERROR = -53,
  VERR_OUT_OF_RANGE = -54,
  VERR_NO_DIGITS = -56,
  VERR_NO_TRANSLATION = -58,
  VERR_CANCELLED = -70,
  VERR_TRAILING_CHARS = -76,
  VERR_NOT_FOUND = -78,
  VERR_INVALID_STATE = -79,
  VERR_OUT_OF_RESOURCES = -80,
  VERR_INVALID_BASE64_ENCODING = -87,
  VERR_AUTHENTICATION_FAILURE = -89,
  VERR_MISSING = -99,
  VERR_FILE_IO_ERROR = -100,
  VERR_OPEN_FAILED = -101,
  VERR_FILE_NOT_FOUND = -102,
  VERR_PATH_NOT_FOUND = -103,
  VERR_INVALID_NAME = -104,
  VERR_ALREADY_EXISTS = -105,
  VERR_TOO_MANY_OPEN_FILES = -106,
  VERR_SEEK = -107,
  VERR_SEEK_ON_DEVICE = -109,
  VERR_EOF = -110,
  VERR_READ_ERROR = -111,
  VERR_WRITE_ERROR = -112,
  VERR_WRITE_PROTECT = -113,
  VERR_SHARING_VIOLATION = -114,
  VERR_FILE_LOCK_FAILED = -115,
  VERR_NOT_SAME_DEVICE = -119,
  VERR_FILENAME_TOO_LONG = -120,
  VERR_MEDIA_NOT_PRESENT = -121,
  VERR_MEDIA_NOT_RECOGNIZED = -122,
  VERR_DIR_NOT_EMPTY = -125,
  VERR_NOT_A_DIRECTORY = -126,
  VERR_IS_A_DIRECTORY = -127,
  VERR_FILE_TOO_BIG = -128,
  VERR_RESOURCE_BUSY = -138,
  VERR_DISK_FULL = -152,
  VERR_TOO_MANY_SYMLINKS = -156,
  VERR_NO_MORE_FILES = -201,
  VERR_NO_MORE_SEARCH_HANDLES = -202,
  VINF_NO_DIR_EXTRA_DATA = 203,
  VERR_INTERNAL_ERROR = -225,
  VERR_DEV_IO_ERROR = -250,
  VERR_IO_NOT_READY = -252,
  VERR_DEV_NOT_FOUND = -258,
  VERR_BROKEN_PIPE = -301,
  VERR_NO_DATA = -304,
  VERR_DEADLOCK = -365,
  VERR_NET_IO_ERROR = -400,
  VERR_NET_OUT_OF_RESOURCES = -401,
  VERR_NET_HOST_NOT_FOUND = -402,
  VERR_NET_IN_PROGRESS = -436,
  VERR_NET_ALREADY_IN_PROGRESS = -437,
  VERR_NET_NOT_SOCKET = -438,
  VERR_NET_MSG_SIZE = -440,
  VERR_NET_PROTOCOL_NOT_SUPPORTED = -443,
  VERR_NET_OPERATION_NOT_SUPPORTED = -445,
  VERR_NET_ADDRESS_FAMILY_NOT_SUPPORTED = -447,
  VERR_NET_ADDRESS_IN_USE = -448,
  VERR_NET_ADDRESS_NOT_AVAILABLE = -449,
  VERR_NET_DOWN = -450,
  VERR_NET_UNREACHABLE = -451,
  VERR_NET_CONNECTION_ABORTED = -453,
  VERR_NET_CONNECTION_RESET = -454,
  VERR_NET_NO_BUFFER_SPACE = -455,
  VERR_NET_ALREADY_CONNECTED = -456,
  VERR_NET_NOT_CONNECTED = -457,
  VERR_NET_SHUTDOWN = -458,
  VERR_NET_CONNECTION_REFUSED = -461,
  VERR_NET_HOST_DOWN = -464,
  VERR_NET_HOST_UNREACHABLE = -465,
  VERR_NET_PROTOCOL_ERROR = -466,
  VERR_NET_INCOMPLETE_TX_PACKET = -467,
  VERR_BAD_EXE_FORMAT = -608,
  VERR_SYMBOL_NOT_FOUND = -609,
  VERR_MODULE_NOT_FOUND = -610,
  VERR_PRIVILEGE_NOT_HELD = -901,
  VERR_ACCOUNT_RESTRICTED = -902,
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

// One row of the message table; the table ends with a row whose message is null.
struct verr_msg_entry {
  const char *msg;
  verrno code;
};

// The message table in its fixed order (0, then -1 downwards, +203 right after -202).
const verr_msg_entry *verr_msg_table();
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
