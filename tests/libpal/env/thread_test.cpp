// Named threads and the thread-name registry: stack sizes, the "name_xxxx_tid" texts, waiting
// with a time-out, and releasing a handle while its thread still runs.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>

#include "../comm/log_capture.h"
#include "pal_env.h"

namespace {

std::string name_text() {
  char buf[128];
  return os_thread_name_get(buf, sizeof buf);
}

std::string tid_text() { return std::to_string(os_gettid()); }

struct probe {
  size_t stack_size = 0;
  std::string name;
  std::string tid;
};

int probe_thread(void *arg) {
  auto *p = static_cast<probe *>(arg);
  pthread_attr_t attr;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstacksize(&attr, &p->stack_size);
  pthread_attr_destroy(&attr);
  p->name = name_text();
  p->tid = tid_text();
  return 7;
}

TEST(OsThread, StackSizeZeroMeansTheDefault) {
  const struct {
    size_t requested;
    size_t expected;
  } cases[] = {{0, 262144}, {1 << 20, 1 << 20}};
  for (const auto &c : cases) {
    probe p;
    os_thread *t = os_thread_init("probe", probe_thread, &p, c.requested);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(os_thread_wait(t, 5000), 0);
    os_thread_free(t);
    EXPECT_EQ(p.stack_size, c.expected) << c.requested;
  }
}

TEST(OsThread, RunsRegisteredUnderItsName) {
  probe p;
  const unsigned char extra[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  os_thread *t = os_thread_init2("check", probe_thread, &p, 0, extra);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(os_thread_wait(t, -1), 0);
  os_thread_free(t);
  EXPECT_TRUE(std::regex_match(p.name, std::regex("check_[0-9a-f]{4}_" + p.tid))) << p.name;
}

struct gate {
  std::atomic<bool> open{false};
  std::atomic<bool> done{false};
};

int gated_thread(void *arg) {
  auto *g = static_cast<gate *>(arg);
  while (!g->open) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  g->done = true;
  return 0;
}

TEST(OsThread, WaitTimesOutWhileTheFunctionRuns) {
  gate g;
  os_thread *t = os_thread_init("gated", gated_thread, &g, 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(os_thread_wait(t, 20), -1);
  g.open = true;
  EXPECT_EQ(os_thread_wait(t, 5000), 0);
  EXPECT_TRUE(g.done);
  os_thread_free(t);
}

// The thread signals its end after the creator has already released the handle.
TEST(OsThread, HandleMayBeFreedBeforeTheThreadEnds) {
  gate g;
  os_thread *t = os_thread_init("detached", gated_thread, &g, 0);
  ASSERT_NE(t, nullptr);
  os_thread_free(t);
  g.open = true;
  for (int i = 0; i < 5000 && !g.done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(g.done);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(OsThread, CreationFailureIsLoggedAndGivesNoHandle) {
  for (size_t stack : {size_t{1}, SIZE_MAX / 2}) {
    log_capture log;
    EXPECT_EQ(os_thread_init("tiny", probe_thread, nullptr, stack), nullptr) << stack;
    ASSERT_EQ(log.all().size(), 1u);
    EXPECT_EQ(log.all()[0].level, LOG2_ERR | LOG2_ERRNO);
    EXPECT_EQ(log.all()[0].text, "pthread_create name:tiny error: ");
  }
}

TEST(OsThread, NoFunctionNoThread) {
  EXPECT_EQ(os_thread_init("none", nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(os_thread_wait(nullptr, 0), -1);
}

class ThreadName : public ::testing::Test {
 protected:
  void TearDown() override { os_thread_name_remove(); }
};

TEST_F(ThreadName, RegisteredThreadShowsStoredNameAndTid) {
  ASSERT_EQ(os_thread_name_set("main"), 0);
  EXPECT_TRUE(std::regex_match(name_text(), std::regex("main_[0-9a-f]{4}_" + tid_text())))
      << name_text();
}

TEST_F(ThreadName, UnregisteredThreadShowsItsTidAlone) {
  ASSERT_EQ(os_thread_name_set("main"), 0);
  std::string other, other_tid;
  std::thread([&] {
    other = name_text();
    other_tid = tid_text();
  }).join();
  EXPECT_EQ(other, other_tid);
  EXPECT_NE(other_tid, tid_text());

  os_thread_name_remove();
  EXPECT_EQ(name_text(), tid_text());
}

TEST_F(ThreadName, StoredNameIsCutAt63Characters) {
  ASSERT_EQ(os_thread_name_set(std::string(100, 'n').c_str()), 0);
  EXPECT_EQ(name_text(), std::string(63, 'n') + "_" + tid_text());
}

TEST_F(ThreadName, RegistryTornDownShowsTidsAndCanBeSetUpAgain) {
  ASSERT_EQ(os_thread_name_set("main"), 0);
  os_thread_name_exit();
  EXPECT_EQ(name_text(), tid_text());
  ASSERT_EQ(os_thread_name_init(), 0);
  EXPECT_EQ(name_text(), tid_text());
  ASSERT_EQ(os_thread_name_set("again"), 0);
  EXPECT_EQ(name_text().rfind("again_", 0), 0u);
}

TEST_F(ThreadName, TextIsBoundedByTheCallersBuffer) {
  ASSERT_EQ(os_thread_name_set("main"), 0);
  char buf[6];
  EXPECT_STREQ(os_thread_name_get(buf, sizeof buf), "main_");
}

}  // namespace
