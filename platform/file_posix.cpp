// The file layer on POSIX systems.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
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

Error SameAsSource(const std::string& path) {
  return Error{ErrorKind::kSameAsSource, path, "open", "the output would replace the source file"};
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

// The identity of the file that `path` leads to, links followed.
bool IsProtected(const std::string& path, const FileIdentity* protect) {
  struct stat target {};
  return protect != nullptr && ::stat(path.c_str(), &target) == 0 &&
         IdentityOf(target) == *protect;
}

// Makes way for a new file at `path`: an old regular file or symbolic link
// is removed (its other names keep their bytes), unless it is the
// protected file; a name of any other kind is refused, never opened.
Status ClearOutputName(const std::string& path, const FileIdentity* protect) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return {};
    return SystemError(ErrorKind::kCreate, "lstat", path, errno);
  }
  if (S_ISDIR(info.st_mode)) return SystemError(ErrorKind::kCreate, "open", path, EISDIR);
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    return Error{ErrorKind::kCreate, path, "open", "not a regular file"};
  }
  if (IsProtected(path, protect)) return SameAsSource(path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return SystemError(ErrorKind::kCreate, "unlink", path, errno);
  }
  return {};
}

// Writes everything, resuming after partial writes and interruptions.
Status WriteAll(int fd, const std::byte* data, std::size_t size, const std::string& path) {
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

Status CloseNativeHandle(NativeHandle handle, const std::string& path) {
  // close() may report the failure of a delayed write (NFS, quotas). An
  // interrupted close has still released the descriptor: never retry it.
  if (::close(Fd(handle)) != 0 && errno != EINTR) {
    return SystemError(ErrorKind::kClose, "close", path, errno);
  }
  return {};
}

// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  // Non-blocking, so that a FIFO's open does not wait for a writer; the
  // flag is cleared again for the reads of a file that passed.
  const int fd = RetryOnInterrupt(
      [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
  if (fd < 0) return SystemError(ErrorKind::kOpen, "open", path, errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int saved = errno;
    ::close(fd);
    return SystemError(ErrorKind::kOpen, "fstat", path, saved);
  }
  if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
    ::close(fd);
    if (S_ISDIR(info.st_mode)) return SystemError(ErrorKind::kOpen, "open", path, EISDIR);
    return Error{ErrorKind::kOpen, path, "open", "not a regular file"};
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::int64_t block_size = info.st_blksize > 0 ? info.st_blksize : 4096;
  return InputFile(fd, path, IdentityOf(info), static_cast<std::uint32_t>(info.st_mode & 0777),
                   block_size);
}

Result<std::int64_t> InputFile::Size() const {
  struct stat info {};
  if (::fstat(Fd(handle_), &info) != 0) {
    return SystemError(ErrorKind::kSize, "fstat", path_, errno);
  }
  if (S_ISREG(info.st_mode)) return static_cast<std::int64_t>(info.st_size);
  // A block device reports its size only through its end position.
  const off_t position = ::lseek(Fd(handle_), 0, SEEK_CUR);
  const off_t end = ::lseek(Fd(handle_), 0, SEEK_END);
  if (position < 0 || end < 0 || ::lseek(Fd(handle_), position, SEEK_SET) < 0) {
    return SystemError(ErrorKind::kSize, "lseek", path_, errno);
  }
  return static_cast<std::int64_t>(end);
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

  ~Staging() { ClosePipe(); }

  void ClosePipe() {
    if (read_end >= 0) ::close(read_end);
    if (write_end >= 0) ::close(write_end);
    read_end = write_end = -1;
    staged = 0;
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

void OutputFile::StagingDeleter::operator()(Staging* staging) const { delete staging; }

namespace {

// Errors of splice that mean "not possible between these files".
bool SpliceUnsupported(int error_number) {
  return error_number == EINVAL || error_number == ENOSYS || error_number == EOPNOTSUPP ||
         error_number == EBADF;
}

}  // namespace

OutputFile::OutputFile(NativeHandle handle, std::string path, FileIdentity identity)
    : handle_(handle), path_(std::move(path)), identity_(identity), staging_(new Staging) {}

Result<OutputFile> OutputFile::Create(const std::string& path, const FileIdentity* protect,
                                      std::uint32_t permissions) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
  // Another process may put a file at the name between clearing and
  // creating it; then the name is cleared again.
  for (int attempt = 0;; ++attempt) {
    if (Status cleared = ClearOutputName(path, protect); !cleared.ok()) return cleared.error();
    const int fd = RetryOnInterrupt(
        [&] { return ::open(path.c_str(), kFlags, static_cast<mode_t>(permissions & 0777)); });
    if (fd < 0) {
      if (errno == EEXIST && attempt < 3) continue;
      return SystemError(ErrorKind::kCreate, "open", path, errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
      const int saved = errno;
      ::close(fd);
      return SystemError(ErrorKind::kCreate, "fstat", path, saved);
    }
    return OutputFile(fd, path, IdentityOf(info));
  }
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

void OutputFile::DropStaged() { staging_->ClosePipe(); }

Status OutputFile::Write(std::span<const std::byte> bytes) {
  if (Status staged = WriteStaged(); !staged.ok()) return staged;
  return WriteAll(Fd(handle_), bytes.data(), bytes.size(), path_);
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

namespace {

// Errors of FICLONERANGE that mean "not here": another file system, no
// reflink support, a range the file system cannot share.
bool CloneUnsupported(int error_number) {
  return error_number == EINVAL || error_number == EOPNOTSUPP || error_number == EXDEV ||
         error_number == ENOTTY || error_number == ENOSYS || error_number == EPERM ||
         error_number == ETXTBSY || error_number == EBADF || error_number == EISDIR;
}

}  // namespace

Result<std::int64_t> CloneRange(InputFile& in, OutputFile& out, std::int64_t count) {
  if (Status written = out.WriteStaged(); !written.ok()) return written.error();
  const off_t from = ::lseek(Fd(in.handle_), 0, SEEK_CUR);
  const off_t to = ::lseek(Fd(out.handle_), 0, SEEK_CUR);
  struct stat info {};
  if (from < 0 || to < 0 || ::fstat(Fd(in.handle_), &info) != 0) {
    return SystemError(ErrorKind::kUnsupported, "lseek", in.path(), errno);
  }
  const std::int64_t available = std::max<std::int64_t>(0, info.st_size - from);
  const std::int64_t length = std::min(count, available);
  if (length == 0) return std::int64_t{0};
  file_clone_range range{};
  range.src_fd = Fd(in.handle_);
  range.src_offset = static_cast<std::uint64_t>(from);
  range.src_length = static_cast<std::uint64_t>(length);
  range.dest_offset = static_cast<std::uint64_t>(to);
  if (::ioctl(Fd(out.handle_), FICLONERANGE, &range) != 0) {
    const int error_number = errno;
    const ErrorKind kind = CloneUnsupported(error_number) ? ErrorKind::kUnsupported
                                                          : ErrorKind::kWrite;
    return SystemError(kind, "ioctl(FICLONERANGE)", out.path(), error_number);
  }
  if (::lseek(Fd(in.handle_), from + length, SEEK_SET) < 0) {
    return SystemError(ErrorKind::kRead, "lseek", in.path(), errno);
  }
  if (::lseek(Fd(out.handle_), to + length, SEEK_SET) < 0) {
    return SystemError(ErrorKind::kWrite, "lseek", out.path(), errno);
  }
  return length;
}

bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

void RemoveIfSame(const std::string& path, const FileIdentity& identity) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && IdentityOf(info) == identity) {
    ::unlink(path.c_str());
  }
}

void RemoveStale(const std::string& path, const FileIdentity& protect) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return;
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return;
  if (IsProtected(path, &protect)) return;
  ::unlink(path.c_str());
}

}  // namespace zelbo::platform
