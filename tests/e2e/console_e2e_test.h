// Shared pieces of the console program's end-to-end tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "console/command_line.h"
#include "tests/support/run_program.h"

namespace zelbo::e2e {

namespace fs = std::filesystem;

inline const std::string kProgram = CZELBO32_PATH;

// The usage as printed: an optional error line, then the usage text and
// the exit-code list of a platform where options may (Windows) or may not
// start with '/'.
inline void ExpectUsageText(const std::string& printed, const std::string& error_line,
                            bool slash_options) {
  EXPECT_EQ(printed, error_line + console::UsageText(slash_options));
}

// A temporary folder in which the program runs.
class ConsoleRun : public ::testing::Test {
 protected:
  testing::ProgramRun Split(const std::vector<std::string>& arguments,
                            std::int64_t file_size_limit = -1) {
    testing::RunOptions options;
    options.working_directory = dir_.path();
    options.file_size_limit = file_size_limit;
    options.size_limit_kills = true;  // what a user's `ulimit -f` does
    options.command_prefix = prefix_;
    return testing::RunProgram(program_, arguments, options);
  }

  void Make(const std::string& name, const std::string& bytes) {
    testing::WriteFile(dir_ / name, bytes);
  }

  std::vector<std::string> Listing() const { return testing::SortedNames(dir_.path()); }

  testing::TempDir dir_;
  std::string program_ = kProgram;
  std::vector<std::string> prefix_;  // e.g. {"wine"}
};

// The progress mark as printed for `reads` reads of one part.
inline std::string Spin(int reads) {
  static const char kMarks[] = {'|', '/', '-', '\\'};
  std::string text;
  for (int i = 0; i < reads; ++i) text.append(1, kMarks[i % 4]).append("\b");
  return text;
}

}  // namespace zelbo::e2e
