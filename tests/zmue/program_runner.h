// Runs a program in a child process with captured standard output and error, an optional user,
// working directory and standard input, and a bounded wait. Used by the zmue program tests;
// assumes a single-threaded caller (GoogleTest's default).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct run_request {
  std::string binary;
  std::vector<std::string> args;  // after argv[0], which is the binary's base name
  std::string cwd;                // empty: the caller's
  std::string stdin_text;         // written to the child's standard input
  bool keep_stdin_open = false;   // else standard input reaches its end after stdin_text
  uid_t uid = 0;                  // with set_user: run as this user and its group
  gid_t gid = 0;
  bool set_user = false;
  std::string signal_after;  // once standard error contains this, send signal_number
  int signal_number = 0;     // ... signal_delay_ms later
  int signal_delay_ms = 0;
  int timeout_ms = 15000;
};

struct run_result {
  bool exited = false;  // ended through exit; else killed by term_signal or timed out
  int status = -1;      // exit status when exited
  int term_signal = 0;
  bool timed_out = false;
  std::string out;
  std::string err;
};

run_result run_program(const run_request &request);
std::string read_text_file(const std::string &path);
void write_text_file(const std::string &path, const std::string &text);
