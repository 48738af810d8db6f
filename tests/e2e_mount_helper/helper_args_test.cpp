// mount.zmue argument translation: what mount(8) hands the helper becomes the right zmue
// command line, and arguments the helper cannot use are refused with a reason.
#include "helper_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string parse(std::vector<std::string> args, helper_request *out) {
  args.insert(args.begin(), "mount.zmue");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return helper_parse(static_cast<int>(args.size()), argv.data(), out);
}

std::string joined(const std::vector<std::string> &words) {
  std::string out;
  for (const std::string &w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

struct translation_case {
  const char *what;
  std::vector<std::string> args;
  const char *zmue_args;
};

TEST(MountHelperArgs, TranslatesMountArgumentsIntoZmueOptions) {
  const translation_case cases[] = {
      {"no options: read-write, as mount(8) mounts", {"zmp://h/s", "/mnt/a"},
       "-q -d -u zmp://h/s -m /mnt/a -r options=rw"},
      {"fstab and boot words dropped",
       {"zmp://h/s", "/mnt/a", "-o",
        "defaults,_netdev,noauto,auto,nofail,user,users,nouser,owner,group,x-systemd.automount,"
        "comment=backup,allow_other"},
       "-q -d -u zmp://h/s -m /mnt/a -r options=rw,allow_other"},
      {"read-only kept, debug into the query", {"/srv/d", "/mnt/b", "-o", "ro,noexec,debug"},
       "-q -d -u /srv/d -m /mnt/b -r options=ro,noexec&debug=1"},
      {"the program's own options",
       {"ftp://h/", "/mnt/c", "-o", "rw,conf=/etc/z.ini,log=/var/log/z.log,loglevel=dbg"},
       "-q -d -c /etc/z.ini -o /var/log/z.log -l dbg -u ftp://h/ -m /mnt/c -r options=rw"},
      {"options attached and repeated, flags grouped, type ignored",
       {"-sn", "zmp://h/s", "-orw", "/mnt/d", "-t", "zmue", "-o", "nosuid,fsname=share"},
       "-q -d -u zmp://h/s -m /mnt/d -r options=rw,nosuid,fsname=share"},
      {"empty items between commas", {"zmp://h/s", "/mnt/e", "-o", ",,rw,,"},
       "-q -d -u zmp://h/s -m /mnt/e -r options=rw"},
  };
  for (const translation_case &c : cases) {
    SCOPED_TRACE(c.what);
    helper_request request;
    ASSERT_EQ(parse(c.args, &request), "");
    EXPECT_EQ(joined(request.zmue_args), c.zmue_args);
    EXPECT_FALSE(request.fake);
    EXPECT_EQ(request.timeout_s, 60);
  }
}

TEST(MountHelperArgs, FakeVerboseAndTimeout) {
  helper_request request;
  ASSERT_EQ(parse({"-fv", "zmp://h/s", "/mnt/a", "-o", "mount_timeout=5"}, &request), "");
  EXPECT_TRUE(request.fake);
  EXPECT_TRUE(request.verbose);
  EXPECT_EQ(request.timeout_s, 5);
  EXPECT_EQ(request.url, "zmp://h/s");
  EXPECT_EQ(request.dir, "/mnt/a");
}

struct refusal_case {
  std::vector<std::string> args;
  const char *reason;
};

TEST(MountHelperArgs, RefusesWhatItCannotPassOn) {
  const refusal_case cases[] = {
      {{"zmp://h/s"}, "need a URL and a mount directory"},
      {{"zmp://h/s", "/mnt/a", "/mnt/b"}, "need a URL and a mount directory"},
      {{"zmp://h/s", "/mnt/a", "-x"}, "unknown option -x"},
      {{"zmp://h/s", "/mnt/a", "-o"}, "option -o needs a value"},
      {{"zmp://h/s", "/mnt/a", "-N", "1234"}, "mount namespaces (-N) are not supported"},
      {{"zmp://h/s", "/mnt/a", "-o", "rw,a&b"}, "option [a&b] not usable"},
      {{"zmp://h/s", "/mnt/a", "-o", "x?y"}, "option [x?y] not usable"},
      {{"zmp://h/s", "/mnt/a", "-o", "conf="}, "option [conf=] needs a value"},
      {{"zmp://h/s", "/mnt/a", "-o", "mount_timeout=0"},
       "option [mount_timeout=0] needs 1 to 3600 seconds"},
      {{"zmp://h/s", "/mnt/a", "-o", "mount_timeout=9x"},
       "option [mount_timeout=9x] needs 1 to 3600 seconds"},
  };
  for (const refusal_case &c : cases) {
    SCOPED_TRACE(joined(c.args));
    helper_request request;
    EXPECT_EQ(parse(c.args, &request), c.reason);
  }
}

}  // namespace
