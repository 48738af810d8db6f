// Exact texts and results of the built-in commands: help and usages, show, set, call, pwd,
// unset, exit and quit.
#include <unistd.h>

#include <string>

#include "pal_env.h"
#include "sh_fixture.h"

namespace {

std::string reply(const std::string &text) { return text + '\0'; }

const char kBuiltinList[] =
    "show      \tShow the status of the program\n"
    "set       \tSet public options\n"
    "call      \tcall application commands\n"
    "pwd       \tPrint working directory\n"
    "alias     \tDefine or display alias\n"
    "unalias   \tDelete the alias set by alias\n"
    "unset     \tCancel environment variable\n"
    "echo      \tEcho the STRING(s) to output\n"
    "env       \tDisplay all variables\n"
    "source    \tExec commands from file\n"
    "exit      \tExit the service program\n"
    "quit      \tQuit the current session\n"
    "help      \tDisplay this text\n"
    "?         \tSynonym for `help'\n"
    "\nFor more information, type 'help command' for each command.\n"
    "e.g. help pwd\n";

TEST_F(ShellTest, HelpListsProgramCommandsThenBuiltins) {
  const std::string list = std::string("rec       \tRecord the call\n"
                                       "fail      \tRecord the call and fail\n") +
                           kBuiltinList;
  for (const char *line : {"help", "?", "help nosuch"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), reply(list));
    EXPECT_EQ(result(), 0);
  }
}

TEST_F(ShellTest, UsageTexts) {
  struct usage_case {
    const char *line;
    std::string text;
    int result;
  };
  const usage_case cases[] = {
      {"help pwd", "pwd\nPrint working directory\n\t-h Display this help\n", 0},
      {"? pwd", "pwd\nPrint working directory\n\t-h Display this help\n", 0},
      {"pwd -h", "pwd\nPrint working directory\n\t-h Display this help\n", 0},
      {"help unset", "unset [var ...]\nCancel environment variable\n\t-h Display this help\n", 0},
      {"help echo", "echo [opt] [string|var]...\nEcho the STRING(s) to output\n\t-h Display this help\n",
       SH_RES_USAGE},
      {"help source", "source [opt] [file]...\nExec commands from file\n-h: Display this help\n", 0},
      {"source", "source [opt] [file]...\nExec commands from file\n-h: Display this help\n",
       SH_RES_USAGE},
      {"unset", "unsetenv: Too few arguments\n", 0},
      {"help alias", "", 0},
      {"help exit", "exit\nExit the service program\n\t-h Display this help\n", 0},
      {"help quit", "quit\nQuit the current session\n\t-h Display this help\n", 0},
  };
  for (const usage_case &c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(show_nul(run(c.line)), show_nul(reply(c.text)));
    EXPECT_EQ(result(), c.result);
    EXPECT_EQ(ctx_.exit_flag, 0);
  }
}

TEST_F(ShellTest, CommandHelpLookup) {
  EXPECT_STREQ(libsh_cmd_help("rec"), "Record the call");
  EXPECT_STREQ(libsh_cmd_help("quit"), "Quit the current session");
  EXPECT_STREQ(libsh_cmd_help("nosuch"), "get cmd help failed");
}

// The program's table is searched first, so it may take a built-in's name.
TEST_F(ShellTest, ProgramCommandHidesBuiltin) {
  static const sh_cmd kOwnPwd[] = {{"pwd", [](sh_ctx *, int, char **) { return 7; }, "own"}};
  libsh_set_app_cmds(kOwnPwd, 1);
  run("pwd");
  EXPECT_EQ(result(), 7);
}

const char kShowList[] =
    "Show the status of the program\n"
    "show info -- View program running global info\n"
    "show memory -- View program memory stats\n"
    "show llog -- show last log\n"
    "show dvar -- View program Dynamic variable\n";

TEST_F(ShellTest, ShowListsViews) {
  for (const char *line : {"show", "show -h", "show a b"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run(line), reply(kShowList));
    EXPECT_EQ(result(), 0);
  }
}

TEST_F(ShellTest, ShowUnknownViewStopsTheLine) {
  EXPECT_EQ(run("show nosuch; rec a"),
            reply("error: The show variable 'nosuch' does not exist\n"));
  EXPECT_EQ(result(), SH_RES_NOT_FOUND);
  EXPECT_TRUE(calls().empty());
}

TEST_F(ShellTest, ShowWritesTheViewText) {
  ASSERT_EQ(rvar_mgr_add("fixed", "A fixed text", [] { return os_strdup("a=1\nb=2\n"); }), 0);
  ASSERT_EQ(rvar_mgr_add("none", "No text", []() -> char * { return nullptr; }), 0);
  EXPECT_EQ(run("show fixed"), reply("a=1\nb=2\n"));
  EXPECT_EQ(run("show none"), reply(""));
  EXPECT_EQ(result(), 0);
}

const char kSetList[] =
    "Set public options\n"
    "set log.level [verb|dbg|info|noti|warn|err|crit] -- Set log output level\n";

TEST_F(ShellTest, SetForms) {
  struct set_case {
    const char *line;
    std::string text;
    int result;
  };
  const set_case cases[] = {
      {"set", kSetList, -1},
      {"set -h", kSetList, 0},
      {"set a b c", kSetList, -1},
      {"set nosuch 1", "error: The set variable 'nosuch' does not exist\n", SH_RES_NOT_FOUND},
      {"set log.level loud", "error: invalid param [loud]\n", -1},
  };
  for (const set_case &c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(run(c.line), reply(c.text));
    EXPECT_EQ(result(), c.result);
  }
}

