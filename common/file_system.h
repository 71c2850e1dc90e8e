// What the split run does with files, behind one interface: the real one
// over the platform's file layer (RealFileSystem), and fakes in the tests
// that fail on demand (a read error, a short write, a failed close or seek,
// at the part of the test's choosing).
//
// Contracts of every implementation:
// - Sizes and offsets are signed 64-bit.
// - Failures come back as Errors naming the call, the path and the
//   system's text; nothing is printed here.
// - An output is always a new file: an existing regular file (or symbolic
//   link) of that name is replaced, never written into, so its other names
//   keep their bytes; an existing name of any other kind (directory, FIFO,
//   device, socket) is refused with kCreate without being opened; a name
//   that is the protected file (the source) under any name is refused with
//   kSameAsSource before anything changes.
// - A write is complete or an error; a failing close is an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/result.h"

namespace zelbo {

using platform::FileIdentity;

class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `bytes`, or reports why not.
  virtual Status Write(std::string_view bytes) = 0;
  // Writes what is still held back and closes; reports a failure of either.
  // Closing a closed file does nothing.
  virtual Status Close() = 0;
  // Closes without writing what is still held back (the file is abandoned).
  virtual void Discard() = 0;
  virtual const std::string& path() const = 0;
  virtual const FileIdentity& identity() const = 0;
};

class SourceFile {
 public:
  virtual ~SourceFile() = default;
  virtual Result<std::int64_t> Size() = 0;
  // Moves the read position to an absolute byte offset.
  virtual Status Seek(std::int64_t offset) = 0;
  // Moves the next up to `count` bytes into `out` (one read): the count
  // read, 0 at the end of the source. The bytes may be held back and
  // written with later ones, so a write failure may surface on a later
  // call or on out.Close(). A failure's kind tells which side failed:
  // kRead (the source) or kWrite (the output).
  virtual Result<std::size_t> TransferTo(OutputFile& out, std::size_t count) = 0;
  // Makes the next `count` bytes of the source (from the read position, or
  // fewer at its end) the next bytes of `out` by sharing their storage,
  // without copying; both positions move on. Returns the count shared.
  // kUnsupported: not possible here (other file system, unaligned range,
  // no such feature): nothing changed, copy instead.
  virtual Result<std::int64_t> CloneTo(OutputFile& out, std::int64_t count) = 0;
  // The file system's block size, to which shared ranges must be aligned.
  virtual std::int64_t BlockSize() const = 0;
  // True when a read at the position would give more bytes.
  virtual Result<bool> HasMore() = 0;
  virtual const std::string& path() const = 0;
  virtual const FileIdentity& identity() const = 0;
  // The permission bits that new files made from it get (POSIX mode bits
  // for owner, group and others; 0666 where a platform has none).
  virtual std::uint32_t permissions() const = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing regular file (or block device) for reading; anything
  // else is refused with kOpen, without blocking.
  virtual Result<std::unique_ptr<SourceFile>> OpenSource(const std::string& path) = 0;
  // Creates a new file at `path` with `permissions` (less the process's
  // umask) under the rules above; `protect` names the source.
  virtual Result<std::unique_ptr<OutputFile>> CreateOutput(const std::string& path,
                                                           const FileIdentity* protect,
                                                           std::uint32_t permissions) = 0;
  // Removes `path` if it is still the file `identity` names.
  virtual void RemoveIfSame(const std::string& path, const FileIdentity& identity) = 0;
  // Removes `path` if it is a regular file or a symbolic link and not the
  // protected file under any name; anything else stays.
  virtual void RemoveStale(const std::string& path, const FileIdentity& protect) = 0;
  // True when the calling user may read `path`.
  virtual bool IsReadable(const std::string& path) = 0;
};

// The platform's files.
FileSystem& RealFileSystem();

}  // namespace zelbo
