// The file layer on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace zelbo::platform {
namespace {

Error SystemError(ErrorKind kind, std::string call, const std::string& path,
                  int error_number) {
  return Error{kind, path, std::move(call), std::strerror(error_number)};
}

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

int Fd(NativeHandle handle) { return static_cast<int>(handle); }

// Repeats a call that a signal interrupted.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// Opens `path` for writing without following a symbolic link at it. A link
// is removed first (so a new regular file takes its place), unless it leads
// to the protected file, which is refused like the file itself.
Result<int> OpenWithoutFollowing(const std::string& path,
                                 const FileIdentity* protect, mode_t mode) {
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0;; ++attempt) {
    const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), flags, mode); });
    if (fd >= 0) return fd;
    const int open_errno = errno;
    struct stat link_info {};
    const bool is_link = open_errno == ELOOP && attempt == 0 &&
                         ::lstat(path.c_str(), &link_info) == 0 &&
                         S_ISLNK(link_info.st_mode);
    if (!is_link) return SystemError(ErrorKind::kCreate, "open", path, open_errno);
    struct stat target {};
    if (protect && ::stat(path.c_str(), &target) == 0 &&
        IdentityOf(target) == *protect) {
      return Error{ErrorKind::kSameAsSource, path, "open",
                   "the output would replace the source file"};
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      return SystemError(ErrorKind::kCreate, "unlink", path, errno);
    }
  }
}

// Writes everything, resuming after partial writes and interruptions.
Status WriteAll(int fd, const std::byte* data, std::size_t size,
                const std::string& path) {
  while (size > 0) {
    const ssize_t written = RetryOnInterrupt([&] { return ::write(fd, data, size); });
    if (written < 0) return SystemError(ErrorKind::kWrite, "write", path, errno);
    if (written == 0) return SystemError(ErrorKind::kWrite, "write", path, ENOSPC);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

}  // namespace


// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  const int fd = RetryOnInterrupt(
      [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY); });
  if (fd < 0) return SystemError(ErrorKind::kOpen, "open", path, errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    return SystemError(ErrorKind::kOpen, "fstat", path, saved);
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return SystemError(ErrorKind::kOpen, "open", path, EISDIR);
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return InputFile(fd, path, IdentityOf(info));
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), identity_(other.identity_) {
  other.handle_ = -1;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    CloseHandle();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    identity_ = other.identity_;
    other.handle_ = -1;
  }
  return *this;
}

InputFile::~InputFile() { CloseHandle(); }

void InputFile::CloseHandle() {
  if (handle_ >= 0) ::close(Fd(handle_));
  handle_ = -1;
}

Result<std::int64_t> InputFile::Size() const {
  struct stat info {};
  if (::fstat(Fd(handle_), &info) != 0) {
    return SystemError(ErrorKind::kSize, "fstat", path_, errno);
  }
  if (S_ISREG(info.st_mode)) return static_cast<std::int64_t>(info.st_size);
  if (S_ISBLK(info.st_mode)) {
    // A block device reports its size only through its end position.
    const off_t end = ::lseek(Fd(handle_), 0, SEEK_END);
    if (end < 0 || ::lseek(Fd(handle_), 0, SEEK_SET) < 0) {
      return SystemError(ErrorKind::kSize, "lseek", path_, errno);
    }
    return static_cast<std::int64_t>(end);
  }
  return Error{ErrorKind::kSize, path_, "fstat", "not a regular file"};
}

Result<std::size_t> InputFile::Read(std::span<std::byte> buffer) {
  const ssize_t count = RetryOnInterrupt(
      [&] { return ::read(Fd(handle_), buffer.data(), buffer.size()); });
  if (count < 0) return SystemError(ErrorKind::kRead, "read", path_, errno);
  return static_cast<std::size_t>(count);
}

Status InputFile::Seek(std::int64_t offset) {
  if (::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    return SystemError(ErrorKind::kSeek, "lseek", path_, errno);
  }
  return {};
}

// ---- OutputFile ----

// Bytes read for an output but not yet written, held as page references in
// a pipe: the source's pages reach the part without passing through this
// process, and the part receives them in large blocks, which the kernel
// handles with far less work per byte than many small ones.
struct OutputFile::Staging {
  int read_end = -1;
  int write_end = -1;
  std::size_t staged = 0;
  std::size_t capacity = 0;
  bool usable = true;  // cleared when the kernel cannot splice these files

  ~Staging() {
    if (read_end >= 0) ::close(read_end);
    if (write_end >= 0) ::close(write_end);
  }

  bool Open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return usable = false;
    read_end = ends[0];
    write_end = ends[1];
    ::fcntl(write_end, F_SETPIPE_SZ, static_cast<int>(kMaxStaged));
    const int size = ::fcntl(write_end, F_GETPIPE_SZ);
    capacity = size > 0 ? static_cast<std::size_t>(size) : 65536;
    return true;
  }
};

namespace {

// Errors of splice that mean "not possible between these files".
bool SpliceUnsupported(int error_number) {
  return error_number == EINVAL || error_number == ENOSYS || error_number == EOPNOTSUPP ||
         error_number == EBADF;
}

}  // namespace

OutputFile::OutputFile(NativeHandle handle, std::string path)
    : handle_(handle), path_(std::move(path)), staging_(std::make_unique<Staging>()) {}

