#include "tests/support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace zelbo::testing {
namespace {

[[noreturn]] void ExecChild(const std::vector<char*>& argv, const RunOptions& options,
                            int output_fd) {
  if (::chdir(options.working_directory.c_str()) != 0) ::_exit(126);
  if (options.closed_input_and_output) {
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
  } else {
    ::dup2(output_fd, STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, STDIN_FILENO);
  }
  ::signal(SIGXFSZ, options.size_limit_kills ? SIG_DFL : SIG_IGN);
  if (options.file_size_limit >= 0) {
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

std::vector<char*> ExecArguments(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  return argv;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const RunOptions& options) {
  std::vector<std::string> words = options.command_prefix;
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  const std::vector<char*> argv = ExecArguments(words);
  // Close-on-exec: the program keeps the pipe as its output only (and, with
  // its output closed, not at all), so that a server it leaves running
  // (wine's) with its output elsewhere does not keep the run from ending.
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) ExecChild(argv, options, pipe_fds[1]);
  ::close(pipe_fds[1]);
  ProgramRun run;
  char chunk[65536];
  for (;;) {
    const ssize_t count = ::read(pipe_fds[0], chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    run.output.append(chunk, static_cast<std::size_t>(count));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

}  // namespace zelbo::testing
