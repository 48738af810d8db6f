// `echo`: option words, joining, the final line feed and the backslash escapes of "-e".
#include <string>

#include "sh_fixture.h"

namespace {

TEST_F(ShellTest, EchoForms) {
  struct echo_case {
    const char *line;
    std::string out;
  };
  const echo_case cases[] = {
      {"echo a b", "a b\n"},
      {"echo   a    b", "a b\n"},
      {"echo 'a    b'", "a    b\n"},
      {"echo", "\n"},
      {"echo -n a b", "a b"},
      {"echo -x a", "-x a\n"},  // not an option group
      {"echo - a", "- a\n"},
      {"echo a -n", "a -n\n"},  // options only come first
      {"echo -n -n a", "a"},
      {"echo 'a\\tb'", "a\\tb\n"},  // escapes are off by default
      {"echo -e 'a\\tb\\n'", "a\tb\n\n"},
      {"echo -eE 'a\\tb'", "a\\tb\n"},
      {"echo -e -E 'a\\tb'", "a\\tb\n"},
      {"echo -e 'a\\cb' c", "ab c"},  // \c drops the line feed, the output goes on
      {"echo -e 'end\\'", "end\\\n"},
      {"echo -e '\\x41\\101\\q'", "AA\\q\n"},
      {"echo -e '\\x4a\\x' \\\\", "J\\x \\\n"},
      {"echo -e '\\0101\\7'", "\b1\a\n"},  // three octal digits at most
      {"echo -ne 'x\\r'", "x\r"},
  };
  for (const echo_case &c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(show_nul(run(c.line)), show_nul(c.out + '\0'));
    EXPECT_EQ(result(), 0);
  }
}

TEST_F(ShellTest, EchoUsage) {
  EXPECT_EQ(run("echo -nh a"),
            std::string("echo [opt] [string|var]...\nEcho the STRING(s) to output\n"
                        "\t-h Display this help\n") +
                '\0');
  EXPECT_EQ(result(), SH_RES_USAGE);
}

}  // namespace
