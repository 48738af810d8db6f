// Named threads: each runs registered under its name and signals an event when its function has
// returned. The event is shared by the handle and the thread, so either may go first.
#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "pal_env.h"
#include "pal_log.h"

static const char kLogTag[] = "pal";

namespace {

constexpr size_t kThreadNameMax = 255;

class done_event {
 public:
  void signal() {
    std::lock_guard<std::mutex> guard(lock_);
    fired_ = true;
    cv_.notify_all();
  }
  bool wait(int timeout_ms) {
    std::unique_lock<std::mutex> guard(lock_);
    if (timeout_ms < 0) {
      cv_.wait(guard, [this] { return fired_; });
      return true;
    }
    return cv_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [this] { return fired_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool fired_ = false;  // guarded by lock_
};

// Handed to the new thread, which owns and frees it once it runs.
struct thread_start {
  char name[kThreadNameMax + 1];
  os_thread_fn fn;
  void *arg;
  unsigned char extra[8];
  std::shared_ptr<done_event> done;
};

void *thread_main(void *p) {
  std::unique_ptr<thread_start> start(static_cast<thread_start *>(p));
  os_thread_name_set(start->name);
  const os_thread_fn fn = start->fn;
  void *arg = start->arg;
  std::shared_ptr<done_event> done = std::move(start->done);
  start.reset();
  const intptr_t result = fn(arg);
  os_thread_name_remove();
  done->signal();
  return reinterpret_cast<void *>(result);
}

}  // namespace

struct os_thread {
  pthread_t tid;
  std::shared_ptr<done_event> done;
  bool finished = false;  // the wait saw the function return; only the owner touches it
};

os_thread *os_thread_init2(const char *name, os_thread_fn fn, void *arg, size_t stack_size,
                           const void *extra) {
  if (!fn) return nullptr;
  auto start = std::unique_ptr<thread_start>(new (std::nothrow) thread_start{});
  auto thread = std::unique_ptr<os_thread>(new (std::nothrow) os_thread{});
  if (!start || !thread) return nullptr;
  snprintf(start->name, sizeof start->name, "%s", name ? name : "");
  start->fn = fn;
  start->arg = arg;
  if (extra) memcpy(start->extra, extra, sizeof start->extra);
  start->done = std::make_shared<done_event>();
  thread->done = start->done;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = pthread_attr_setstacksize(&attr, stack_size ? stack_size : OS_THREAD_DEFAULT_STACK);
  if (rc == 0) rc = pthread_create(&thread->tid, &attr, thread_main, start.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    errno = rc;
    ZLOG(LOG2_ERR | LOG2_ERRNO, "pthread_create name:%s error: ", start->name);
    return nullptr;
  }
  start.release();  // the new thread owns it now
  return thread.release();
}

os_thread *os_thread_init(const char *name, os_thread_fn fn, void *arg, size_t stack_size) {
  return os_thread_init2(name, fn, arg, stack_size, nullptr);
}

int os_thread_wait(os_thread *thread, int timeout_ms) {
  if (!thread) return -1;
  if (!thread->done->wait(timeout_ms)) return -1;
  thread->finished = true;
  return 0;
}

void os_thread_free(os_thread *thread) {
  if (!thread) return;
  if (thread->finished) {
    pthread_join(thread->tid, nullptr);
  } else {
    pthread_detach(thread->tid);
  }
  delete thread;
}