Result<OutputFile> OutputFile::Create(const std::string& path,
                                      const FileIdentity* protect, bool executable) {
  auto opened = OpenWithoutFollowing(path, protect, executable ? 0777 : 0666);
  if (!opened.ok()) return opened.error();
  const int fd = opened.value();
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    return SystemError(ErrorKind::kCreate, "fstat", path, saved);
  }
  // Checked on the open file, so no rename in between can slip the source in.
  if (protect && IdentityOf(info) == *protect) {
    ::close(fd);
    return Error{ErrorKind::kSameAsSource, path, "open",
                 "the output would replace the source file"};
  }
  if (S_ISREG(info.st_mode) && info.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    const int saved = errno;
    ::close(fd);
    return SystemError(ErrorKind::kCreate, "ftruncate", path, saved);
  }
  return OutputFile(fd, path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), staging_(std::move(other.staging_)) {
  other.handle_ = -1;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) {
      (void)WriteStaged();
      ::close(Fd(handle_));
    }
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    staging_ = std::move(other.staging_);
    other.handle_ = -1;
  }
  return *this;
}

OutputFile::~OutputFile() {
  if (handle_ < 0) return;
  (void)WriteStaged();
  ::close(Fd(handle_));
}

Status OutputFile::WriteStaged() {
  Staging& stage = *staging_;
  while (stage.staged > 0) {
    const ssize_t written = RetryOnInterrupt([&] {
      return ::splice(stage.read_end, nullptr, Fd(handle_), nullptr, stage.staged, SPLICE_F_MOVE);
    });
    if (written > 0) {
      stage.staged -= static_cast<std::size_t>(written);
      continue;
    }
    if (written == 0 || !SpliceUnsupported(errno)) {
      return SystemError(ErrorKind::kWrite, "write", path_, written == 0 ? ENOSPC : errno);
    }
    // The output takes no splices: copy what is staged through memory.
    std::array<std::byte, 65536> bytes;
    const ssize_t count = ::read(stage.read_end, bytes.data(), std::min(bytes.size(), stage.staged));
    if (count <= 0) return SystemError(ErrorKind::kWrite, "read", path_, count < 0 ? errno : EIO);
    stage.staged -= static_cast<std::size_t>(count);
    if (Status status = WriteAll(Fd(handle_), bytes.data(), static_cast<std::size_t>(count), path_);
        !status.ok()) {
      return status;
    }
  }
  return {};
}

Status OutputFile::Write(std::span<const std::byte> bytes) {
  if (Status staged = WriteStaged(); !staged.ok()) return staged;
  return WriteAll(Fd(handle_), bytes.data(), bytes.size(), path_);
}

Status OutputFile::Write(std::string_view text) {
  return Write(std::as_bytes(std::span(text.data(), text.size())));
}

Status OutputFile::Close() {
  Status status = WriteStaged();
  const int fd = Fd(handle_);
  handle_ = -1;
  // close() may report the failure of a delayed write (NFS, quotas). An
  // interrupted close has still released the descriptor: never retry it.
  if (::close(fd) != 0 && errno != EINTR && status.ok()) {
    status = SystemError(ErrorKind::kClose, "close", path_, errno);
  }
  return status;
}

// ---- Moving bytes ----

namespace {

// One read of the unit through memory, written at once.
Result<std::size_t> CopyThroughMemory(InputFile& in, OutputFile& out, std::span<std::byte> buffer) {
  auto read = in.Read(buffer);
  if (!read.ok() || read.value() == 0) return read;
  if (Status written = out.Write(buffer.first(read.value())); !written.ok()) return written.error();
  return read.value();
}

}  // namespace

// Moves one unit into the pipe. The pipe counts pages, not bytes, so a unit
// that starts inside a page may find it full before kMaxStaged bytes are
// staged: the pipe is then written out and the rest follows, so that the
// caller still sees one read of the whole unit.
Result<std::size_t> TransferChunk(InputFile& in, OutputFile& out, std::span<std::byte> buffer) {
  OutputFile::Staging& stage = *out.staging_;
  if (stage.usable && stage.read_end < 0) stage.Open();
  if (!stage.usable) return CopyThroughMemory(in, out, buffer);
  std::size_t moved = 0;
  while (moved < buffer.size()) {
    if (stage.staged >= stage.capacity) {
      if (Status written = out.WriteStaged(); !written.ok()) return written.error();
    }
    const std::size_t want = std::min(buffer.size() - moved, stage.capacity - stage.staged);
    const ssize_t count = RetryOnInterrupt([&] {
      return ::splice(Fd(in.handle_), nullptr, stage.write_end, nullptr, want,
                      SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    });
    if (count > 0) {
      stage.staged += static_cast<std::size_t>(count);
      moved += static_cast<std::size_t>(count);
    } else if (count == 0) {
      break;  // the end of the input
    } else if (errno == EAGAIN && stage.staged > 0) {
      if (Status written = out.WriteStaged(); !written.ok()) return written.error();
    } else if (SpliceUnsupported(errno) || errno == EAGAIN) {
      stage.usable = false;
      if (moved > 0) break;  // what was staged goes first; the rest by memory
      return CopyThroughMemory(in, out, buffer);
    } else {
      return SystemError(ErrorKind::kRead, "read", in.path(), errno);
    }
  }
  return moved;
}

bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace zelbo::platform
