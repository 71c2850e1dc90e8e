// Times one command for the benchmarks: its wall time and its user and
// system CPU seconds to the tenth of a millisecond (GNU time rounds them to
// hundredths of a second, a tenth of what tells a floppy split from one
// copy), and its peak memory in KiB, written to OUT as "wall user system kib".
// Its exit status is the command's.
//
//   zelbo_timed OUT COMMAND...
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

double Seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: zelbo_timed OUT COMMAND...\n", stderr);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) {
    std::perror("zelbo_timed");
    return 2;
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  std::FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr ||
      std::fprintf(out, "%.4f %.4f %.4f %ld\n", wall.count(), Seconds(usage.ru_utime),
                   Seconds(usage.ru_stime), usage.ru_maxrss) < 0 ||
      std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
