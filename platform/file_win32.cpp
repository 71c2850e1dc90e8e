// The file layer on Windows. The source is held with read sharing only, so
// nobody (this program included) can write it while it is read; outputs are
// still compared with the source by file identity, because the scripts are
// written after the source is closed and a link can name the source too.
#include <windows.h>

#include <optional>

#include "platform/file.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {
namespace {

using win32::NativePath;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Win(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle Native(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

Error SystemError(ErrorKind kind, std::string call, const std::string& path, DWORD code) {
  return Error{kind, path, std::move(call), win32::ErrorText(code)};
}

Error SameAsSource(const std::string& path) {
  return Error{ErrorKind::kSameAsSource, path, "CreateFileW",
               "the output would replace the source file"};
}

Error NotARegularFile(ErrorKind kind, const std::string& path) {
  return Error{kind, path, "CreateFileW", "not a regular file"};
}

std::optional<FileIdentity> IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The identity of the file that `path` leads to, links followed; opened
// without any access to its data, so that no sharing lock stands in the way.
std::optional<FileIdentity> IdentityAt(const std::wstring& path, DWORD extra_flags = 0) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | extra_flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  auto identity = IdentityOf(handle);
  ::CloseHandle(handle);
  return identity;
}

bool IsSource(const std::wstring& path, const FileIdentity* protect) {
  if (protect == nullptr) return false;
  const auto identity = IdentityAt(path);
  return identity && *identity == *protect;
}

// A name surrogate (symbolic link, junction) stands for another file; any
// other reparse point (deduplicated, cloud or compressed files) is the file.
bool IsLink(const std::wstring& path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return IsReparseTagNameSurrogate(found.dwReserved0);
}

// Makes way for a new file at `path`: an old file or link of that name is
// deleted (other hard links of it keep their bytes, and the new file takes
// none of its attributes), unless it is the protected file; a directory is
// refused.
Status ClearOutputName(const std::string& path, const std::wstring& native,
                       const FileIdentity* protect) {
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return {};
    if (IsSource(native, protect)) return SameAsSource(path);
    return SystemError(ErrorKind::kCreate, "GetFileAttributesW", path, code);
  }
  const bool link = IsLink(native, attributes);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link) {
    return SystemError(ErrorKind::kCreate, "CreateFileW", path, ERROR_DIRECTORY);
  }
  if (IsSource(native, protect)) return SameAsSource(path);
  const BOOL deleted = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(native.c_str())
                                                                   : DeleteFileW(native.c_str());
  if (!deleted && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return SystemError(ErrorKind::kCreate, "DeleteFileW", path, GetLastError());
  }
  return {};
}

}  // namespace

Status CloseNativeHandle(NativeHandle handle, const std::string& path) {
  if (!::CloseHandle(Win(handle))) {
    return SystemError(ErrorKind::kClose, "CloseHandle", path, GetLastError());
  }
  return {};
}

// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  const HANDLE handle =
      CreateFileW(NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return SystemError(ErrorKind::kOpen, "CreateFileW", path, GetLastError());
  }
  // Devices (CON, NUL, COM1) and pipes are no files to split.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return NotARegularFile(ErrorKind::kOpen, path);
  }
  const auto identity = IdentityOf(handle);
  if (!identity) {
    const DWORD code = GetLastError();
    ::CloseHandle(handle);
    return SystemError(ErrorKind::kOpen, "GetFileInformationByHandle", path, code);
  }
  return InputFile(Native(handle), path, *identity, 0666, 4096);
}

Result<std::int64_t> InputFile::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Win(handle_), &size)) {
    return SystemError(ErrorKind::kSize, "GetFileSizeEx", path_, GetLastError());
  }
  return static_cast<std::int64_t>(size.QuadPart);
}

