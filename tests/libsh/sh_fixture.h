// A shell context that collects every reply in a string (a NUL for each end of reply), and two
// program commands that record how they were called: "rec" answers 0, "fail" answers -5.
// Each test starts from a freshly initialised shell library.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libsh.h"

class ShellTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs one line; the output it produced (NULs included) is returned, the result kept.
  std::string run(const std::string &line);
  int result() const { return result_; }
  // Calls of "rec" and "fail" since the last run, each as its words joined by "|".
  const std::vector<std::string> &calls() const;

  sh_ctx ctx_;

 private:
  std::string out_;
  int result_ = 0;
};

// The same text with each "\0" shown as "<0>", for readable failure messages.
std::string show_nul(const std::string &text);
