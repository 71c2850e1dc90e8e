// Shared pieces of the console program's end-to-end tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace zelbo::e2e {

namespace fs = std::filesystem;

inline const std::string kProgram = CZELBO32_PATH;

// A temporary folder in which the program runs.
class ConsoleRun : public ::testing::Test {
 protected:
  testing::ProgramRun Split(const std::vector<std::string>& arguments,
                            std::int64_t file_size_limit = -1) {
    testing::RunOptions options;
    options.working_directory = dir_.path();
    options.file_size_limit = file_size_limit;
    return testing::RunProgram(kProgram, arguments, options);
  }

  void Make(const std::string& name, const std::string& bytes) {
    testing::WriteFile(dir_ / name, bytes);
  }

  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempDir dir_;
};

// The progress mark as printed for `reads` reads of one part.
inline std::string Spin(int reads) {
  static const char kMarks[] = {'|', '/', '-', '\\'};
  std::string text;
  for (int i = 0; i < reads; ++i) text.append(1, kMarks[i % 4]).append("\b");
  return text;
}

}  // namespace zelbo::e2e
