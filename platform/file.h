// The file layer: everything the programs do with files, with 64-bit sizes
// and positions, behind one platform-neutral interface. One source per
// platform implements it (file_posix.cpp, file_win32.cpp).
//
// Contracts that hold on every platform:
// - Sizes and offsets are signed 64-bit; files past 4 GB work.
// - Every failure comes back as an Error naming the call, the path and the
//   system's text; nothing is printed here.
// - An output never damages the source: OutputFile::Create refuses a path
//   that names the protected file under any name (itself, a hard link, a
//   symbolic link) before anything is truncated, and replaces an existing
//   symbolic link by a new regular file instead of writing through it.
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
// stays free of system headers.
using NativeHandle = std::intptr_t;

class InputFile {
 public:
  // Opens an existing file for reading. Others may read it meanwhile (on
  // Windows they may not write it); the system is told that it will be
  // read sequentially. A directory is refused with kOpen.
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

 private:
  friend Result<std::size_t> TransferChunk(InputFile&, class OutputFile&,
                                           std::span<std::byte>);
  InputFile(NativeHandle handle, std::string path, FileIdentity identity)
      : handle_(handle), path_(std::move(path)), identity_(identity) {}
  void CloseHandle();

  NativeHandle handle_;
  std::string path_;
  FileIdentity identity_;
};

class OutputFile {
 public:
  // Creates `path` for binary writing, or empties the existing file of that
  // name. When `protect` is given and `path` is that file under any name,
  // the result is kSameAsSource and the file is left untouched. A symbolic
  // link at `path` is replaced, never followed. `executable` marks a newly
  // created file executable where the platform has such a mark.
  static Result<OutputFile> Create(const std::string& path,
                                   const FileIdentity* protect,
                                   bool executable = false);

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
  Status Close();

  const std::string& path() const { return path_; }

  // Bytes that TransferChunk may hold back before writing them (the file
  // receives them in blocks of up to this size).
  static constexpr std::size_t kMaxStaged = std::size_t{1} << 20;

 private:
  struct Staging;  // per platform
  friend Result<std::size_t> TransferChunk(InputFile&, OutputFile&,
                                           std::span<std::byte>);
  OutputFile(NativeHandle handle, std::string path);
  Status WriteStaged();

  NativeHandle handle_;
  std::string path_;
  std::unique_ptr<Staging> staging_;
};

// Moves the next up to buffer.size() bytes from `in` to `out`: the unit of
// one read. Returns the count read, 0 at the end of `in`. The bytes may be
// staged and written together with those of later calls (at most
// OutputFile::kMaxStaged), so a write failure can surface on a later call
// or on out.Close(). A failure says by its kind which side failed: kRead
// (naming the input) or kWrite (naming the output). `buffer` is used when
// the bytes have to pass through memory.
Result<std::size_t> TransferChunk(InputFile& in, OutputFile& out,
                                  std::span<std::byte> buffer);

// True when the calling user may read `path`.
bool IsReadable(const std::string& path);

// Deletes a file by name; whether it worked is not reported.
void RemoveFile(const std::string& path);

}  // namespace zelbo::platform
