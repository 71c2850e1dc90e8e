// The file layer: everything the programs do with files, with 64-bit sizes
// and positions, behind one platform-neutral interface. One source per
// platform implements it (file_posix.cpp, file_win32.cpp); file.cpp holds
// what they share.
//
// Contracts that hold on every platform:
// - Sizes and offsets are signed 64-bit; files past 4 GB work.
// - Every failure comes back as an Error naming the call, the path and the
//   system's text; nothing is printed here.
// - An output is always a new file (OutputFile::Create) and never damages
//   the source: see there.
// - A write or copy is complete or an error; a failing flush or close is an
//   error.
// - Every system call that touches a file passes through one table of fault
//   points (SystemCall below), where a test can make it fail at the call of
//   its choosing; nothing else replaces this layer in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace zelbo::platform {

// The file an open handle refers to, independent of the name used to reach
// it. Two identities are equal exactly when they are the same file.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What changes whenever a file's bytes do: its size and the time its content
// last changed (in the platform's own units). Equal versions of one file
// taken at two moments mean that nothing wrote it in between, to the
// resolution of its file system's clock.
struct FileVersion {
  std::int64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const FileVersion&) const = default;
};

// The platform's native handle, held as an integer so that this header
// stays free of system headers. -1 is no handle on every platform.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

class InputFile {
 public:
  // Opens an existing regular file (or a block device, POSIX) for reading;
  // anything else (a directory, a FIFO, a terminal) is refused with kOpen
  // without blocking. Others may read it meanwhile (on Windows they may not
  // write it); the system is told that it will be read sequentially.
  static Result<InputFile> Open(const std::string& path);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // The size of the open file in bytes.
  Result<std::int64_t> Size() const;
  // Its size and the time its content last changed.
  Result<FileVersion> Version() const;

  // Reads up to buffer.size() bytes at the read position; 0 means the end.
  Result<std::size_t> Read(std::span<std::byte> buffer);

  // Moves the read position to an absolute byte offset.
  Status Seek(std::int64_t offset);

  // Reads up to buffer.size() bytes at `offset`; 0 means the end. The read
  // position is not used (POSIX) or undefined afterwards (Windows): for
  // handles that only ever read at offsets.
  Result<std::size_t> ReadAt(std::int64_t offset, std::span<std::byte> buffer);

  const FileIdentity& identity() const { return identity_; }
  const std::string& path() const { return path_; }
  // Permission bits for owner, group and others (0666 where there are none).
  std::uint32_t permissions() const { return permissions_; }
  std::int64_t position() const { return position_; }

 private:
  friend Result<std::int64_t> CopyRange(InputFile&, class OutputFile&, std::int64_t);
  InputFile(NativeHandle handle, std::string path, FileIdentity identity,
            std::uint32_t permissions)
      : handle_(handle), path_(std::move(path)), identity_(identity), permissions_(permissions) {}

  NativeHandle handle_;
  std::string path_;
  FileIdentity identity_;
  std::uint32_t permissions_;
  std::int64_t position_ = 0;
  // How the kernel may copy from this file; lowered for good when it refuses.
  int copy_method_ = 0;
  // For bytes that must pass through memory; allocated on first use.
  std::vector<std::byte> buffer_;
};

class OutputFile {
 public:
  // Creates a new file at `path` for binary writing, with `permissions`
  // less the process's umask (POSIX). An existing regular file or symbolic
  // link of that name is removed first, so other names of that file keep
  // their bytes and a link is never written through; an existing name of
  // any other kind (directory, FIFO, device, socket) is refused with
  // kCreate and left unopened. When `protect` is given and `path` is that
  // file under any name (itself, a hard link, a symbolic link to it), the
  // result is kSameAsSource and nothing changes. On Windows the new file
  // has none of the old one's attributes.
  static Result<OutputFile> Create(const std::string& path, const FileIdentity* protect,
                                   std::uint32_t permissions = 0666);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes the file without reporting; call Close() to learn whether it
  // closed cleanly.
  ~OutputFile();

  // Writes all of `bytes`, or reports why not (a short write is an error).
  Status Write(std::span<const std::byte> bytes);
  Status Write(std::string_view text);

  // Starts writing to the medium what was written since the last call, and
  // waits until what the call before started is there: a run that calls
  // this after each step keeps little in the cache and tells progress
  // close to what the medium holds. Does nothing where the system cannot.
  Status WriteBehind();

  // Waits until what was written is on the medium (the file's data and its
  // size), so that a medium pulled afterwards holds all of it.
  Status Flush();

  // Closes the file. Reports a failure of the close, which on some file
  // systems is where a delayed write failure shows. Closing a closed file
  // does nothing.
  Status Close();

  const std::string& path() const { return path_; }
  const FileIdentity& identity() const { return identity_; }
  std::int64_t position() const { return position_; }

 private:
  friend Result<std::int64_t> CopyRange(InputFile&, OutputFile&, std::int64_t);
  OutputFile(NativeHandle handle, std::string path, FileIdentity identity)
      : handle_(handle), path_(std::move(path)), identity_(identity) {}

