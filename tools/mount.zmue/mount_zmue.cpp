// mount.zmue: the helper that mount(8) runs for `mount -t zmue URL DIR -o ...` and for fstab
// lines of type zmue. It starts zmue as a daemon and returns once the mount is up or failed;
// `umount DIR` ends the daemon, which then exits 0.
#include "helper_args.h"
#include "helper_run.h"

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
      fputs(kHelperUsage, stdout);
      return 0;
    }
  }
  helper_request request;
  std::string why = helper_parse(argc, argv, &request);
  if (!why.empty()) {
    fprintf(stderr, "mount.zmue: %s\n%s", why.c_str(), kHelperUsage);
    return 1;
  }
  const std::string program = helper_zmue_path();
  if (request.verbose || request.fake) {
    fprintf(stderr, "%s", program.c_str());
    for (const std::string &arg : request.zmue_args) fprintf(stderr, " '%s'", arg.c_str());
    fputc('\n', stderr);
  }
  if (request.fake) return 0;
  return helper_run(program, request);
}
