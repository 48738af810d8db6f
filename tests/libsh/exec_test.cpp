// The executor: how a line is cut into pieces and words, one level of aliases, NAME=value
// variables, the end of reply after each command, the stop at a failure, and the repeat of
// the last line.
#include <string>
#include <vector>

#include "sh_fixture.h"

namespace {

using Calls = std::vector<std::string>;

TEST_F(ShellTest, PiecesWordsAndQuotes) {
  struct split_case {
    const char *line;
    Calls calls;
    int nuls;  // ends of reply: one per command run
  };
  const split_case cases[] = {
      {"rec a; rec b", {"rec|a", "rec|b"}, 2},
      {"rec 'a;b'", {"rec|a;b"}, 1},
      {"rec \"a;b\" c", {"rec|a;b|c"}, 1},
      {"rec \"x  y\"\tz", {"rec|x  y|z"}, 1},
      {"rec a'b c'd", {"rec|ab cd"}, 1},
      {"rec \"it's\" 'say \"hi\"'", {"rec|it's|say \"hi\""}, 1},
      {"  rec a  ;  # rec skipped ; rec b  ", {"rec|a", "rec|b"}, 2},
      {"rec a;;rec b;", {"rec|a", "rec|b"}, 2},
      {"rec ''", {"rec|"}, 1},
      {"# only a comment", {}, 0},
      {"rec 'open ; rec b", {}, 0},  // a quote left open runs nothing
  };
  for (const split_case &c : cases) {
    SCOPED_TRACE(c.line);
    std::string out = run(c.line);
    EXPECT_EQ(calls(), c.calls);
    EXPECT_EQ(out, std::string(c.nuls, '\0'));
  }
}

TEST_F(ShellTest, OpenQuoteFailsAndClearsTheLastLine) {
  run("rec first");
  run("rec 'open");
  EXPECT_EQ(result(), -1);
  EXPECT_EQ(show_nul(run("")), "<0>");  // nothing left to repeat
  EXPECT_TRUE(calls().empty());
}

TEST_F(ShellTest, FailureStopsTheRestOfTheLine) {
  std::string out = run("rec a; fail b; rec c");
  EXPECT_EQ(calls(), (Calls{"rec|a", "fail|b"}));
  EXPECT_EQ(result(), -5);
  EXPECT_EQ(show_nul(out), "<0><0>");
}

TEST_F(ShellTest, UnknownCommandStopsTheLine) {
  std::string out = run("nosuch x; rec a");
  EXPECT_EQ(show_nul(out),
            "command not found: [nosuch]\nType `help` to learn how to use prompt\n<0>");
  EXPECT_EQ(result(), SH_RES_NOT_FOUND);
  EXPECT_TRUE(calls().empty());
}

TEST_F(ShellTest, EmptyLineRepeatsTheLastLine) {
  run("rec a; rec b");
  for (const char *empty : {"", "   ", "\t\r\n"}) {
    SCOPED_TRACE(show_nul(empty));
    std::string out = run(empty);
    EXPECT_EQ(calls(), (Calls{"rec|a", "rec|b"}));
    EXPECT_EQ(show_nul(out), "<0><0>");
  }
}

TEST_F(ShellTest, EmptyLineWithoutHistoryOnlyEndsTheReply) {
  EXPECT_EQ(show_nul(run("")), "<0>");
  EXPECT_EQ(result(), 0);
  EXPECT_TRUE(calls().empty());
}

// An unknown command forgets the line, so an empty line does not run it again.
TEST_F(ShellTest, UnknownCommandClearsTheLastLine) {
  run("rec a");
  run("nosuch");
  EXPECT_EQ(show_nul(run("")), "<0>");
  EXPECT_TRUE(calls().empty());
}

TEST_F(ShellTest, AliasExpandsTheFirstWordOneLevel) {
  ASSERT_EQ(alias_set("r2", "rec two", 0), 0);
  ASSERT_EQ(alias_set("r1", "r2 one", 0), 0);
  struct alias_case {
    const char *line;
    Calls calls;
  };
  const alias_case cases[] = {
      {"r2 x", {"rec|two|x"}},
      {"rec r2", {"rec|r2"}},  // only the first word
      {"rec a; r2 b", {"rec|a", "rec|two|b"}},
      {"r1 x", {}},  // "r2 one x": the expansion is not expanded again
  };
  for (const alias_case &c : cases) {
    SCOPED_TRACE(c.line);
    run(c.line);
    EXPECT_EQ(calls(), c.calls);
  }
  EXPECT_NE(run("r1 x").find("command not found: [r2]\n"), std::string::npos);
}

TEST_F(ShellTest, DefaultAliasRunsAView) {
  EXPECT_EQ(run("si"), run("show info"));
  EXPECT_EQ(run("sm").substr(0, 13), "malloc_count=");
}

TEST_F(ShellTest, AliasDefinedAndRemovedFromTheShell) {
  run("alias rr='rec one two'");
  run("rr three");
  EXPECT_EQ(calls(), (Calls{"rec|one|two|three"}));
  EXPECT_EQ(run("alias rr"), std::string("rr=rec one two\n") + '\0');
  run("unalias rr");
  EXPECT_EQ(result(), 0);
  EXPECT_EQ(run("alias rr"), std::string("rr not found\n") + '\0');
  EXPECT_EQ(result(), SH_RES_USAGE);
  EXPECT_EQ(run("unalias rr"), std::string("rr not found\n") + '\0');
  EXPECT_EQ(result(), SH_RES_USAGE);
}

// A permanent alias is only hidden by unalias; defining it again shows it once more.
TEST_F(ShellTest, PermanentAliasIsHiddenNotRemoved) {
  ASSERT_EQ(alias_set("keep", "rec kept", SH_ALIAS_PERMANENT), 0);
  run("unalias keep");
  EXPECT_EQ(alias_get("keep"), nullptr);
  EXPECT_EQ(run("unalias keep"), std::string("keep not found\n") + '\0');
  run("alias keep='rec back'");
  run("keep");
  EXPECT_EQ(calls(), (Calls{"rec|back"}));
  run("unalias keep");
  EXPECT_EQ(alias_get("keep"), nullptr);
}

TEST_F(ShellTest, AliasLimits) {
  const std::string long_name(SH_WORD_SIZE, 'n');
  EXPECT_EQ(alias_set(long_name.c_str(), "rec", 0), -1);
  EXPECT_EQ(alias_set("", "rec", 0), -1);
  EXPECT_EQ(alias_set("ok", std::string(SH_LINE_SIZE, 'v').c_str(), 0), -1);
}

TEST_F(ShellTest, DefaultAliasesListedBucketByBucket) {
  EXPECT_EQ(run("alias"),
            std::string("e=exit\ns=show\nc=call\nq=quit\na=alias\nsc=show config\n"
                        "sd=show dvar\nsi=show info\nsl=show llog\nsm=show memory\n") +
                '\0');
}

TEST_F(ShellTest, VariableAssignment) {
  struct var_case {
    const char *line;
    bool assigned;  // else the piece ran as a command (and was not found)
  };
  const var_case cases[] = {
      {"X1=1", true},
      {"X2=a b", true},
      {"X3=", false},
      {"=v", false},
      {"X4=1=2", false},
      {"X 5=1", false},
      {"X\t6=1", false},
  };
  for (const var_case &c : cases) {
    SCOPED_TRACE(c.line);
    std::string out = run(c.line);
    EXPECT_EQ(out.empty(), c.assigned) << show_nul(out);
  }
  std::string env = run("env");
  EXPECT_NE(env.find("\nX1=1\n"), std::string::npos);
  EXPECT_NE(env.find("\nX2=a b\n"), std::string::npos);
  EXPECT_EQ(env.find("X4="), std::string::npos);
}

TEST_F(ShellTest, VariableReplacedAndUnset) {
  run("ZVAR=1; ZVAR=2");
  std::string env = run("env");
  EXPECT_EQ(env.find("ZVAR=1"), std::string::npos);
  EXPECT_NE(env.find("ZVAR=2\n"), std::string::npos);
  run("unset ZVAR");
  EXPECT_EQ(run("env").find("ZVAR="), std::string::npos);
}

TEST_F(ShellTest, VariableFromEnvironment) {
  setenv("ZM_SH_TEST_VAR", "from_env", 1);
  libsh_exit();
  ASSERT_EQ(libsh_init(), 0);
  EXPECT_NE(run("env").find("ZM_SH_TEST_VAR=from_env\n"), std::string::npos);
  unsetenv("ZM_SH_TEST_VAR");
}

TEST_F(ShellTest, LongLineIsCut) {
  std::string line = "rec " + std::string(SH_LINE_SIZE, 'x');
  run(line);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].size(), SH_LINE_SIZE - 1);  // "rec|" + 4091 x
}

}  // namespace
