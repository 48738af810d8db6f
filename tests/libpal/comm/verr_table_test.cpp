// Status codes: the message table (order, size, shared texts, unknown codes) and the two
// errno mappings, including the values that fold onto one code and the warnings for unmapped ones.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "log_capture.h"
#include "pal_verr.h"

namespace {

int table_size() {
  int n = 0;
  while (verr_msg_table()[n].msg) ++n;
  return n;
}

TEST(VerrMessageTable, HoldsAllCodesOnceInTheirFixedOrder) {
  const verr_msg_entry *t = verr_msg_table();
  ASSERT_EQ(table_size(), 258);
  EXPECT_EQ(t[0].code, 0);
  std::set<verrno> seen;
  for (int i = 0; t[i].msg; ++i) {
    EXPECT_TRUE(seen.insert(t[i].code).second) << "code " << t[i].code << " listed twice";
    if (i == 0) continue;
    const verrno prev = t[i - 1].code;
    if (t[i].code == 203) {
      EXPECT_EQ(prev, -202);
    } else if (prev == 203) {
      EXPECT_EQ(t[i].code, -225);
    } else {
      EXPECT_LT(t[i].code, prev) << "at row " << i;
    }
  }
  EXPECT_EQ(t[257].code, -902);
}

TEST(VerrMessageTable, MessagesByCode) {
  const struct {
    verrno code;
    const char *msg;
  } cases[] = {
      {0, "Success."},
      {-1, "General failure - DON'T USE THIS!!!."},
      {-13, "Invalid flags was given."},
      {-18, "Not equal."},
      {-93, "The caller does not have a reference to the object. This status is used when two "
            "threads is caught sharing the same object reference."},
      {-99, "Something is missing."},
      {-100, "Unresolved (unknown) file i/o error."},
      {-159, "Symbolic link not allowed."},
      {-202, "No more search handles available."},
      {203, "RTDirReadEx() failed to retrieve the extra data which was requested."},
      {-233, "Internal error: Uninitialized status code. @remarks This is used by value elsewhere."},
      {-258, "Device i/o: No such device or address."},
      {-308, "Expected write pipe, got a read pipe instead."},
      {-377, "Internal error in the lock validator or related components."},
      {-438, "Attempted socket operation with a non-socket handle. (This includes closed handles.)."},
      {-467, "Incomplete packet was submitted by guest."},
      {-619, "Code signing error."},
      {-902, "An account is restricted in a certain way."},
  };
  for (const auto &c : cases) EXPECT_STREQ(verr2str(c.code), c.msg) << c.code;
}

TEST(VerrMessageTable, SharedMessages) {
  EXPECT_STREQ(verr2str(-230), "Internal error: Unexpected status code.");
  EXPECT_STREQ(verr2str(-231), verr2str(-230));
  EXPECT_STREQ(verr2str(-232), verr2str(-230));
  EXPECT_STREQ(verr2str(-459), "Too many references: can't splice.");
  EXPECT_STREQ(verr2str(-460), verr2str(-459));
}

TEST(VerrMessageTable, UnknownCodeGivesPrintableTextAndOneDebugLine) {
  log_capture log;
  EXPECT_STREQ(verr2str(-14), "Invalid error code");
  ASSERT_EQ(log.all().size(), 1u);
  const captured_line &l = log.all()[0];
  EXPECT_EQ(l.level, LOG2_DBG);
  EXPECT_EQ(l.tag, "pal");
  EXPECT_EQ(l.file, "src/lib/libpal/comm/verrmsg.cpp");
  EXPECT_EQ(l.func, "verr2str");
  EXPECT_EQ(l.text, "Invalid errno=-14 (0xfffffff2)\n");
  for (verrno code : {-25, -94, 1, 204, -1000}) EXPECT_STREQ(verr2str(code), "Invalid error code");
}

TEST(VerrToPosix, MapsByErrnoName) {
  const struct {
    verrno code;
    int eno;
  } cases[] = {
      {0, 0},          {-2, EINVAL},     {-4, EBADF},         {-8, ENOMEM},
      {-37, EOPNOTSUPP}, {-38, EPERM},   {-40, ETIMEDOUT},    {-42, E2BIG},
      {-102, ENOENT},  {-103, ENOTDIR},  {-113, EROFS},       {-121, ENOMEDIUM},
      {-125, ENOTEMPTY}, {-127, EISDIR}, {-152, ENOSPC},      {-250, EIO},
      {-252, ENXIO},   {-258, ENXIO},    {-301, EPIPE},       {-304, ENODATA},
      {-445, EOPNOTSUPP}, {-454, ECONNRESET}, {-459, ETOOMANYREFS}, {-461, ECONNREFUSED},
      {-466, EPROTO},  {-608, ENOEXEC},
  };
  log_capture log;
  for (const auto &c : cases) EXPECT_EQ(verr_2_posix(c.code), c.eno) << c.code;
  EXPECT_TRUE(log.all().empty());
}

TEST(VerrToPosix, GeneralFailureIsEpermSilently) {
  log_capture log;
  EXPECT_EQ(verr_2_posix(-1), EPERM);
  EXPECT_TRUE(log.all().empty());
}

TEST(VerrToPosix, UnmappedCodeIsEpermWithOneWarning) {
  for (verrno code : {-10, -70, -460, 203, -14}) {
    log_capture log;
    EXPECT_EQ(verr_2_posix(code), EPERM) << code;
    ASSERT_EQ(log.all().size(), 1u) << code;
    EXPECT_EQ(log.all()[0].level, LOG2_WARN);
    EXPECT_EQ(log.all()[0].file, "src/lib/libpal/comm/posix/verror2.cpp");
    EXPECT_EQ(log.all()[0].func, "verr_2_posix");
    EXPECT_EQ(log.all()[0].text, "unkown verrno = " + std::to_string(code) + "\n");
  }
}

TEST(VerrFromPosix, FoldsSeveralErrnoValuesOntoOneCode) {
  const struct {
    int eno;
    verrno code;
  } cases[] = {
      {0, 0},           {EPERM, -38},     {EACCES, -38},   {ENOENT, -102},  {ENODEV, -102},
      {ENFILE, -106},   {EMFILE, -106},   {EINVAL, -2},    {EDOM, -2},      {ERANGE, -2},
      {ENOSPC, -152},   {EDQUOT, -152},   {ESRCH, -50},    {ECHILD, -50},   {EINTR, -39},
      {ERESTART, -39},  {EBADF, -4},      {EBADFD, -4},    {E2BIG, -42},    {EOVERFLOW, -42},
      {ENOSYS, -37},    {EOPNOTSUPP, -445}, {ETIMEDOUT, -40}, {EAGAIN, -52}, {EMEDIUMTYPE, -122},
  };
  log_capture log;
  for (const auto &c : cases) EXPECT_EQ(os_verr_get(c.eno), c.code) << c.eno;
  EXPECT_TRUE(log.all().empty());
}

TEST(VerrFromPosix, UnmappedErrnoIsGeneralFailureWithOneWarning) {
  for (int eno : {ENOTBLK, EMLINK, 100000}) {
    log_capture log;
    EXPECT_EQ(os_verr_get(eno), -1) << eno;
    ASSERT_EQ(log.all().size(), 1u);
    EXPECT_EQ(log.all()[0].level, LOG2_WARN);
    EXPECT_EQ(log.all()[0].file, "src/lib/libpal/comm/posix/verror.cpp");
    EXPECT_EQ(log.all()[0].func, "os_verr_get");
    EXPECT_EQ(log.all()[0].text, "unkown eno=" + std::to_string(eno) + "\n");
  }
}

// Every errno the kernel commonly returns to the FUSE front end must survive the trip through a
// status code unchanged, or applications would see a different error than the server reported.
TEST(VerrMapping, UnfoldedErrnoValuesRoundTrip) {
  for (int eno : {ENOENT, ENOTDIR, EISDIR, EEXIST, ENOTEMPTY, ENOSPC, EROFS, EIO, EINVAL, ENOMEM,
                  EBADF, EXDEV, ENAMETOOLONG, ELOOP, EFBIG, EBUSY, ETIMEDOUT, ECONNRESET,
                  ENOTCONN, ECONNREFUSED, EHOSTUNREACH, EPIPE, ENODATA, EAGAIN, EINTR}) {
    EXPECT_EQ(verr_2_posix(os_verr_get(eno)), eno) << eno;
  }
  EXPECT_EQ(verr_2_posix(os_verr_get(EACCES)), EPERM);
}

TEST(VerrMapping, EveryMappedCodeHasAMessage) {
  log_capture log;
  for (int eno = 1; eno < 134; ++eno) {
    const verrno code = os_verr_get(eno);
    EXPECT_STRNE(verr2str(code), "Invalid error code") << "errno " << eno;
  }
  for (int i = 0; verr_msg_table()[i].msg; ++i) verr_2_posix(verr_msg_table()[i].code);
  for (const captured_line &l : log.all()) EXPECT_NE(l.func, "verr2str") << l.text;
}

TEST(VerrMapping, SetErrnoStoresTheMappedValue) {
  errno = 0;
  EXPECT_EQ(verr_set_errno(VERR_FILE_NOT_FOUND), ENOENT);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(verr_set_errno(VERR_SUCCESS), 0);
  EXPECT_EQ(errno, 0);
}

TEST(ErrnoText, DescribesErrnoValues) {
  char buf[256];
  EXPECT_STREQ(os_errno_text(0, buf, sizeof buf), "ok");
  EXPECT_STREQ(os_errno_text(ENOENT, buf, sizeof buf), strerror(ENOENT));
  EXPECT_EQ(os_errno_text(ENOENT, buf, 5), buf);
  EXPECT_EQ(std::string(buf), std::string(strerror(ENOENT)).substr(0, 4));
  EXPECT_STREQ(os_errno_str(0), "ok");
  EXPECT_STREQ(os_errno_str(EACCES), strerror(EACCES));
  errno = EPIPE;
  EXPECT_STREQ(os_last_errno_str(), strerror(EPIPE));
}

}  // namespace
