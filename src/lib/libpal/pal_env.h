// Process-wide services that show up in log lines and shell views: named threads and the
// thread-name registry, the millisecond clock, tracked allocation and the system description texts.
#pragma once

#include <cstddef>
#include <cstdint>

// --- platform start and stop -------------------------------------------------------------
int pl_init();  // operating-system and processor names, start times, memory accounting
int pl_exit();  // 1 when tracked blocks remain allocated, else 0
const char *pl_os_name();   // "linux"
const char *pl_cpu_name();  // processor architecture of the build, e.g. "x86_64", "mipsel"
uint64_t pl_start_time_ms();  // when the process started, millisecond clock

// --- named threads -----------------------------------------------------------------------
struct os_thread;  // the system thread and an event signalled when its function returned
using os_thread_fn = int (*)(void *arg);

inline constexpr size_t OS_THREAD_DEFAULT_STACK = 0x40000;

// Stack size 0 means OS_THREAD_DEFAULT_STACK; extra is 8 bytes of optional start data or null.
os_thread *os_thread_init2(const char *name, os_thread_fn fn, void *arg, size_t stack_size,
                           const void *extra);
os_thread *os_thread_init(const char *name, os_thread_fn fn, void *arg, size_t stack_size);
// Waits for the thread function to return (timeout_ms < 0: forever); 0, or -1 on time-out.
int os_thread_wait(os_thread *thread, int timeout_ms);
// Releases the handle; a still-running thread is detached, not stopped.
void os_thread_free(os_thread *thread);

int os_thread_name_init();
int os_thread_name_set(const char *name);  // registers the calling thread
void os_thread_name_remove();              // removes the calling thread
void os_thread_name_exit();
// "<stored name>_<tid>" when registered, else "<tid>"; returns buf.
char *os_thread_name_get(char *buf, size_t size);
uint64_t os_gettid();

// --- clock ---------------------------------------------------------------------------------
uint64_t os_get_ms();  // time of day in milliseconds; all-ones when it cannot be read
uint64_t os_get_us();
uint64_t os_uptime_ms();

// --- tracked allocation ------------------------------------------------------------------------
struct os_mem_stats {
  uint64_t malloc_count;
  uint64_t malloc_bytes;
  uint32_t malloc_max_size;
  uint64_t malloc_max_count;
  uint64_t malloc_max_bytes;
};

void *os_malloc(size_t size);
void *os_zalloc(size_t size);
void *os_calloc(size_t count, size_t size);
void *os_realloc(void *block, size_t size);
char *os_strdup(const char *text);
char *os_strndup(const char *text, size_t n);
int os_asprintf(char **out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void os_free(void *block);
os_mem_stats os_mem_get_stats();
char *os_mem_stats_text();  // the five counter lines as a new tracked text

// --- system description ----------------------------------------------------------------------
const char *os_get_info();  // "sysname nodename release version machine " from uname
char *os_get_hw_info(char *buf, size_t size);  // "%llx" of the first interface's hardware address
