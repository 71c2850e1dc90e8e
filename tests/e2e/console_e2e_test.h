// Shared pieces of the console program's end-to-end tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace zelbo::e2e {

namespace fs = std::filesystem;

inline const std::string kProgram = CZELBO32_PATH;

// The usage text after its banner line; `options_line` is the platform's
// line on how options are introduced.
inline std::string UsageBody(std::string_view options_line) {
  return "This version supports files up to 8 million terrabytes large\n"
         "Usage:\n"
         "\tCZELBO32  filename {-sSizebytes|-skSizekb|-smSizemb|-spSizeparts|-sf|-sz|-sc|-sd}\n"
         "\tWhere:\n"
         "\t\t-s to specify the size in sizebytes bytes\n"
         "\t\t-sk to specify the size in sizekb kilobytes\n"
         "\t\t-sm to specify the size in sizemb megabytes\n"
         "\t\t-sf to specify the size of a 1.44 floppy\n"
         "\t\t-sz to specify the size of a 100MB Iomega Zip\n"
         "\t\t-sc to specify the size of a 700MB CD\n"
         "\t\t-sd to specify the size of a 4700MB DVD\n"
         "\t\t-sp is to split in equal sizeparts\n" +
         std::string(options_line) +
         "\n"
         "Possible return codes\n"
         "\tSuccess              0\n"
         "\tParameter error      1\n"
         "\tImpossible partsize  2\n"
         "\tFile error           3\n"
         "\tOpen file error      4\n"
         "\tError on batch file  5\n";
}

// The usage as printed: an optional error line, a one-line banner naming
// the program, then the body.
inline void ExpectUsageText(const std::string& printed, const std::string& error_line,
                            std::string_view options_line) {
  ASSERT_EQ(printed.substr(0, error_line.size()), error_line);
  const std::string usage = printed.substr(error_line.size());
  EXPECT_TRUE(usage.starts_with("CZELBO32 ")) << usage;
  EXPECT_EQ(usage.substr(usage.find('\n') + 1), UsageBody(options_line));
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
