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

class ZmueAsRootTest : public ZmueTest {
 protected:
  void SetUp() override {
    if (!is_root()) GTEST_SKIP() << "the server step runs only as root";
    ZmueTest::SetUp();
  }
};

// The options assemble one mount URL: -m's key first, then -r's text, run_daemon last.
TEST_F(ZmueAsRootTest, OptionsAssembleTheMountUrl) {
  struct url_case {
    const char *name;
    std::vector<std::string> args;
    const char *cmd;
  };
  const url_case cases[] = {
      {"point_then_query",
       {"-u", "zmp://host/dir", "-m", "/mnt/a", "-r", "options=rw"},
       "cmd=[zmp://host/dir?fuse_mount_point=/mnt/a&options=rw]\n"},
      {"daemon_flag",
       {"-d", "-u", "zmp://host/dir", "-m", "/mnt/a", "-r", "options=rw"},
       "cmd=[zmp://host/dir?fuse_mount_point=/mnt/a&options=rw&run_daemon=1]\n"},
      {"later_point_wins",
       {"-u", "zmp://host/dir", "-m", "/mnt/a", "-m", "/mnt/b"},
       "cmd=[zmp://host/dir?fuse_mount_point=/mnt/b]\n"},
      {"query_without_point",
       {"-u", "zmp://host/dir", "-r", "debug=1&options=rw,allow_other"},
       "cmd=[zmp://host/dir?debug=1&options=rw,allow_other]\n"},
  };
  for (const url_case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string log = work_dir() + "/" + c.name + ".log";
    std::vector<std::string> args = {"-q", "-l", "verb", "-o", log};
    args.insert(args.end(), c.args.begin(), c.args.end());
    run_result r = run(args);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 255);
    std::string logged = read_text_file(log);
    EXPECT_NE(logged.find(c.cmd), std::string::npos) << logged;
  }
}

// This build cannot mount: a mount request fails loudly instead of claiming success.
TEST_F(ZmueAsRootTest, MountRequestFailsClearly) {
  run_result r = run({"-q", "-u", "/tmp/x", "-m", "/tmp/y"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("error=mounting is not available in this build (no FUSE front end)\n"),
            std::string::npos)
      << r.err;
}

TEST_F(ZmueAsRootTest, UnresolvableSessionIsCriticalButNotFatal) {
  run_result r = run({"-q", "-u", "///no_such_session/docs", "-m", "/tmp/y"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 255) << "parsing must go on to the server step: " << r.err;
  EXPECT_NE(r.err.find("url_conf_2_real [///no_such_session/docs] failed\n"), std::string::npos)
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

TEST_F(ZmueAsRootTest, StopSignalsEndStandardInputModeWithSuccess) {
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    run_request req = request({"-q", "-l", "verb"});
    req.keep_stdin_open = true;
    req.signal_after = "app_start_server(): ==>";
    req.signal_number = sig;
    req.timeout_ms = 10000;
    run_result r = run_program(req);
    ASSERT_TRUE(r.exited) << "signal " << r.term_signal << " timed out " << r.timed_out;
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("signal=" + std::to_string(sig) + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("stop_server ==>\n"), std::string::npos) << r.err;
  }
}

}  // namespace
