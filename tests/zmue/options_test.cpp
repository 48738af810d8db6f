// Options that end the program before the server step: what each prints where, and its exit
// status. Exact texts, since scripts and people read them.
#include <gtest/gtest.h>

#include "zmue_fixture.h"

namespace {

struct option_case {
  const char *name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

class ZmueOptionTest : public ZmueTest, public testing::WithParamInterface<option_case> {};

TEST_P(ZmueOptionTest, PrintsAndExits) {
  const option_case &c = GetParam();
  run_result r = run(c.args);
  ASSERT_TRUE(r.exited) << "signal " << r.term_signal << " timed out " << r.timed_out;
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
}

const std::string kHelp = kBanner + kNotice + kUsage;
const std::string kSettingsList =
    "support the following key settings\nhttp_server_port\ndebug_server_port\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ZmueOptionTest,
    testing::Values(
        option_case{"version", {"-v"}, 0, "1.7.2.0\n", ""},
        option_case{"version_after_quiet", {"-q", "-v"}, 0, "1.7.2.0\n", ""},
        option_case{"help", {"-h"}, 0, "", kHelp},
        option_case{"quiet_then_help", {"-q", "-h"}, 0, "", kUsage},
        option_case{"help_then_quiet", {"-h", "-q"}, 0, "", kHelp},
        option_case{"unknown_letter", {"-z"}, 1, "", "zmue: invalid option -- 'z'\n" + kHelp},
        option_case{"missing_argument", {"-u"}, 1, "",
                    "zmue: option requires an argument -- 'u'\n" + kHelp},
        option_case{"quiet_missing_argument", {"-q", "-m"}, 1, "",
                    "zmue: option requires an argument -- 'm'\n" + kUsage},
        option_case{"i_selects_nothing", {"-i", "3"}, 1, "", kHelp},
        option_case{"quiet_i", {"-q", "-i", "3"}, 1, "", kUsage},
        option_case{"settings_list", {"-s", "list"}, 0, "", kSettingsList},
        option_case{"settings_list_stops_parsing", {"-s", "list", "-v"}, 0, "", kSettingsList},
        option_case{"dump_defaults", {"-q", "-p"}, 0, "panic_dump_dir=\n", ""},
        option_case{"dump_with_banner", {"-p"}, 0, "panic_dump_dir=\n", kBanner + kNotice},
        option_case{"send_without_connector", {"-q", "-e", "show info"}, 0, "",
                    "zmue: -e: sending commands to 127.0.0.1:0 is not supported by this build\n"},
        option_case{"send_uses_debug_port",
                    {"-q", "-s", "DEBUG_SERVER_PORT=4321", "-e", "show info"}, 0, "",
                    "zmue: -e: sending commands to 127.0.0.1:4321 is not supported by this "
                    "build\n"}),
    [](const testing::TestParamInfo<option_case> &info) { return std::string(info.param.name); });

// -s edits land in their targets (keys ignore case); a malformed one is reported and skipped.
TEST_F(ZmueTest, SettingTakesEffectWhateverTheKeyCase) {
  run_result r = run({"-q", "-l", "verb", "-s", "HTTP_SERVER_PORT=8080", "-p"});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "panic_dump_dir=\n");
  EXPECT_NE(r.err.find("http_server_port=8080\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("debug_server_port=0\n"), std::string::npos) << r.err;
}

TEST_F(ZmueTest, BadSettingIsLoggedAndTheProgramGoesOn) {
  struct bad_case {
    const char *arg;
    const char *logged;
  };
  const bad_case cases[] = {
      {"port", "port syntax error Example: k=v\n"},
      {"no_such_key=1", "unsupported key [no_such_key]\n"},
  };
  for (const bad_case &c : cases) {
    SCOPED_TRACE(c.arg);
    run_result r = run({"-q", "-s", c.arg, "-p"});
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "panic_dump_dir=\n");
    EXPECT_NE(r.err.find(c.logged), std::string::npos) << r.err;
  }
}

}  // namespace
