// Platform conventions on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/system.h"

namespace zelbo::platform {

void PrepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor: this one.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
}

const PathStyle& NativePathStyle() { return kPosixPaths; }

bool SlashIntroducesOptions() { return false; }

void WriteStdout(std::string_view text) {
  // A reader that goes away (czelbo32 ... | head) must not kill a split
  // halfway through a part; its writes just fail from then on (SIGPIPE is
  // ignored by PrepareProcess).
  // Unbuffered on purpose: the progress mark must be seen as it turns. A
  // closed or full standard output is not a reason to stop a split.
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

std::string BatchFileBytes(std::string text) { return text; }

bool BatchCanHold(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool ReservesDeviceNames() { return false; }

}  // namespace zelbo::platform
