// The program's own pieces that the framework calls back and that main wires together: option
// parsing, configuration keys, signal and panic callbacks, and the server step.
// Everything here runs in the main thread, except the signal and panic callbacks.
#pragma once

#include <cstddef>

inline constexpr size_t ZMUE_CMD_SIZE = 4096;  // the mount URL handed to the server step

int app_opt_get(int argc, char **argv);
// The mount URL that the options assembled; empty when none was asked for.
const char *app_mount_cmd();

int app_conf_file_init(const char *path);
char *app_conf_dump_proc();
int app_lib_init();
int app_lib_exit();

// Notes the calling thread as the main thread; before the signal handler is installed.
void app_signals_init();
// Async-signal-safe: records the stop signal and wakes the main thread.
void app_sig_handler(int sig);
// The stop signal taken (SIGINT or SIGTERM), or 0.
int app_stop_signal();
// The main thread's end after a stop signal, once the server step returned: logs the signal,
// takes down what is still mounted, marks the server stopped. 0, the exit status.
int app_stopped();
void painc_callback_handler();
// Undoes the FUSE mount from signal, panic and stop paths.
void app_unmount();

[[nodiscard]] int app_start_server();
int app_stop_server();
