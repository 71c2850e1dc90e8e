// The file layer on POSIX systems (Linux). Every system call that touches a
// file goes through one of the Sys* wrappers below, which first ask the
// table of fault points.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace zelbo::platform {
namespace {

// ---- The system calls, each behind its fault point ----

int Errno(FailureCode code) {
  switch (code) {
    case FailureCode::kNoSpace: return ENOSPC;
    case FailureCode::kTooLarge: return EFBIG;
    case FailureCode::kIo: return EIO;
    case FailureCode::kAccess: return EACCES;
    case FailureCode::kRefused: return EXDEV;
    case FailureCode::kRefusedAsInvalid: return EINVAL;
    case FailureCode::kRefusedAsUnsupported: return EOPNOTSUPP;
  }
  return EIO;
}

// Asks the fault table; false (with errno set) when the call must fail.
bool Allowed(SystemCall call, const std::string& path, std::int64_t offset,
             std::size_t& bytes) {
  const FaultVerdict verdict =
      ConsultFaults(call, path, offset, static_cast<std::int64_t>(bytes));
  if (verdict.failure) {
    errno = Errno(*verdict.failure);
    return false;
  }
  bytes = static_cast<std::size_t>(verdict.bytes);
  return true;
}

bool Allowed(SystemCall call, const std::string& path) {
  std::size_t none = 0;
  return Allowed(call, path, 0, none);
}

// Repeats a call that a signal interrupted.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

int SysOpen(SystemCall call, const std::string& path, int flags, mode_t mode = 0) {
  if (!Allowed(call, path)) return -1;
  return RetryOnInterrupt([&] { return ::open(path.c_str(), flags, mode); });
}

ssize_t SysRead(int fd, void* data, std::size_t size, const std::string& path,
                std::int64_t offset) {
  if (!Allowed(SystemCall::kRead, path, offset, size)) return -1;
  return RetryOnInterrupt([&] { return ::read(fd, data, size); });
}

ssize_t SysWrite(int fd, const void* data, std::size_t size, const std::string& path,
                 std::int64_t offset) {
  if (!Allowed(SystemCall::kWrite, path, offset, size)) return -1;
  if (size == 0) {
    errno = ENOSPC;  // the fault let nothing through: a full medium
    return -1;
  }
  return RetryOnInterrupt([&] { return ::write(fd, data, size); });
}

int SysClose(int fd, const std::string& path) {
  const bool allowed = Allowed(SystemCall::kClose, path);
  const int injected = errno;
  int closed = ::close(fd);
  if (!allowed) {  // an injected failure takes the same way as a real one
    closed = -1;
    errno = injected;
  }
  // close() may report the failure of a delayed write (NFS, quotas). An
  // interrupted close has still released the descriptor: never retry it.
  return closed != 0 && errno == EINTR ? 0 : closed;
}

int SysUnlink(const std::string& path) {
  if (!Allowed(SystemCall::kUnlink, path)) return -1;
  return ::unlink(path.c_str());
}

Error SystemError(ErrorKind kind, std::string call, const std::string& path,
                  int error_number) {
  return Error{kind, path, std::move(call), std::strerror(error_number)};
}

// A failure to write: past the largest file allowed, or anything else.
Error WriteError(std::string call, const std::string& path, int error_number) {
  return SystemError(error_number == EFBIG ? ErrorKind::kTooLarge : ErrorKind::kWrite,
                     std::move(call), path, error_number);
}

Error SameAsSource(const std::string& path) {
  return Error{ErrorKind::kSameAsSource, path, "open", "the output would replace the source file"};
}

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

int Fd(NativeHandle handle) { return static_cast<int>(handle); }

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
  if (SysUnlink(path) != 0 && errno != ENOENT) {
    return SystemError(ErrorKind::kCreate, "unlink", path, errno);
  }
  return {};
}

}  // namespace

// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  // Non-blocking, so that a FIFO's open does not wait for a writer; the
  // flag is cleared again for the reads of a file that passed.
  const int fd =
      SysOpen(SystemCall::kOpen, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
  return InputFile(fd, path, IdentityOf(info), static_cast<std::uint32_t>(info.st_mode & 0777));
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) ::close(Fd(handle_));
}

