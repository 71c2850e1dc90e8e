// The least a splitter can do on Linux, as a yardstick for the copy path:
// for each part, create the file, one copy_file_range of the part's bytes,
// close. No names checked, no scripts, no progress, no clean-up. What
// czelbo32 -nd -nf takes beyond this is its own cost; what this takes
// beyond one `cp` of the whole file is the file system's cost of the files.
//
//   zelbo_least_split SOURCE PART-BYTES PREFIX     (makes PREFIX.001, ...)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Failed(const std::string& what) {
  std::perror(what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int source = open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (source < 0 || fstat(source, &status) != 0) return Failed(argv[1]);
  const off_t part_bytes = std::strtoll(argv[2], nullptr, 10);
  off_t done = 0;
  for (int number = 1; done < status.st_size; ++number) {
    std::string digits = std::to_string(number);
    digits.insert(0, 3 - std::min<std::size_t>(3, digits.size()), '0');
    const std::string name = std::string(argv[3]) + "." + digits;
    const int part = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (part < 0) return Failed(name);
    for (off_t left = std::min(part_bytes, status.st_size - done); left > 0;) {
      const ssize_t copied = copy_file_range(source, &done, part, nullptr, left, 0);
      if (copied <= 0) return Failed(name);
      left -= copied;
    }
    if (close(part) != 0) return Failed(name);
  }
  return 0;
}
