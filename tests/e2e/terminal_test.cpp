// What a terminal receives: the run's output read back through a pty is
// byte for byte what a file receives.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {
namespace {

struct TerminalRun {
  int exit_code = -1;
  std::string output;
};

// Runs the program with its standard output on a pty in raw mode (no line
// end translation), as a terminal would show it.
TerminalRun RunOnTerminal(const std::vector<std::string>& arguments, const fs::path& folder) {
  int master = -1, slave = -1;
  EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave, TCSANOW, &raw);
  std::vector<std::string> words{kProgram};
  words.insert(words.end(), arguments.begin(), arguments.end());
  const std::vector<char*> argv = testing::ExecArguments(words);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    ::dup2(slave, STDOUT_FILENO);
    ::close(master);
    ::close(slave);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(slave);
  TerminalRun run;
  char chunk[4096];
  for (;;) {
    const ssize_t count = ::read(master, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;  // EIO once the program has closed the terminal
    run.output.append(chunk, static_cast<std::size_t>(count));
  }
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

TEST(Terminal, ReceivesTheSameBytesAsAFile) {
  testing::TempDir dir;
  testing::WriteFile(dir / "big.iso", testing::PatternBytes(3000000));
  testing::RunOptions options;
  options.working_directory = dir.path();
  const auto to_pipe = testing::RunProgram(kProgram, {"big.iso", "-sf"}, options);
  const TerminalRun on_terminal = RunOnTerminal({"big.iso", "-sf"}, dir.path());
  EXPECT_EQ(on_terminal.exit_code, 0);
  EXPECT_EQ(on_terminal.output, to_pipe.output);
  EXPECT_NE(on_terminal.output.find(Spin(44) + "big.003\n" + Spin(6) + "\nFinished"), std::string::npos);
}

}  // namespace
}  // namespace zelbo::e2e
