// Scripted sessions on standard input, compared byte for byte: each reply with "\r\n" line
// ends and its NUL, a prompt before every line, and the end of the program with status 0 at
// the end of input, at quit and at exit.
#include <string>

#include "shell_fixture.h"

namespace {

std::string nul(const std::string &text) { return text + '\0'; }

struct exchange {
  const char *line;
  std::string reply;  // everything between this line's prompt and the next one
};

// Runs the lines as one script and checks the whole output and the exit status.
void expect_session(const std::string &dir, const std::vector<exchange> &script,
                    const std::string &last = "") {
  shell_session zmue(dir, {"-q"});
  ASSERT_TRUE(zmue.started());
  std::string input;
  std::string expected = kHint;
  for (const exchange &e : script) {
    input += std::string(e.line) + "\n";
    expected += ">" + e.reply;
  }
  expected += last;
  ASSERT_TRUE(zmue.send(input));
  zmue.close_input();
  EXPECT_EQ(zmue.wait_exit(15000), 0) << zmue.err();
  EXPECT_EQ(show_nul(zmue.out()), show_nul(expected));
}

TEST_F(ShellProgramTest, FixedTextsByteForByte) {
  const std::vector<exchange> script = {
      {"echo hello world", nul("hello world\r\n")},
      {"echo -n a b", nul("a b")},
      {"echo -x a", nul("-x a\r\n")},
      {"", nul("-x a\r\n")},  // the empty line repeats the last one
      {"X=1", ""},
      {"alias sx='show nosuch'", nul("")},
      {"sx; echo skipped", nul("error: The show variable 'nosuch' does not exist\r\n")},
      {"help pwd", nul("pwd\r\nPrint working directory\r\n\t-h Display this help\r\n")},
      {"set -h", nul("Set public options\r\n"
                     "set log.level [verb|dbg|info|noti|warn|err|crit] -- Set log output level\r\n")},
      {"unalias sx", nul("")},
      {"alias sx", nul("sx not found\r\n")},
      {"nosuch", nul("command not found: [nosuch]\r\nType `help` to learn how to use prompt\r\n")},
      {"", nul("")},  // an unknown command is not repeated
      {"show config", nul("panic_dump_dir=\r\n")},
      {"show openfile", nul("")},
      {"set log.level warn; sd", nul("") + nul("log.level=warn\r\n")},
      {"help mount", nul("mount [url]\r\nMount the url as a dokan device\r\n"
                         "url: Mount file path and parameters\r\n")},
      {"umount -h", nul("umount Unmount disk device\r\n")},
      {"mount a b", nul("mount [url]\r\nMount the url as a dokan device\r\n"
                        "url: Mount file path and parameters\r\n")},
      {"umount", nul("OK\r\n")},  // nothing mounted: nothing to do
  };
  expect_session(dir(), script, ">");
}

TEST_F(ShellProgramTest, HelpListsProgramCommandsFirst) {
  const std::vector<exchange> script = {
      {"help", nul("mount     \tMount the url as a dokan device\r\n"
                   "umount    \tUnmount disk device\r\n"
                   "show      \tShow the status of the program\r\n"
                   "set       \tSet public options\r\n"
                   "call      \tcall application commands\r\n"
                   "pwd       \tPrint working directory\r\n"
                   "alias     \tDefine or display alias\r\n"
                   "unalias   \tDelete the alias set by alias\r\n"
                   "unset     \tCancel environment variable\r\n"
                   "echo      \tEcho the STRING(s) to output\r\n"
                   "env       \tDisplay all variables\r\n"
                   "source    \tExec commands from file\r\n"
                   "exit      \tExit the service program\r\n"
                   "quit      \tQuit the current session\r\n"
                   "help      \tDisplay this text\r\n"
                   "?         \tSynonym for `help'\r\n"
                   "\r\nFor more information, type 'help command' for each command.\r\n"
                   "e.g. help pwd\r\n")},
      {"s", nul("Show the status of the program\r\n"
                "show info -- View program running global info\r\n"
                "show memory -- View program memory stats\r\n"
                "show llog -- show last log\r\n"
                "show dvar -- View program Dynamic variable\r\n"
                "show config -- View configuration parameters\r\n"
                "show openfile -- View open file and dir\r\n")},
      {"c", nul("call application commands\r\n"
                "call kill -- Execute exit() to exit the process\r\n"
                "call null -- null memory access exception\r\n"
                "call tlog -- Test All log level output\r\n")},
      {"quit", nul("") + nul("")},
  };
  expect_session(dir(), script);
}

// Both leave the loop after their line; exit also runs the program's stop path.
TEST_F(ShellProgramTest, QuitAndExitEndWithZero) {
  for (const char *word : {"quit", "exit", "e", "q"}) {
    SCOPED_TRACE(word);
    shell_session zmue(dir(), {"-q", "-l", "dbg"});
    ASSERT_TRUE(zmue.send(std::string(word) + "; echo rest\necho never\n"));
    EXPECT_EQ(zmue.wait_exit(15000), 0);
    EXPECT_EQ(show_nul(zmue.out()), show_nul(kHint + ">" + nul("") + nul("") + nul("rest\r\n")));
    bool is_exit = word[0] == 'e';
    EXPECT_EQ(zmue.err().find("app_stop_server(): ==>\n") != std::string::npos, is_exit)
        << zmue.err();
  }
}

TEST_F(ShellProgramTest, ViewsOfTheProgram) {
  shell_session zmue(dir(), {"-q", "-l", "info"});
  ASSERT_TRUE(zmue.send("si\nsm\ncall tlog\nsl\n"));
  zmue.close_input();
  EXPECT_EQ(zmue.wait_exit(15000), 0);
  const std::string &out = zmue.out();
  for (const char *text : {">ver=1.7.2.0\r\nver_date=2024-3-2\r\nstart_time=00:00:0", "\r\nis_root=1\r\n",
                           "\r\nlog_level=info\r\nbsv_pipe_name=\r\ncpu_endian=little\r\nos_info=",
                           "\r\nos_start_time=", ">malloc_count=", "\r\nmalloc_max_bytes=",
                           "fvar_tlog_func(): log_info\r\n", "fvar_tlog_func(): log_crit2\r\n"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << " not in " << show_nul(out);
  }
  // info is filtered at level 6: the verbose and debug lines never reach the log.
  EXPECT_EQ(out.find("log_debug"), std::string::npos);
}

TEST_F(ShellProgramTest, SourceRunsAFile) {
  {
    std::ofstream rc(dir() + "/cmds.rc");
    rc << "echo from file\n\nY=2\nenv\n";
  }
  shell_session zmue(dir(), {"-q"});
  ASSERT_TRUE(zmue.send("source cmds.rc\n"));
  zmue.close_input();
  EXPECT_EQ(zmue.wait_exit(15000), 0);
  EXPECT_EQ(zmue.out().find(kHint + ">" + nul("from file\r\n")), 0u) << show_nul(zmue.out());
  EXPECT_NE(zmue.out().find("\r\nY=2\r\n"), std::string::npos);
}

TEST_F(ShellProgramTest, EndOfInputEndsWithZero) {
  shell_session zmue(dir(), {"-q"});
  zmue.close_input();
  EXPECT_EQ(zmue.wait_exit(15000), 0);
  EXPECT_EQ(zmue.out(), kHint + ">");
}

// kill ends the process at once with 0; null takes the fatal-signal path, which unmounts and
// ends with 254 (no core-file directory is configured).
TEST_F(ShellProgramTest, CallKillAndNull) {
  struct call_case {
    const char *line;
    int status;
    std::vector<std::string> logged;
  };
  const call_case cases[] = {
      {"call kill", 0, {"fvar_kill_func(): user req exit!!\n"}},
      {"call null", 254,
       {"fvar_null_func(): user req null=0 !!\n", "signo=11 [", "appver: 1.7.2.0\n",
        "painc_callback_handler(): ==>\n", "myfuse_unmount(): ==>\n"}},
  };
  for (const call_case &c : cases) {
    SCOPED_TRACE(c.line);
    shell_session zmue(dir(), {"-q", "-l", "dbg"});
    ASSERT_TRUE(zmue.send(std::string(c.line) + "\necho never\n"));
    EXPECT_EQ(zmue.wait_exit(15000), c.status) << "signal " << zmue.term_signal();
    EXPECT_EQ(show_nul(zmue.out()), show_nul(kHint + ">" + nul("")));
    for (const std::string &text : c.logged) {
      EXPECT_NE(zmue.err().find(text), std::string::npos) << text << " not in " << zmue.err();
    }
  }
}

}  // namespace
