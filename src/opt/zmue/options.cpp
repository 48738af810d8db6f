// zmue's command line: every option either sets framework state or adds to one mount URL, whose
// query carries the mount parameters. The first lines of -h and of a bad option go to standard
// error, the version to standard output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pal_log.h"
#include "pal_os.h"
#include "pal_url.h"
#include "tframe.h"
#include "zmcli.h"
#include "zmue.h"

static const char kLogTag[] = "zmue";

static char g_mount_cmd[ZMUE_CMD_SIZE];

const char *app_mount_cmd() { return g_mount_cmd; }

static const char kUsage[] =
    "Usage: zmue [opt] [arguments] ...\n"
    "\t-u [url] Specify 'url' to mount\n"
    "\t-m [MountPoint] Can be /mnt/test \n"
    "\t-r [\"debug=1&...\"] set url query val\n"
    "\t   options=rw,allow_other,allow_root,noexec\n"
    "\t-d Run as a daemon\n"
    "\t-c [config_file]  set config file\n"
    "\t-p dump current config\n"
    "\t-s [list|key=val] Set configuration options\n"
    "\t-e [\"cmd;...\"] execute string 'cmd'\n"
    "\t-v show version\n"
    "\t-q Do not display the startup banner and copyright message\n"
    "\t-o [log_file]     set output log file\n"
    "\t-l [log_level]    set log level: verb, dbg, info, warn, err\n"
    "\t-h display this help\n";

[[noreturn]] static void app_usage_exit(int status) {
  app_baner();
  fputs(kUsage, stderr);
  exit(status);
}

int app_opt_get(int argc, char **argv) {
  char url[URL_TEXT_SIZE] = "";
  // The profile, proxy and cache files live beside the executable.
  if (os_exe_get_dir(url, sizeof(url)) == 0) zm_conf_set_path(url);
  url[0] = '\0';

  int run_daemon = 0;
  int opt;
  while ((opt = getopt(argc, argv, "u:m:r:i:dc:o:l:e:s:pqvh")) != -1) {
    switch (opt) {
      case 'u':
        if (url_conf_2_real(optarg, url) != 0) {
          ZLOG(LOG2_CRIT | LOG2_NOEXIT, "url_conf_2_real [%s] failed\n", optarg);
        }
        break;
      case 'm':
        url_set_query(url, "fuse_mount_point", optarg, 1, URL_SET_ALWAYS);
        break;
      case 'r':
        url_add_query(url, optarg);
        break;
      case 'd':
        run_daemon = 1;
        g_app.log_banner = 1;
        g_app.log_cmdline = 0;
        break;
      case 'c':
        g_app.conf_path = optarg;
        break;
      case 'o':
        g_app.log_file = optarg;
        break;
      case 'l':
        g_app.log_level = optarg;
        break;
      case 'e':
        g_app.send_cmds = optarg;
        break;
      case 's':
        os_opt_kv_get(g_app.settings, optarg);
        break;
      case 'p':
        g_app.dump_conf = 1;
        break;
      case 'q':
        g_app.quiet = 1;
        break;
      case 'v':
        printf("%s\n", g_app.app_ver);
        exit(0);
      case 'h':
        app_usage_exit(0);
      default:  // -i, an unknown letter or a missing argument
        app_usage_exit(1);
    }
  }
  if (run_daemon) url_set_query(url, "run_daemon", "1", 0, URL_SET_ALWAYS);
  snprintf(g_mount_cmd, sizeof(g_mount_cmd), "%s", url);
  return 0;
}
