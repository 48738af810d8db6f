// Command line of the reference peer: what it serves, how it answers and which faults it
// injects. Parsed once in main; read-only afterwards, shared by every connection thread.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "hostile_reply.h"

namespace peer {

struct PeerOptions {
  std::string dir;            // served directory (absolute after parsing)
  int port = 0;               // 0: the kernel picks a free one
  std::string port_file;      // receives the port number once listening
  int frame_version = 2;      // byte 2 of every response: 1 = simple login, else key login
  std::string ver = "1.6.8";  // "ver" of the server information
  std::string plat = "linux";
  bool readonly = false;
  std::map<std::string, std::string> users;  // empty: no login needed
  std::string tls_cert, tls_key;             // both set: TLS on the port
  std::string request_log;                   // "-" for standard error, empty for none
  std::set<uint64_t> drop_before, drop_after;  // request numbers, counted from 1 over the process
  int delay_ms = 0;                            // added before every reply
  std::set<uint64_t> delay_at;                 // when not empty, only these requests wait
  bool ignore_stop = false;                    // stop requests (control 107) change nothing
  int context_keep_s = 300;                    // how long a retained context outlives its link
  HostilePlan hostile;                         // share 0: every reply sound
  uint64_t stall_after = 0;                    // requests answered before all go silent; 0: never
};

// Returns 0 and fills `out`, 1 after printing usage (-h), 2 on a bad command line (message on stderr).
int parse_options(int argc, char **argv, PeerOptions &out);

}  // namespace peer
