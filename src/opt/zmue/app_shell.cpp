// Registers zmue's commands and views with the shell library: `mount` and `umount`, the
// `config` and `openfile` views, and an exit hook that takes the mount down before the end.
#include "app_shell.h"

#include "myfuse_ops.h"
#include "pal_env.h"
#include "zmue.h"

namespace {

const sh_cmd kAppCmds[] = {
    {"mount", cmd_mount, "Mount the url as a dokan device"},
    {"umount", cmd_umount, "Unmount disk device"},
};

// The mount is only set while one is being served; its handles are listed under its lock.
char *view_openfile() {
  char *text = g_myfuse_mount ? vfs_dump_handles(g_myfuse_mount) : nullptr;
  return text ? text : os_strdup("");
}

void app_shell_exit() {
  app_unmount();
  app_stop_server();
}

}  // namespace

int app_shell_register() {
  libsh_set_app_cmds(kAppCmds, sizeof(kAppCmds) / sizeof(kAppCmds[0]));
  libsh_set_exit_hook(app_shell_exit);
  int failed = 0;
  failed |= rvar_mgr_add("config", "View configuration parameters", app_conf_dump_proc);
  failed |= rvar_mgr_add("openfile", "View open file and dir", view_openfile);
  return failed ? -1 : 0;
}
