// mount.zmue: turns the arguments mount(8) gives a file-system helper into a zmue command line.
// Pure text work (no system calls), so that the translation can be tested without a mount.
#pragma once

#include <string>
#include <vector>

// What one helper call asks for. zmue_args are the arguments after the program path.
struct helper_request {
  std::string url;
  std::string dir;
  bool fake = false;     // -f: say what would run, run nothing
  bool verbose = false;  // -v: print the command and zmue's start-up output
  int timeout_s = 60;    // how long to wait for the mount before giving up
  std::vector<std::string> zmue_args;
};

// Fills *out from `mount.zmue URL DIR [-sfnv] [-N ns] [-o options] [-t type]`. Returns an empty
// text on success, else the reason the arguments are not usable.
[[nodiscard]] std::string helper_parse(int argc, char *const argv[], helper_request *out);

extern const char kHelperUsage[];