Result<std::int64_t> InputFile::Size() const {
  struct stat info {};
  if (::fstat(Fd(handle_), &info) != 0) {
    return SystemError(ErrorKind::kSize, "fstat", path_, errno);
  }
  if (S_ISREG(info.st_mode)) return static_cast<std::int64_t>(info.st_size);
  // A block device reports its size only through its end position.
  const off_t end = ::lseek(Fd(handle_), 0, SEEK_END);
  if (end < 0 || ::lseek(Fd(handle_), position_, SEEK_SET) < 0) {
    return SystemError(ErrorKind::kSize, "lseek", path_, errno);
  }
  return static_cast<std::int64_t>(end);
}

Result<FileVersion> InputFile::Version() const {
  struct stat info {};
  if (::fstat(Fd(handle_), &info) != 0) {
    return SystemError(ErrorKind::kSize, "fstat", path_, errno);
  }
  // A block device's size needs Size()'s seek; a file's is at hand.
  auto size = S_ISREG(info.st_mode) ? Result<std::int64_t>(info.st_size) : Size();
  if (!size.ok()) return size.error();
  constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
  return FileVersion{size.value(), static_cast<std::int64_t>(info.st_mtim.tv_sec) *
                                           kNanosecondsPerSecond +
                                       info.st_mtim.tv_nsec};
}

Result<std::size_t> InputFile::Read(std::span<std::byte> buffer) {
  const ssize_t count = SysRead(Fd(handle_), buffer.data(), buffer.size(), path_, position_);
  if (count < 0) return SystemError(ErrorKind::kRead, "read", path_, errno);
  position_ += count;
  return static_cast<std::size_t>(count);
}

Result<std::size_t> InputFile::ReadAt(std::int64_t offset, std::span<std::byte> buffer) {
  std::size_t size = buffer.size();
  if (!Allowed(SystemCall::kRead, path_, offset, size)) {
    return SystemError(ErrorKind::kRead, "pread", path_, errno);
  }
  const ssize_t count = RetryOnInterrupt(
      [&] { return ::pread(Fd(handle_), buffer.data(), size, static_cast<off_t>(offset)); });
  if (count < 0) return SystemError(ErrorKind::kRead, "pread", path_, errno);
  return static_cast<std::size_t>(count);
}

Status InputFile::Seek(std::int64_t offset) {
  if (!Allowed(SystemCall::kSeek, path_) ||
      ::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    return SystemError(ErrorKind::kSeek, "lseek", path_, errno);
  }
  position_ = offset;
  return {};
}

// ---- OutputFile ----

