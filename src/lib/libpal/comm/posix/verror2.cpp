// Status code -> POSIX errno, the one table the FUSE front end uses to answer the kernel.
// Mapping is by errno name, so the numbers are those of the platform the program is built for.
#include <cerrno>

#include "code_map.h"
#include "pal_log.h"
#include "pal_verr.h"

static const char kLogTag[] = "pal";

namespace {

const code_pair kToErrno[] = {
    {0, 0},
    {-1, EPERM},
    {-2, EINVAL},
    {-4, EBADF},
    {-6, EFAULT},
    {-8, ENOMEM},
    {-36, ENOTTY},
    {-37, EOPNOTSUPP},
    {-38, EPERM},
    {-39, EINTR},
    {-40, ETIMEDOUT},
    {-42, E2BIG},
    {-50, ESRCH},
    {-52, EAGAIN},
    {-58, EILSEQ},
    {-102, ENOENT},
    {-103, ENOTDIR},
    {-105, EEXIST},
    {-106, EMFILE},
    {-109, ESPIPE},
    {-113, EROFS},
    {-114, ETXTBSY},
    {-115, ENOLCK},
    {-119, EXDEV},
    {-120, ENAMETOOLONG},
    {-121, ENOMEDIUM},
    {-122, EMEDIUMTYPE},
    {-125, ENOTEMPTY},
    {-127, EISDIR},
    {-128, EFBIG},
    {-138, EBUSY},
    {-152, ENOSPC},
    {-156, ELOOP},
    {-250, EIO},
    {-252, ENXIO},
    {-258, ENXIO},
    {-301, EPIPE},
    {-304, ENODATA},
    {-365, EDEADLK},
    {-405, ENONET},
    {-406, ENOTUNIQ},
    {-436, EINPROGRESS},
    {-437, EALREADY},
    {-438, ENOTSOCK},
    {-439, EDESTADDRREQ},
    {-440, EMSGSIZE},
    {-441, EPROTOTYPE},
    {-442, ENOPROTOOPT},
    {-443, EPROTONOSUPPORT},
    {-444, ESOCKTNOSUPPORT},
    {-445, EOPNOTSUPP},
    {-446, EPFNOSUPPORT},
    {-447, EAFNOSUPPORT},
    {-448, EADDRINUSE},
    {-449, EADDRNOTAVAIL},
    {-450, ENETDOWN},
    {-451, ENETUNREACH},
    {-452, ENETRESET},
    {-453, ECONNABORTED},
    {-454, ECONNRESET},
    {-455, ENOBUFS},
    {-456, EISCONN},
    {-457, ENOTCONN},
    {-458, ESHUTDOWN},
    {-459, ETOOMANYREFS},
    {-461, ECONNREFUSED},
    {-464, EHOSTDOWN},
    {-465, EHOSTUNREACH},
    {-466, EPROTO},
    {-608, ENOEXEC},
};

}  // namespace

int verr_2_posix(verrno code) {
  if (const code_pair *p = code_map_find(kToErrno, code)) return p->to;
  ZLOG(LOG2_WARN, "unkown verrno = %d\n", code);
  return EPERM;
}

int verr_set_errno(verrno code) {
  const int eno = verr_2_posix(code);
  errno = eno;
  return eno;
}