TEST_F(ShellTest, SetLogLevelShowsInDvarAndInfo) {
  std::string before = run("show dvar");
  run("set log.level err");
  EXPECT_EQ(result(), 0);
  EXPECT_EQ(run("show dvar"), reply("log.level=err\n"));
  EXPECT_NE(run("show info").find("\nlog_level=err\n"), std::string::npos);
  run("set log.level verb");
  EXPECT_EQ(run("sd"), reply("log.level=verb\n"));
  run("set log.level " + before.substr(10, before.find('\n') - 10));
}

// An option without a setter keeps its value in the caller's buffer; an enumeration takes
// only words of its range.
TEST_F(ShellTest, SetOptionWithValueBuffer) {
  static char colour[8] = "red";
  static char note[6] = "";
  ASSERT_EQ(dvar_mgr_add({"colour", DVAR_TYPE_ENUM, "red|green", "Colour", nullptr, nullptr,
                          colour, sizeof(colour)}),
            0);
  ASSERT_EQ(dvar_mgr_add({"note", DVAR_TYPE_TEXT, "text", "Note", nullptr, nullptr, note,
                          sizeof(note)}),
            0);
  run("set colour green");
  EXPECT_EQ(result(), 0);
  EXPECT_EQ(run("set colour blue"), reply("error: invalid param [blue]\n"));
  EXPECT_STREQ(colour, "green");
  run("set note 'longer than five'");
  EXPECT_STREQ(note, "longe");
  EXPECT_NE(run("show dvar").find("colour=green\nnote=longe\n"), std::string::npos);
}

TEST_F(ShellTest, RegistriesRefuseDuplicatesAndIncompleteEntries) {
  auto view = [] { return os_strdup(""); };
  auto fn = [](sh_ctx *, int, char **) { return 0; };
  EXPECT_EQ(rvar_mgr_add("info", "again", view), -1);
  EXPECT_EQ(rvar_mgr_add("nofn", "no function", nullptr), -1);
  EXPECT_EQ(fvar_mgr_add("kill", "again", fn), -1);
  EXPECT_EQ(dvar_mgr_add({"log.level", 0, "", "again", nullptr, nullptr, nullptr, 0}), -1);
  EXPECT_EQ(dvar_mgr_add({"nosetter", 0, "", "no setter, no value", nullptr, nullptr, nullptr, 0}),
            -1);
  EXPECT_EQ(run("show nofn"), reply("error: The show variable 'nofn' does not exist\n"));
}

const char kCallList[] =
    "call application commands\n"
    "call kill -- Execute exit() to exit the process\n"
    "call null -- null memory access exception\n"
    "call tlog -- Test All log level output\n";

TEST_F(ShellTest, CallForms) {
  EXPECT_EQ(run("call"), reply(kCallList));
  EXPECT_EQ(result(), -1);
  EXPECT_EQ(run("call -h"), reply(kCallList));
  EXPECT_EQ(result(), 0);
  EXPECT_EQ(run("call nosuch"), reply("error: The call func 'nosuch' does not exist\n"));
  EXPECT_EQ(result(), SH_RES_NOT_FOUND);
}

TEST_F(ShellTest, CallPassesWordsFromTheFunctionName) {
  static std::string seen;
  ASSERT_EQ(fvar_mgr_add("probe", "Records its words",
                         [](sh_ctx *, int argc, char **argv) {
                           seen = std::to_string(argc);
                           for (int i = 0; i < argc; ++i) seen += std::string("|") + argv[i];
                           return 3;
                         }),
            0);
  run("c probe a 'b c'");
  EXPECT_EQ(seen, "3|probe|a|b c");
  EXPECT_EQ(result(), 3);
}

// The critical test line must not end the process; every level's line reaches the log.
TEST_F(ShellTest, CallTlogLogsEveryLevelAndReturns) {
  EXPECT_EQ(show_nul(run("call tlog")), "<0><0>");
  EXPECT_EQ(result(), 0);
  std::string llog = run("show llog");
  for (const char *text : {"log_debug\n", "log_info\n", "log_notice\n", "log_warn\n",
                           "log_error\n", "log_crit2\n"}) {
    EXPECT_NE(llog.find(std::string("fvar_tlog_func(): ") + text), std::string::npos) << text;
  }
}

TEST_F(ShellTest, PwdPrintsTheWorkingDirectory) {
  char dir[4096];
  ASSERT_NE(getcwd(dir, sizeof(dir)), nullptr);
  EXPECT_EQ(run("pwd"), reply(std::string(dir) + "\n"));
}

// Both answer once themselves and once more through the executor; the flag ends the loop only
// after the whole line, so the rest of the line still runs.
TEST_F(ShellTest, ExitRunsTheHookAndQuitDoesNot) {
  static int hook_calls;
  libsh_set_exit_hook([] { ++hook_calls; });
  struct exit_case {
    const char *line;
    const char *out;
    int hook_calls;
    size_t later_calls;
  };
  const exit_case cases[] = {
      {"quit; rec after", "<0><0><0>", 0, 1},
      {"e", "<0><0>", 1, 0},
  };
  for (const exit_case &c : cases) {
    SCOPED_TRACE(c.line);
    hook_calls = 0;
    ctx_.exit_flag = 0;
    EXPECT_EQ(show_nul(run(c.line)), c.out);
    EXPECT_EQ(calls().size(), c.later_calls);
    EXPECT_EQ(ctx_.exit_flag, 1);
    EXPECT_EQ(hook_calls, c.hook_calls);
    EXPECT_EQ(result(), 0);
  }
}

}  // namespace
