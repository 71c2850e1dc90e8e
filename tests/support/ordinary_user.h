// Root reads and writes every file, so a test of what an ordinary user meets
// runs its program as nobody (through setpriv) when the tests run as root,
// as CI does, and as whoever runs them otherwise. The program runs from a
// copy in a temporary folder, since its build folder may be closed to others.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace zelbo::testing {

class OrdinaryUser {
 public:
  static constexpr int kId = 65534;  // nobody

  explicit OrdinaryUser(const std::filesystem::path& program) : program_(program) {
    if (!Switches()) return;
    namespace fs = std::filesystem;
    fs::permissions(copies_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                        fs::perms::others_exec);
    program_ = copies_ / program.filename().string();
    fs::copy_file(program, program_);
  }

  static bool Switches() { return ::geteuid() == 0; }

  // What starts the program (program(), after these words) as that user.
  std::vector<std::string> prefix() const {
    if (!Switches()) return {};
    const std::string id = std::to_string(kId);
    return {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
  }
  std::string program() const { return program_.string(); }

  // Hands `folder` and everything below it to that user.
  void Own(const std::filesystem::path& folder) const {
    if (!Switches()) return;
    ChangeOwner(folder);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      ChangeOwner(entry.path());
    }
  }

 private:
  static void ChangeOwner(const std::filesystem::path& path) {
    EXPECT_EQ(::lchown(path.c_str(), kId, kId), 0) << path;
  }

  TempDir copies_;
  std::filesystem::path program_;
};

// A test that looks at files through this test program itself begins with
//   if (testing::RanAsOrdinaryUser()) return;
// Under root that runs the test again, alone, in a copy of this program
// started as nobody, takes over its outcome and returns true.
inline bool RanAsOrdinaryUser() {
  if (!OrdinaryUser::Switches()) return false;
  const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
  const OrdinaryUser user(std::filesystem::read_symlink("/proc/self/exe"));
  RunOptions options;
  options.working_directory = std::filesystem::temp_directory_path();
  options.command_prefix = user.prefix();
  const ProgramRun run = RunProgram(
      user.program(),
      {std::string("--gtest_filter=") + test.test_suite_name() + "." + test.name()}, options);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("[  PASSED  ] 1 test."), std::string::npos) << run.output;
  return true;
}

}  // namespace zelbo::testing
