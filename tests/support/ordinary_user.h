// Root reads every file, so a test of what an ordinary user meets runs its
// program as nobody (through setpriv) when the tests run as root, as CI
// does, and as whoever runs them otherwise. The program runs from a copy,
// since its build folder may be closed to others.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace zelbo::testing {

struct OrdinaryUser {
  explicit OrdinaryUser(const std::filesystem::path& original) : program(original.string()) {
    if (::geteuid() != 0) return;
    std::filesystem::permissions(copies.path(), std::filesystem::perms(0711));
    program = (copies / original.filename().string()).string();
    std::filesystem::copy_file(original, program);
    prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }

  TempDir copies;
  std::string program;              // what to start
  std::vector<std::string> prefix;  // the words before it that make it nobody's
};

// A test that looks at files from within this test program begins with
//   if (testing::RanAsOrdinaryUser()) return;
// Under root that runs the test again, alone, in a copy of this program
// started as nobody, takes over its outcome and returns true.
inline bool RanAsOrdinaryUser() {
  if (::geteuid() != 0) return false;
  const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
  const OrdinaryUser user(std::filesystem::read_symlink("/proc/self/exe"));
  RunOptions options;
  options.working_directory = user.copies.path();
  options.command_prefix = user.prefix;
  const std::string filter =
      std::string("--gtest_filter=") + test.test_suite_name() + "." + test.name();
  const ProgramRun run = RunProgram(user.program, {filter}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("[  PASSED  ] 1 test."), std::string::npos) << run.output;
  return true;
}

}  // namespace zelbo::testing
