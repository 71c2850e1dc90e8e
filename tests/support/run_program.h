// Runs a program as a user would from a shell, for end-to-end tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zelbo::testing {

struct ProgramRun {
  int exit_code = -1;  // -1 when the program did not exit normally
  std::string output;  // everything written to standard output
};

struct RunOptions {
  std::filesystem::path working_directory = ".";
  // A file-size limit for the child (RLIMIT_FSIZE), with SIGXFSZ ignored so
  // that an oversized write fails with an error instead of a signal.
  std::int64_t file_size_limit = -1;
};

// Runs `program` with `arguments`, standard input closed, standard error
// passed through; returns its exit code and standard output.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reproducible bytes that differ at every offset of a part.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 1);

}  // namespace zelbo::testing
