// Fatal signals: without a dump directory the handler logs, calls the program's callback and
// ends with status 254; with one, the core pattern is written and the signal ends the process.
// The core pattern is system-wide: it is only written when writable and always restored.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pal_log.h"
#include "pal_os.h"

namespace fs = std::filesystem;

namespace {

const char kCorePattern[] = "/proc/sys/kernel/core_pattern";

int stderr_sink(uint32_t level, const char *, const char *, int, const char *, const char *fmt,
                va_list ap) {
  char text[1024];
  vsnprintf(text, sizeof text, fmt, ap);
  std::string line = text;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  fprintf(stderr, "%x|%s\n", level, line.c_str());
  return 1;
}

const char *context_text() { return "ctx"; }

void callback() { fprintf(stderr, "callback ran\n"); }

void arm_panic() {
  os_panic_set_context_text(context_text);
  os_panic_set_app_ver("1.7.2.0");
  os_panic_set_callback(callback);
  ASSERT_EQ(os_panic_install(), 0);
}

TEST(PanicDeathTest, WithoutDumpDirLogsCallsBackAndExits254) {
  EXPECT_EXIT(
      {
        pal_log_set_sink(stderr_sink);
        arm_panic();
        raise(SIGSEGV);
      },
      ::testing::ExitedWithCode(254),
      ::testing::Eq("202|[ctx]\n202|signo=11 [Segmentation fault]\n202|appver: 1.7.2.0\n"
                    "callback ran\n"));
}

// The plain standard-error log ends the process on a critical line unless told not to.
TEST(PanicDeathTest, CriticalLinesDoNotEndTheProcessEarly) {
  for (int sig : {SIGILL, SIGFPE, SIGBUS, SIGABRT}) {
    EXPECT_EXIT(
        {
          arm_panic();
          raise(sig);
        },
        ::testing::ExitedWithCode(254), "callback ran")
        << sig;
  }
}

std::string read_text(const char *path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool write_text(const char *path, const std::string &text) {
  std::ofstream out(path);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// Keeps the system's core pattern as it was, whatever the test does.
class CoreDump : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "core files need root";
    pattern_writable = access(kCorePattern, W_OK) == 0;
    original = read_text(kCorePattern);
    char tmp[] = "/tmp/pal_panic_XXXXXX";
    ASSERT_NE(mkdtemp(tmp), nullptr);
    root = tmp;
  }
  void TearDown() override {
    if (pattern_writable) {
      EXPECT_TRUE(write_text(kCorePattern, original));
    }
    if (!root.empty()) fs::remove_all(root);
  }

  // Runs a child that arms the panic with dump_dir and then meets `fault`; returns its status.
  template <typename Fault>
  int run_child(const std::string &dump_dir, bool keep_core, Fault fault) {
    const pid_t pid = fork();
    if (pid == 0) {
      arm_panic();
      if (os_painc_set_dump_dir(dump_dir.c_str(), "pal_os_tests") != 0) _exit(3);
      if (!keep_core) {
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
      }
      fault();
      _exit(4);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }

  bool pattern_writable = false;
  std::string original;
  fs::path root;
};

TEST_F(CoreDump, SignalEndsTheProcessAfterTheDumpDirIsCreated) {
  const struct {
    const char *name;
    int sig;
    void (*fault)();
  } cases[] = {
      {"raised", SIGSEGV, [] { raise(SIGSEGV); }},
      {"abort", SIGABRT, [] { abort(); }},
      {"real fault", SIGSEGV, [] {
         void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
         *static_cast<volatile int *>(page) = 1;
       }},
  };
  for (const auto &c : cases) {
    const fs::path dir = root / c.name / "cores";
    const int status = run_child(dir.string(), false, c.fault);
    EXPECT_TRUE(WIFSIGNALED(status)) << c.name << " " << status;
    EXPECT_EQ(WTERMSIG(status), c.sig) << c.name;
    EXPECT_TRUE(fs::is_directory(dir)) << c.name;
  }
}

TEST_F(CoreDump, CorePatternNamesTheDumpDirAndACoreFileAppears) {
  if (!pattern_writable) GTEST_SKIP() << kCorePattern << " is not writable here";
  const fs::path dir = root / "cores";
  const int status = run_child(dir.string(), true, [] { raise(SIGSEGV); });
  EXPECT_EQ(read_text(kCorePattern), dir.string() + "/%e-%p-%t-%c.core\n");
  ASSERT_TRUE(write_text(kCorePattern, original));
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  ASSERT_TRUE(WCOREDUMP(status));
  int cores = 0;
  for (const auto &entry : fs::directory_iterator(dir)) cores += entry.path().extension() == ".core";
  EXPECT_EQ(cores, 1);
}

TEST_F(CoreDump, NotRootOrNoDirMeansNoCoreFiles) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (os_painc_set_dump_dir("", "x") != 0) _exit(1);
    if (os_painc_set_dump_dir(nullptr, "x") != 0) _exit(2);
    if (seteuid(65534) != 0) _exit(3);
    _exit(os_painc_set_dump_dir((root / "c").c_str(), "x") == -1 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(read_text(kCorePattern), original);
}

}  // namespace