Result<std::size_t> InputFile::Read(std::span<std::byte> buffer) {
  const DWORD wanted = buffer.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(buffer.size());
  DWORD count = 0;
  if (!ReadFile(Win(handle_), buffer.data(), wanted, &count, nullptr)) {
    const DWORD code = GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return std::size_t{0};
    return SystemError(ErrorKind::kRead, "ReadFile", path_, code);
  }
  return std::size_t{count};
}

Status InputFile::Seek(std::int64_t offset) {
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  if (!SetFilePointerEx(Win(handle_), position, nullptr, FILE_BEGIN)) {
    return SystemError(ErrorKind::kSeek, "SetFilePointerEx", path_, GetLastError());
  }
  return {};
}

// ---- OutputFile ----

// Nothing is held back on Windows: TransferChunk writes each unit at once.
struct OutputFile::Staging {};

void OutputFile::StagingDeleter::operator()(Staging* staging) const { delete staging; }

OutputFile::OutputFile(NativeHandle handle, std::string path, FileIdentity identity)
    : handle_(handle), path_(std::move(path)), identity_(identity) {}

Status OutputFile::WriteStaged() { return {}; }

void OutputFile::DropStaged() {}

Result<OutputFile> OutputFile::Create(const std::string& path, const FileIdentity* protect,
                                      std::uint32_t /*permissions: none on Windows*/) {
  const std::wstring native = NativePath(path);
  for (int attempt = 0;; ++attempt) {
    if (Status cleared = ClearOutputName(path, native, protect); !cleared.ok()) {
      return cleared.error();
    }
    const HANDLE handle = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_EXISTS && attempt < 3) continue;
      // The open source refuses to be deleted or written: its own name.
      if (IsSource(native, protect)) return SameAsSource(path);
      return SystemError(ErrorKind::kCreate, "CreateFileW", path, code);
    }
    // A reserved name (CON, NUL, COM1, with any extension) opens a device.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      ::CloseHandle(handle);
      return NotARegularFile(ErrorKind::kCreate, path);
    }
    const auto identity = IdentityOf(handle);
    if (!identity) {
      const DWORD code = GetLastError();
      ::CloseHandle(handle);
      return SystemError(ErrorKind::kCreate, "GetFileInformationByHandle", path, code);
    }
    return OutputFile(Native(handle), path, *identity);
  }
}

Status OutputFile::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const DWORD wanted = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(Win(handle_), bytes.data(), wanted, &written, nullptr)) {
      return SystemError(ErrorKind::kWrite, "WriteFile", path_, GetLastError());
    }
    if (written == 0) return SystemError(ErrorKind::kWrite, "WriteFile", path_, ERROR_DISK_FULL);
    bytes = bytes.subspan(written);
  }
  return {};
}

// ---- Moving bytes ----

Result<std::size_t> TransferChunk(InputFile& in, OutputFile& out, std::span<std::byte> buffer) {
  auto read = in.Read(buffer);
  if (!read.ok() || read.value() == 0) return read;
  auto written = out.Write(buffer.first(read.value()));
  if (!written.ok()) return written.error();
  return read.value();
}

// Sharing storage between files (block cloning on ReFS) is left to the
// copy on Windows.
Result<std::int64_t> CloneRange(InputFile& in, OutputFile& /*out*/, std::int64_t /*count*/) {
  return Error{ErrorKind::kUnsupported, in.path(), "CloneRange", "not supported on Windows"};
}

bool IsReadable(const std::string& path) {
  const HANDLE handle = CreateFileW(NativePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

void RemoveIfSame(const std::string& path, const FileIdentity& identity) {
  const std::wstring native = NativePath(path);
  const auto found = IdentityAt(native, FILE_FLAG_OPEN_REPARSE_POINT);
  if (found && *found == identity) DeleteFileW(native.c_str());
}

void RemoveStale(const std::string& path, const FileIdentity& protect) {
  const std::wstring native = NativePath(path);
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  if (IsSource(native, &protect)) return;
  DeleteFileW(native.c_str());
}

}  // namespace zelbo::platform
