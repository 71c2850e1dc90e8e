// The process state that the programs set up before anything else.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/system.h"

namespace zelbo::platform {
namespace {

bool IsDevNull(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == makedev(1, 3);
}

// Started with standard input and output closed, the first files the
// program opens would otherwise become them, and what it prints would land
// in a part.
TEST(PrepareProcess, GivesClosedStandardDescriptorsToDevNullAndIgnoresSizeSignals) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    ::signal(SIGXFSZ, SIG_DFL);
    PrepareProcess();
    struct sigaction action {};
    ::sigaction(SIGXFSZ, nullptr, &action);
    const bool ok = IsDevNull(STDIN_FILENO) && IsDevNull(STDOUT_FILENO) &&
                    action.sa_handler == SIG_IGN;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace zelbo::platform
