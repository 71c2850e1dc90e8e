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
// - A write is complete or an error; a failing close is an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace zelbo::platform {

// The file an open handle refers to, independent of the name used to reach
// it. Two identities are equal exactly when they are the same file.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
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

  // Reads up to buffer.size() bytes; 0 means the end of the file.
  Result<std::size_t> Read(std::span<std::byte> buffer);

  // Moves the read position to an absolute byte offset.
  Status Seek(std::int64_t offset);

  const FileIdentity& identity() const { return identity_; }
  const std::string& path() const { return path_; }
  // Permission bits for owner, group and others (0666 where there are none).
  std::uint32_t permissions() const { return permissions_; }
  // The block size of the file's file system (4096 where unknown).
  std::int64_t block_size() const { return block_size_; }

 private:
  friend Result<std::size_t> TransferChunk(InputFile&, class OutputFile&,
                                           std::span<std::byte>);
  friend Result<std::int64_t> CloneRange(InputFile&, class OutputFile&, std::int64_t);
  InputFile(NativeHandle handle, std::string path, FileIdentity identity,
            std::uint32_t permissions, std::int64_t block_size)
      : handle_(handle),
        path_(std::move(path)),
        identity_(identity),
        permissions_(permissions),
        block_size_(block_size) {}

  NativeHandle handle_;
  std::string path_;
  FileIdentity identity_;
  std::uint32_t permissions_;
  std::int64_t block_size_;
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
  // Writes what is still staged and closes the file, without reporting;
  // call Close() to learn whether everything reached the file.
  ~OutputFile();

  // Writes all of `bytes`, or reports why not (a short write is an error).
  Status Write(std::span<const std::byte> bytes);
  Status Write(std::string_view text);

  // Writes what TransferChunk staged, then closes the file. Reports a
  // failure of either, so a full disk found only now is still an error.
  // Closing a closed file does nothing.
  Status Close();
  // Closes the file without writing what is staged.
  void Discard();

  const std::string& path() const { return path_; }
  const FileIdentity& identity() const { return identity_; }

  // Bytes that TransferChunk may hold back before writing them (the file
  // receives them in blocks of up to this size).
  static constexpr std::size_t kMaxStaged = std::size_t{1} << 20;

 private:
  struct Staging;  // per platform
  struct StagingDeleter {
    void operator()(Staging* staging) const;  // per platform
  };
  friend Result<std::size_t> TransferChunk(InputFile&, OutputFile&, std::span<std::byte>);
  friend Result<std::int64_t> CloneRange(InputFile&, OutputFile&, std::int64_t);
  OutputFile(NativeHandle handle, std::string path, FileIdentity identity);
  Status WriteStaged();
  void DropStaged();

  NativeHandle handle_;
  std::string path_;
  FileIdentity identity_;
  std::unique_ptr<Staging, StagingDeleter> staging_;
};

// Moves the next up to buffer.size() bytes from `in` to `out`: the unit of
// one read. Returns the count read, 0 at the end of `in`. The bytes may be
// staged and written together with those of later calls (at most
// OutputFile::kMaxStaged), so a write failure can surface on a later call
// or on out.Close(). A failure says by its kind which side failed: kRead
// (naming the input) or kWrite (naming the output). `buffer` is used when
// the bytes have to pass through memory.
Result<std::size_t> TransferChunk(InputFile& in, OutputFile& out, std::span<std::byte> buffer);

// Makes the next `count` bytes of `in` (from its read position; fewer at
// its end) the next bytes of `out` by sharing their storage on file systems
// that can (a reflink), and moves both positions on. Returns the count
// shared. kUnsupported when the system cannot do it for these files or
// this range (other file systems, ranges not aligned to the block size):
// nothing has changed then. Other failures are kRead or kWrite.
Result<std::int64_t> CloneRange(InputFile& in, OutputFile& out, std::int64_t count);

// True when the calling user may read `path`.
bool IsReadable(const std::string& path);

// Removes `path` if it still is the file `identity` names.
void RemoveIfSame(const std::string& path, const FileIdentity& identity);

// Removes `path` if it is a regular file or a symbolic link and not the
// file `protect` names (under any name); anything else stays.
void RemoveStale(const std::string& path, const FileIdentity& protect);

// The platform's own closing of a handle, for file.cpp: an error when the
// system reports that written data may not have reached the file.
Status CloseNativeHandle(NativeHandle handle, const std::string& path);

}  // namespace zelbo::platform