Result<OutputFile> OutputFile::Create(const std::string& path, const FileIdentity* protect,
                                      std::uint32_t permissions) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
  // The exclusive create opens nothing that exists; the name is cleared only
  // when something is there (a look-up of every missing name cost a split
  // into floppy parts 3% of its time). Another process may put a file at the
  // name between clearing and creating it; then the name is cleared again.
  for (int attempt = 0;; ++attempt) {
    const int fd =
        SysOpen(SystemCall::kCreate, path, kFlags, static_cast<mode_t>(permissions & 0777));
    if (fd < 0) {
      if (errno != EEXIST || attempt > 3) {
        return SystemError(ErrorKind::kCreate, "open", path, errno);
      }
      if (Status cleared = ClearOutputName(path, protect); !cleared.ok()) return cleared.error();
      continue;
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

Status OutputFile::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = SysWrite(Fd(handle_), bytes.data(), bytes.size(), path_, position_);
    if (written < 0) return WriteError("write", path_, errno);
    position_ += written;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

Status OutputFile::WriteBehind() {
  const int fd = Fd(handle_);
  if (waiting_from_ < written_behind_) {
    constexpr unsigned kWait = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                               SYNC_FILE_RANGE_WAIT_AFTER;
    if (!Allowed(SystemCall::kFlush, path_) ||
        (::sync_file_range(fd, waiting_from_, written_behind_ - waiting_from_, kWait) != 0 &&
         errno != EINVAL && errno != ESPIPE && errno != ENOSYS)) {
      return WriteError("sync_file_range", path_, errno);
    }
    waiting_from_ = written_behind_;
  }
  if (written_behind_ < position_) {
    // Only a start: a failure shows at the wait, or at the flush.
    ::sync_file_range(fd, written_behind_, position_ - written_behind_, SYNC_FILE_RANGE_WRITE);
    written_behind_ = position_;
  }
  return {};
}

Status OutputFile::Flush() {
  if (!Allowed(SystemCall::kFlush, path_) || ::fdatasync(Fd(handle_)) != 0) {
    return WriteError("fdatasync", path_, errno);
  }
  return {};
}

Status OutputFile::Close() {
  if (handle_ == kNoHandle) return {};  // already closed (a failed close counts too)
  const int fd = Fd(std::exchange(handle_, kNoHandle));
  if (SysClose(fd, path_) != 0) return SystemError(ErrorKind::kClose, "close", path_, errno);
  return {};
}

// ---- Moving bytes ----

namespace {

// The ways of copying, best first: the kernel copies between the files
// (and shares blocks where the file system can), the kernel moves the pages
// through its own pipe, the bytes pass through this process.
enum CopyMethod { kCopyFileRange, kSendFile, kThroughMemory };

constexpr std::size_t kMemoryBlock = std::size_t{1} << 20;

// Errors that mean "not between these files", not "failed".
bool Refused(int error_number) {
  return error_number == EXDEV || error_number == EINVAL || error_number == ENOSYS ||
         error_number == EOPNOTSUPP || error_number == EBADF || error_number == ETXTBSY;
}

// Errors that belong to the output whatever the copy was doing.
bool OutputFull(int error_number) {
  return error_number == ENOSPC || error_number == EFBIG || error_number == EDQUOT;
}

// Writes bytes that the fault points have let through already, resuming
// after partial writes.
Status WriteAll(int fd, std::span<const std::byte> bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written =
        RetryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written <= 0) return WriteError("write", path, written < 0 ? errno : ENOSPC);
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace

Result<std::int64_t> CopyRange(InputFile& in, OutputFile& out, std::int64_t count) {
  auto size = static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
  // The fault points of both files, and of the copy itself.
  if (!Allowed(SystemCall::kRead, in.path(), in.position_, size)) {
    return SystemError(ErrorKind::kRead, "read", in.path(), errno);
  }
  if (!Allowed(SystemCall::kWrite, out.path(), out.position_, size) ||
      (size == 0 && count > 0)) {
    return WriteError("write", out.path(), size == 0 ? ENOSPC : errno);
  }
  if (size == 0) return std::int64_t{0};
  const int from = Fd(in.handle_);
  const int to = Fd(out.handle_);
  ssize_t moved = -1;
  while (moved < 0 && in.copy_method_ < kThroughMemory) {
    std::size_t allowed = size;
    if (Allowed(SystemCall::kCopy, out.path(), out.position_, allowed)) {
      moved = RetryOnInterrupt([&] {
        return in.copy_method_ == kCopyFileRange
                   ? ::copy_file_range(from, nullptr, to, nullptr, allowed, 0)
                   : ::sendfile(to, from, nullptr, allowed);
      });
    }
    if (moved >= 0 || !Refused(errno)) break;
    ++in.copy_method_;  // this kernel or these files refuse it: the next way, for good
  }
  if (in.copy_method_ == kThroughMemory) {
    if (in.buffer_.empty()) in.buffer_.resize(kMemoryBlock);
    moved = RetryOnInterrupt(
        [&] { return ::read(from, in.buffer_.data(), std::min(size, in.buffer_.size())); });
    if (moved < 0) return SystemError(ErrorKind::kRead, "read", in.path(), errno);
    in.position_ += moved;
    const auto bytes = std::span(in.buffer_).first(static_cast<std::size_t>(moved));
    if (Status written = WriteAll(to, bytes, out.path()); !written.ok()) return written.error();
    out.position_ += moved;
    return static_cast<std::int64_t>(moved);
  }
  if (moved < 0) {
    const int error_number = errno;
    // An I/O error may be either file's: the source tells whether it reads.
    std::byte probe;
    const bool output_side =
        OutputFull(error_number) || ::pread(from, &probe, 1, in.position_) >= 0;
    return output_side ? WriteError("write", out.path(), error_number)
                       : SystemError(ErrorKind::kRead, "read", in.path(), error_number);
  }
  in.position_ += moved;
  out.position_ += moved;
  return static_cast<std::int64_t>(moved);
}

std::string FailureText(FailureCode code) { return std::strerror(Errno(code)); }

// ---- The folder's file system ----

namespace {

constexpr std::int64_t kFatLargestFile = (std::int64_t{1} << 32) - 1;
constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: FAT12, FAT16 and FAT32

// The file system below the one that holds `folder`: the device of the
// first folder above it on another one (its mount point's parent).
std::uint64_t DeviceBelow(const std::string& folder, const struct stat& info) {
  std::string path = folder;
  struct stat child = info;
  for (int depth = 0; depth < 256; ++depth) {
    path += "/..";
    struct stat parent {};
    if (::stat(path.c_str(), &parent) != 0) break;
    if (parent.st_dev != info.st_dev) return parent.st_dev;
    if (parent.st_ino == child.st_ino) break;  // the root
    child = parent;
  }
  return info.st_dev;
}

// What limits the size of a file in `folder`: its file system, then this
// process. glibc answers 32 bits for file systems it does not know, so only
// a FAT type and a wider answer are taken at their word.
void FindLargestFile(const std::string& folder, FolderVolume& volume) {
  struct statfs system {};
  if (::statfs(folder.c_str(), &system) == 0 && system.f_type == kFatMagic) {
    volume.largestFile = kFatLargestFile;
    volume.limit = "the FAT file system";
  } else if (const long bits = ::pathconf(folder.c_str(), _PC_FILESIZEBITS);
             bits > 32 && bits < 64) {
    volume.largestFile = (std::int64_t{1} << (bits - 1)) - 1;
    volume.limit = "the file system of the folder";
  }
  rlimit process{};
  if (::getrlimit(RLIMIT_FSIZE, &process) == 0 && process.rlim_cur != RLIM_INFINITY &&
      static_cast<std::uint64_t>(process.rlim_cur) <
          static_cast<std::uint64_t>(volume.largestFile)) {
    volume.largestFile = static_cast<std::int64_t>(process.rlim_cur);
    volume.limit = "the file-size limit of this process (ulimit -f)";
  }
}

}  // namespace

Result<FolderVolume> VolumeOf(const std::string& folder, const FolderVolume* known) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  const FaultVerdict verdict = ConsultFaults(SystemCall::kVolume, path, 0, 0);
  struct stat info {};
  if (verdict.failure || ::stat(path.c_str(), &info) != 0) {
    return SystemError(ErrorKind::kOpen, "stat", folder,
                       verdict.failure ? Errno(*verdict.failure) : errno);
  }
  if (!S_ISDIR(info.st_mode)) return SystemError(ErrorKind::kOpen, "stat", folder, ENOTDIR);
  if (known != nullptr && known->device == static_cast<std::uint64_t>(info.st_dev) &&
      verdict.volume_holds < 0) {
    return *known;
  }
  FolderVolume volume;
  volume.device = static_cast<std::uint64_t>(info.st_dev);
  volume.below = DeviceBelow(path, info);
  FindLargestFile(path, volume);
  if (verdict.volume_holds >= 0) {
    volume.largestFile = verdict.volume_holds;
    volume.limit = "the FAT file system";
  }
  return volume;
}

Status FlushFolder(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  const int fd = SysOpen(SystemCall::kFlush, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return WriteError("open", folder, errno);
  // syncfs() writes every file of the medium and reports a failed delayed
  // write of any of them; one journal commit instead of one per file.
  const bool flushed = ::syncfs(fd) == 0;
  const int saved = errno;
  ::close(fd);
  if (!flushed) return WriteError("syncfs", folder, saved);
  return {};
}

bool FolderFlushHoldsFiles() { return true; }

bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

bool IsFile(const std::string& path, const FileIdentity& identity) {
  return IsProtected(path, &identity);
}

void RemoveIfSame(const std::string& path, const FileIdentity& identity) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && IdentityOf(info) == identity) {
    (void)SysUnlink(path);
  }
}

Status RemoveStale(const std::string& path, const FileIdentity& protect) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return {};
  if (IsProtected(path, &protect)) return {};
  if (SysUnlink(path) != 0 && errno != ENOENT) {
    return SystemError(ErrorKind::kCreate, "unlink", path, errno);
  }
  return {};
}

}  // namespace zelbo::platform
