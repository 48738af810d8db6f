// POSIX errno -> status code, the one table every failed system call passes through, and the
// texts that describe an errno in log lines. Several errno values fold onto one code.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "code_map.h"
#include "pal_log.h"
#include "pal_verr.h"

static const char kLogTag[] = "pal";

namespace {

const code_pair kFromErrno[] = {
    {0, 0},
    {EPERM, -38},
    {ENOENT, -102},
    {ESRCH, -50},
    {EINTR, -39},
    {EIO, -250},
    {ENXIO, -258},
    {E2BIG, -42},
    {ENOEXEC, -608},
    {EBADF, -4},
    {ECHILD, -50},
    {EAGAIN, -52},
    {ENOMEM, -8},
    {EACCES, -38},
    {EFAULT, -6},
    {EBUSY, -138},
    {EEXIST, -105},
    {EXDEV, -119},
    {ENODEV, -102},
    {ENOTDIR, -103},
    {EISDIR, -127},
    {EINVAL, -2},
    {ENFILE, -106},
    {EMFILE, -106},
    {ENOTTY, -36},
    {ETXTBSY, -114},
    {EFBIG, -128},
    {ENOSPC, -152},
    {ESPIPE, -109},
    {EROFS, -113},
    {EPIPE, -301},
    {EDOM, -2},
    {ERANGE, -2},
    {EDEADLK, -365},
    {ENOLCK, -115},
    {ENODATA, -304},
    {ENONET, -405},
    {EPROTO, -466},
    {ENAMETOOLONG, -120},
    {EOVERFLOW, -42},
    {ENOTUNIQ, -406},
    {EBADFD, -4},
    {EILSEQ, -58},
    {ENOSYS, -37},
    {ELOOP, -156},
    {ERESTART, -39},
    {ENOTEMPTY, -125},
    {ENOTSOCK, -438},
    {EDESTADDRREQ, -439},
    {EMSGSIZE, -440},
    {EPROTOTYPE, -441},
    {ENOPROTOOPT, -442},
    {EPROTONOSUPPORT, -443},
    {ESOCKTNOSUPPORT, -444},
    {EOPNOTSUPP, -445},
    {EPFNOSUPPORT, -446},
    {EAFNOSUPPORT, -447},
    {EADDRINUSE, -448},
    {EADDRNOTAVAIL, -449},
    {ENETDOWN, -450},
    {ENETUNREACH, -451},
    {ENETRESET, -452},
    {ECONNABORTED, -453},
    {ECONNRESET, -454},
    {ENOBUFS, -455},
    {EISCONN, -456},
    {ENOTCONN, -457},
    {ESHUTDOWN, -458},
    {ETOOMANYREFS, -459},
    {ETIMEDOUT, -40},
    {ECONNREFUSED, -461},
    {EHOSTDOWN, -464},
    {EHOSTUNREACH, -465},
    {EALREADY, -437},
    {EINPROGRESS, -436},
    {ENOMEDIUM, -121},
    {EMEDIUMTYPE, -122},
    {EDQUOT, -152},
};

}  // namespace

verrno os_verr_get(int eno) {
  if (const code_pair *p = code_map_find(kFromErrno, eno)) return p->to;
  ZLOG(LOG2_WARN, "unkown eno=%d\n", eno);
  return VERR_GENERAL_FAILURE;
}

char *os_errno_text(int eno, char *buf, int size) {
  if (!buf || size <= 0) return buf;
  if (eno == 0) {
    snprintf(buf, size, "ok");
    return buf;
  }
  snprintf(buf, size, "%s", strerror(eno));
  if (buf[0] == '\0') {
    snprintf(buf, size, "unkown os_errno=%u (0x%x)", static_cast<unsigned>(eno),
             static_cast<unsigned>(eno));
  }
  return buf;
}

const char *os_errno_str(int eno) { return eno == 0 ? "ok" : strerror(eno); }

const char *os_last_errno_str() { return os_errno_str(errno); }
