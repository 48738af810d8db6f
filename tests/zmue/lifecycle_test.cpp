// The program past its options: where the configuration file is found, the privilege check, the
// mount URL that the options assemble, the refused mount, standard-input mode and its signals.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>

#include "zmue_fixture.h"

namespace {

std::string panic_ini(const std::string &dir) { return "[debug]\npanic_dump_dir=" + dir + "\n"; }

TEST_F(ZmueTest, DumpShowsTheConfiguredPanicDirectory) {
  write_text_file(work_dir() + "/given.ini", panic_ini("cores"));
  run_result r = run({"-q", "-c", work_dir() + "/given.ini", "-p"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "panic_dump_dir=cores\n");
}

// Without -c the file beside the executable counts, not one in the working directory; when
// neither -c's file nor that one exists, the bare name is read from the working directory.
TEST_F(ZmueTest, ConfigurationFileLookup) {
  struct lookup_case {
    const char *name;
    bool beside_binary;
    bool in_work_dir;
    std::vector<std::string> extra_args;
    const char *dumped;
  };
  const lookup_case cases[] = {
      {"beside_binary_wins", true, true, {}, "panic_dump_dir=beside\n"},
      {"falls_back_to_working_dir", false, true, {}, "panic_dump_dir=here\n"},
      {"missing_c_file_falls_back", true, true, {"-c", "/nonexistent/zmue.ini"},
       "panic_dump_dir=here\n"},
      {"none_found", false, false, {}, "panic_dump_dir=\n"},
  };
  for (const lookup_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(bin_dir() + "/zmue.ini");
    std::filesystem::remove(work_dir() + "/zmue.ini");
    if (c.beside_binary) write_text_file(bin_dir() + "/zmue.ini", panic_ini("beside"));
    if (c.in_work_dir) write_text_file(work_dir() + "/zmue.ini", panic_ini("here"));
    std::vector<std::string> args = {"-q"};
    args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
    args.push_back("-p");
    run_result r = run(args);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.dumped);
  }
}

class ZmueAsNobodyTest : public ZmueTest {
 protected:
  void SetUp() override {
    if (!is_root()) GTEST_SKIP() << "switching to user nobody needs root";
    ZmueTest::SetUp();
    const passwd *nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    uid_ = nobody->pw_uid;
    gid_ = nobody->pw_gid;
  }
  run_result run_as_nobody(std::vector<std::string> args) const {
    run_request req = request(std::move(args));
    req.set_user = true;
    req.uid = uid_;
    req.gid = gid_;
    return run_program(req);
  }