  NativeHandle handle_;
  std::string path_;
  FileIdentity identity_;
  std::int64_t position_ = 0;
  // Write-behind: bytes before `written_behind_` have been started; those
  // from `waiting_from_` on are not known to be on the medium yet.
  std::int64_t written_behind_ = 0;
  std::int64_t waiting_from_ = 0;
};

// Moves up to `count` bytes from `in` (at its read position) to the end of
// `out`, in the kernel where the system can (and there sharing the blocks
// on file systems that can share them), else through memory. Returns the
// count moved, which may be short of `count`; 0 only at the end of `in`.
// A failure says by its kind which side failed: kRead (naming the input)
// or kWrite (naming the output).
Result<std::int64_t> CopyRange(InputFile& in, OutputFile& out, std::int64_t count);

// True when the calling user may read `path`.
bool IsReadable(const std::string& path);

// True when `path` leads (links followed) to the file `identity` names.
bool IsFile(const std::string& path, const FileIdentity& identity);

// Removes `path` if it still is the file `identity` names.
void RemoveIfSame(const std::string& path, const FileIdentity& identity);

// Removes `path` if it is a regular file or a symbolic link and not the
// file `protect` names (under any name). Anything else stays, and so does
// a name that is not there; a file that could not be removed is an error.
Status RemoveStale(const std::string& path, const FileIdentity& protect);

// What the file system that holds a folder is, as a run needs to know it.
struct FolderVolume {
  // Which file system (volume, medium) holds the folder now.
  std::uint64_t device = 0;
  // POSIX: the file system below the one that holds the folder, where its
  // mount point lies (the same as `device` for the root); a folder found on
  // it later is the bare mount point of a medium that has gone. 0 where
  // media are not mounted into folders (Windows drive letters).
  std::uint64_t below = 0;
  // The largest file that the file system and this process can hold, and
  // what sets that limit, to be named in a sentence ("the FAT file system",
  // "the file-size limit of this process (ulimit -f)"; "" when nothing does).
  std::int64_t largestFile = std::numeric_limits<std::int64_t>::max();
  std::string limit;
};

// Looks at the folder's file system; an error when the folder is gone (or
// is no folder). When the folder is still on the file system `known`
// describes, that is the answer, found with one look.
Result<FolderVolume> VolumeOf(const std::string& folder, const FolderVolume* known = nullptr);

// Waits until the folder's entries (the names of the files made in it) are
// on the medium; where FolderFlushHoldsFiles(), so are the files' bytes.
Status FlushFolder(const std::string& folder);

// Whether FlushFolder() also puts the bytes of every file written on that
// medium there (one flush of the whole file system), so that small files
// need no flush of their own.
bool FolderFlushHoldsFiles();

// ---- Fault points, for tests ----

// The calls that reach the system. A test makes one of them fail (or move
// fewer bytes) where a real system would: a full medium, a bad sector, a
// kernel that refuses an in-kernel copy.
enum class SystemCall {
  kOpen, kCreate, kRead, kWrite, kCopy, kSeek, kFlush, kClose, kUnlink, kVolume
};

// What a failing call reports, in each platform's own code. A kernel refuses
// an in-kernel copy in several words (another device, an invalid pairing of
// files, no support in the file system); Windows has one word for them all.
enum class FailureCode {
  kNoSpace, kTooLarge, kIo, kAccess, kRefused, kRefusedAsInvalid, kRefusedAsUnsupported
};

struct SystemFault {
  SystemCall call;
  std::string path;  // strikes calls on files whose path ends with this; "" any
  FailureCode code = FailureCode::kIo;
  int at = 1;        // the first matching call it strikes (from 1)
  int times = 1;     // how many matching calls it strikes from there; -1 all
  // Data calls (read, write, copy): when not negative, the fault strikes
  // from this offset of the file on, and a call that would cross it moves
  // only the bytes before it, as a medium that fills up does. `at` then
  // does not count.
  std::int64_t from_offset = -1;
  // When not negative, a strike moves at most this many bytes and succeeds
  // (a short transfer) instead of failing.
  std::int64_t moves_at_most = -1;
  // kVolume: when not negative, a strike succeeds and the volume holds files
  // of at most this many bytes, as a FAT medium does.
  std::int64_t volume_holds = -1;
};

// Installs faults for its lifetime (one set at a time; calls on any thread
// consult it).
class ScopedFaults {
 public:
  explicit ScopedFaults(std::vector<SystemFault> faults);
  ~ScopedFaults();
  ScopedFaults(const ScopedFaults&) = delete;
  ScopedFaults& operator=(const ScopedFaults&) = delete;
  // How often fault `index` has struck.
  int struck(std::size_t index) const;
};

// The system's own words for a failure code, as an Error carries them.
std::string FailureText(FailureCode code);

// For the platform sources: what the fault table says of one call that
// would move `bytes` bytes at `offset` of the file at `path`.
struct FaultVerdict {
  std::optional<FailureCode> failure;
  std::int64_t bytes;  // what the call may move (all of it when no fault)
  std::int64_t volume_holds = -1;  // kVolume: the limit a fault reports
};
FaultVerdict ConsultFaults(SystemCall call, const std::string& path, std::int64_t offset = 0,
                           std::int64_t bytes = 0);

}  // namespace zelbo::platform
