// Runs a program as a user would from a shell, for end-to-end tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace zelbo::testing {

struct ProgramRun {
  int exit_code = -1;  // -1 when the program did not exit normally
  std::string output;  // everything written to standard output
};

struct RunOptions {
  std::filesystem::path working_directory = ".";
  // A file-size limit for the child (RLIMIT_FSIZE). With `size_limit_kills`
  // SIGXFSZ is at its default, as after `ulimit -f` in a shell, and kills a
  // program that does not ignore it itself; else the child starts with it
  // ignored, so that an oversized write just fails (a full medium).
  std::int64_t file_size_limit = -1;
  bool size_limit_kills = false;
  // Standard input and output closed, as `prog <&- >&-` starts it; nothing
  // is captured then.
  bool closed_input_and_output = false;
  // Words put before the program, such as {"wine"} to run a Windows
  // program; the first is looked up in PATH.
  std::vector<std::string> command_prefix;
};

// Runs `program` with `arguments`, standard input closed, standard error
// passed through; returns its exit code and standard output.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options = {});

// The array `execv` takes, pointing into `words`. Build it before `fork`:
// a child of a process with threads must not allocate, for the sanitizers'
// allocator may be held by a thread that does not exist in the child, and
// the child then hangs (seen here: 2 forks in 3,000).
std::vector<char*> ExecArguments(const std::vector<std::string>& words);

}  // namespace zelbo::testing