 private:
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

TEST_F(ZmueAsNobodyTest, RefusesToRunWithoutRoot) {
  run_result r = run_as_nobody({"-u", "zmp://host/dir", "-m", work_dir() + "/mnt"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(kBanner + kNotice, 0), 0u) << r.err;
  EXPECT_NE(r.err.find("root privileges are required to run the program\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("error="), std::string::npos) << "reached the mount: " << r.err;
}

TEST_F(ZmueAsNobodyTest, DumpWorksWithoutRoot) {
  write_text_file(bin_dir() + "/zmue.ini", panic_ini("cores"));
  run_result r = run_as_nobody({"-q", "-p"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "panic_dump_dir=cores\n");
}

// A relative core-file directory is taken beside the executable. Run as nobody, so that the
// system's core pattern is left alone (only root may set it).
TEST_F(ZmueAsNobodyTest, CoreDirectoryIsTakenBesideTheExecutable) {
  struct dir_case {
    std::string configured;
    std::string used;
  };
  const dir_case cases[] = {
      {"cores", bin_dir() + "/cores"},
      {"/var/crash/zmue", "/var/crash/zmue"},
      {"", ""},
  };
  for (const dir_case &c : cases) {
    SCOPED_TRACE(c.configured);
    write_text_file(bin_dir() + "/zmue.ini", panic_ini(c.configured));
    run_result r = run_as_nobody({"-q", "-l", "verb"});
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("os_painc_set_dump_dir(): [" + c.used + "][zmue]==>\n"),
              std::string::npos)
        << r.err;
  }
}

class ZmueAsRootTest : public ZmueTest {
 protected:
  void SetUp() override {
    if (!is_root()) GTEST_SKIP() << "the server step runs only as root";
    ZmueTest::SetUp();
  }
};

// A mount point below a regular file can never be created, so these requests fail before any
// kernel mount whatever the back end does (port 1 on this host refuses connections anyway).
class ZmueMountFailTest : public ZmueAsRootTest {
 protected:
  void SetUp() override {
    ZmueAsRootTest::SetUp();
    if (IsSkipped()) return;
    write_text_file(work_dir() + "/plain", "not a directory\n");
  }
  std::string unmountable(const char *name) const { return work_dir() + "/plain/" + name; }
};

// The options assemble one mount URL: -m's key first, then -r's text, run_daemon last.
TEST_F(ZmueMountFailTest, OptionsAssembleTheMountUrl) {
  const std::string url = "zmp://127.0.0.1:1/dir";
  const std::string a = unmountable("a");
  const std::string b = unmountable("b");
  struct url_case {
    const char *name;
    std::vector<std::string> args;
    std::string cmd;
  };
  const url_case cases[] = {
      {"point_then_query",
       {"-u", url, "-m", a, "-r", "options=rw"},
       "cmd=[" + url + "?fuse_mount_point=" + a + "&options=rw]\n"},
      {"daemon_flag",
       {"-d", "-u", url, "-m", a, "-r", "options=rw"},
       "cmd=[" + url + "?fuse_mount_point=" + a + "&options=rw&run_daemon=1]\n"},
      {"later_point_wins",
       {"-u", url, "-m", a, "-m", b},
       "cmd=[" + url + "?fuse_mount_point=" + b + "]\n"},
      {"query_without_point",
       {"-u", url, "-r", "debug=1&options=rw,allow_other"},
       "cmd=[" + url + "?debug=1&options=rw,allow_other]\n"},
  };
  for (const url_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string log = work_dir() + "/" + c.name + ".log";
    std::vector<std::string> args = {"-q", "-l", "verb", "-o", log};
    args.insert(args.end(), c.args.begin(), c.args.end());
    run_result r = run(args);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, 255);
    std::string logged = read_text_file(log);
    EXPECT_NE(logged.find(c.cmd), std::string::npos) << logged;
    EXPECT_NE(logged.find("error="), std::string::npos) << logged;
  }
}

// A mount that cannot happen ends with 255 and the reason, never with success.
TEST_F(ZmueMountFailTest, FailedMountRequestsEndWith255) {
  const std::vector<std::vector<std::string>> requests = {
      {"-u", work_dir() + "/src"},  // no mount point
      {"-u", "zmp://127.0.0.1:1/dir", "-m", unmountable("mnt")},
  };
  for (const std::vector<std::string> &args : requests) {
    SCOPED_TRACE(args[1]);
    std::vector<std::string> quiet = {"-q"};
    quiet.insert(quiet.end(), args.begin(), args.end());
    run_result r = run(quiet);
    ASSERT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, 255) << r.err;
    EXPECT_NE(r.err.find("error="), std::string::npos) << r.err;
  }
}

// A session that cannot be resolved is reported as critical, yet parsing and the server step
// go on (which then fail the mount).
TEST_F(ZmueMountFailTest, UnresolvableSessionIsCriticalButNotFatal) {
  run_result r = run({"-q", "-u", "///no_such_session/docs", "-m", unmountable("mnt")});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 255) << "parsing must go on to the server step: " << r.err;
  EXPECT_NE(r.err.find("app_opt_get(): url_conf_2_real [///no_such_session/docs] failed\n"),
            std::string::npos)
      << r.err;
}

TEST_F(ZmueAsRootTest, WithoutUrlServesStandardInputToItsEnd) {
  for (const char *input : {"", "show info\nexit\n"}) {
    SCOPED_TRACE(input);
    run_request req = request({"-q"});
    req.stdin_text = input;
    run_result r = run_program(req);
    ASSERT_TRUE(r.exited) << "timed out " << r.timed_out;
    EXPECT_EQ(r.status, 0);
  }
}

// Stop signals end the process with success; a fatal one without a core-file directory with 254.
// The signal is sent once the program logged its last line before blocking on standard input:
// its handlers log too, and the log lock is not safe to take from a handler that interrupted
// a log call.
TEST_F(ZmueAsRootTest, SignalsDuringStandardInputMode) {
  struct signal_case {
    int sig;
    int status;
    std::vector<std::string> logged;
  };
  const signal_case cases[] = {
      {SIGTERM, 0, {"signal=15\n", "stop_server ==>\n"}},
      {SIGINT, 0, {"signal=2\n", "stop_server ==>\n"}},
      {SIGSEGV, 254, {"signo=11 [", "appver: 1.7.2.0\n", "painc_callback_handler(): ==>\n"}},
      {SIGABRT, 254, {"signo=6 [", "appver: 1.7.2.0\n", "painc_callback_handler(): ==>\n"}},
  };
  for (const signal_case &c : cases) {
    SCOPED_TRACE(c.sig);
    run_request req = request({"-q", "-l", "verb"});
    req.keep_stdin_open = true;
    req.signal_after = "app_start_server(): cmd=[]\n";
    req.signal_number = c.sig;
    req.signal_delay_ms = 100;
    req.timeout_ms = 10000;
    run_result r = run_program(req);
    ASSERT_TRUE(r.exited) << "signal " << r.term_signal << " timed out " << r.timed_out
                          << " " << r.err;
    EXPECT_EQ(r.status, c.status);
    for (const std::string &text : c.logged) {
      EXPECT_NE(r.err.find(text), std::string::npos) << text << " not in " << r.err;
    }
  }
}

bool is_mounted(const std::string &point) {
  std::istringstream mounts(read_text_file("/proc/mounts"));
  std::string line;
  while (std::getline(mounts, line)) {
    if (line.find(" " + point + " ") != std::string::npos) return true;
  }
  return false;
}

// A stop signal while a local tree is mounted takes the mount down and ends with success.
TEST_F(ZmueAsRootTest, StopSignalWhileMountedUnmountsFirst) {
  const std::string src = work_dir() + "/src";
  const std::string mnt = work_dir() + "/mnt";
  std::filesystem::create_directory(src);
  write_text_file(src + "/file", "content\n");
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    run_request req = request({"-q", "-l", "dbg", "-u", src, "-m", mnt});
    req.signal_after = "do_mount(): source=";
    req.signal_number = sig;
    req.signal_delay_ms = 300;
    run_result r = run_program(req);
    ASSERT_TRUE(r.exited) << "signal " << r.term_signal << " timed out " << r.timed_out << " "
                          << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("fuse_unmount mnt_dir=" + mnt + "\n"), std::string::npos) << r.err;
    EXPECT_FALSE(is_mounted(mnt));
  }
}

}  // namespace
