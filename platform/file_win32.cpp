// The file layer on Windows. The source is held with read sharing only, so
// nobody (this program included) can write it while it is read; outputs are
// still compared with the source by file identity, because the scripts are
// written after the source is closed and a link can name the source too.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/file.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {
namespace {

using win32::NativePath;

// ---- The fault points ----

DWORD ErrorCode(FailureCode code) {
  switch (code) {
    case FailureCode::kNoSpace: return ERROR_DISK_FULL;
    case FailureCode::kTooLarge: return ERROR_FILE_TOO_LARGE;
    case FailureCode::kIo: return ERROR_IO_DEVICE;
    case FailureCode::kAccess: return ERROR_ACCESS_DENIED;
    case FailureCode::kRefused:
    case FailureCode::kRefusedAsInvalid:
    case FailureCode::kRefusedAsUnsupported: return ERROR_NOT_SUPPORTED;
  }
  return ERROR_IO_DEVICE;
}

// Asks the fault table; false (with the last error set) when the call must fail.
bool Allowed(SystemCall call, const std::string& path, std::int64_t offset, DWORD& bytes) {
  const FaultVerdict verdict = ConsultFaults(call, path, offset, bytes);
  if (verdict.failure) {
    SetLastError(ErrorCode(*verdict.failure));
    return false;
  }
  bytes = static_cast<DWORD>(verdict.bytes);
  return true;
}

bool Allowed(SystemCall call, const std::string& path) {
  DWORD none = 0;
  return Allowed(call, path, 0, none);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Win(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle Native(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

Error SystemError(ErrorKind kind, std::string call, const std::string& path, DWORD code) {
  return Error{kind, path, std::move(call), win32::ErrorText(code)};
}

// A failure to write: past the largest file allowed, or anything else.
Error WriteError(std::string call, const std::string& path, DWORD code) {
  return SystemError(code == ERROR_FILE_TOO_LARGE ? ErrorKind::kTooLarge : ErrorKind::kWrite,
                     std::move(call), path, code);
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

// Every deletion passes the fault point.
bool RemoveFile(const std::string& path, const std::wstring& native) {
  return Allowed(SystemCall::kUnlink, path) && DeleteFileW(native.c_str()) != 0;
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
  const bool deleted = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                           ? RemoveDirectoryW(native.c_str()) != 0
                           : RemoveFile(path, native);
  if (!deleted && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return SystemError(ErrorKind::kCreate, "DeleteFileW", path, GetLastError());
  }
  return {};
}

}  // namespace

// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  const HANDLE handle =
      Allowed(SystemCall::kOpen, path)
          ? CreateFileW(NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
          : INVALID_HANDLE_VALUE;
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
  return InputFile(Native(handle), path, *identity, 0666);
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) ::CloseHandle(Win(handle_));
}

Result<std::int64_t> InputFile::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Win(handle_), &size)) {
    return SystemError(ErrorKind::kSize, "GetFileSizeEx", path_, GetLastError());
  }
  return static_cast<std::int64_t>(size.QuadPart);
}

Result<FileVersion> InputFile::Version() const {
  FILETIME written{};
  if (!GetFileTime(Win(handle_), nullptr, nullptr, &written)) {
    return SystemError(ErrorKind::kSize, "GetFileTime", path_, GetLastError());
  }
  auto size = Size();
  if (!size.ok()) return size.error();
  return FileVersion{size.value(), static_cast<std::int64_t>(
                                       (std::uint64_t{written.dwHighDateTime} << 32) |
                                       written.dwLowDateTime)};
}

Result<std::size_t> InputFile::Read(std::span<std::byte> buffer) {
  DWORD wanted = buffer.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(buffer.size());
  DWORD count = 0;
  if (!Allowed(SystemCall::kRead, path_, position_, wanted) ||
      !ReadFile(Win(handle_), buffer.data(), wanted, &count, nullptr)) {
    const DWORD code = GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return std::size_t{0};
    return SystemError(ErrorKind::kRead, "ReadFile", path_, code);
  }
  position_ += count;
  return std::size_t{count};
}

Result<std::size_t> InputFile::ReadAt(std::int64_t offset, std::span<std::byte> buffer) {
  DWORD wanted = buffer.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(buffer.size());
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD count = 0;
  if (!Allowed(SystemCall::kRead, path_, offset, wanted) ||
      !ReadFile(Win(handle_), buffer.data(), wanted, &count, &at)) {
    const DWORD code = GetLastError();
    if (code == ERROR_HANDLE_EOF) return std::size_t{0};
    return SystemError(ErrorKind::kRead, "ReadFile", path_, code);
  }
  return std::size_t{count};
}

Status InputFile::Seek(std::int64_t offset) {
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  if (!Allowed(SystemCall::kSeek, path_) ||
      !SetFilePointerEx(Win(handle_), position, nullptr, FILE_BEGIN)) {
    return SystemError(ErrorKind::kSeek, "SetFilePointerEx", path_, GetLastError());
  }
  position_ = offset;
  return {};
}

// ---- OutputFile ----

Result<OutputFile> OutputFile::Create(const std::string& path, const FileIdentity* protect,
                                      std::uint32_t /*permissions: none on Windows*/) {
  const std::wstring native = NativePath(path);
  for (int attempt = 0;; ++attempt) {
    if (Status cleared = ClearOutputName(path, native, protect); !cleared.ok()) {
      return cleared.error();
    }
    const HANDLE handle =
        Allowed(SystemCall::kCreate, path)
            ? CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr)
            : INVALID_HANDLE_VALUE;
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
    DWORD wanted = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!Allowed(SystemCall::kWrite, path_, position_, wanted)) {
      return WriteError("WriteFile", path_, GetLastError());
    }
    if (wanted == 0 || !WriteFile(Win(handle_), bytes.data(), wanted, &written, nullptr)) {
      return WriteError("WriteFile", path_, wanted == 0 ? ERROR_DISK_FULL : GetLastError());
    }
    if (written == 0) return WriteError("WriteFile", path_, ERROR_DISK_FULL);
    position_ += written;
    bytes = bytes.subspan(written);
  }
  return {};
}

// Windows starts no write of a range on request; the flush at the end of
// each part does all of it.
Status OutputFile::WriteBehind() { return {}; }

Status OutputFile::Flush() {
  if (!Allowed(SystemCall::kFlush, path_) || !FlushFileBuffers(Win(handle_))) {
    return WriteError("FlushFileBuffers", path_, GetLastError());
  }
  return {};
}

Status OutputFile::Close() {
  if (handle_ == kNoHandle) return {};  // already closed (a failed close counts too)
  const HANDLE handle = Win(std::exchange(handle_, kNoHandle));
  const bool allowed = Allowed(SystemCall::kClose, path_);
  const DWORD code = GetLastError();
  const bool closed = ::CloseHandle(handle) != 0;
  if (!allowed || !closed) {
    return SystemError(ErrorKind::kClose, "CloseHandle", path_, allowed ? GetLastError() : code);
  }
  return {};
}

// ---- Moving bytes ----

namespace {

// Windows copies between two open files only through memory; blocks of
// this size keep the calls few without a large buffer.
constexpr std::size_t kMemoryBlock = std::size_t{1} << 20;

}  // namespace

Result<std::int64_t> CopyRange(InputFile& in, OutputFile& out, std::int64_t count) {
  if (in.buffer_.empty()) in.buffer_.resize(kMemoryBlock);
  DWORD size = static_cast<DWORD>(std::clamp<std::int64_t>(count, 0, kMemoryBlock));
  // The copy as a whole has a fault point of its own, as it has elsewhere;
  // a refusal only means "through memory", which is the way here anyway.
  DWORD copied = size;
  if (!Allowed(SystemCall::kCopy, out.path(), out.position_, copied) &&
      GetLastError() != ErrorCode(FailureCode::kRefused)) {
    return WriteError("WriteFile", out.path(), GetLastError());
  }
  size = std::min(size, copied);
  auto read = in.Read(std::span(in.buffer_).first(size));
  if (!read.ok()) return read.error();
  if (Status written = out.Write(std::span(in.buffer_).first(read.value())); !written.ok()) {
    return written.error();
  }
  return static_cast<std::int64_t>(read.value());
}

std::string FailureText(FailureCode code) { return win32::ErrorText(ErrorCode(code)); }

// ---- The folder's volume ----

Result<FolderVolume> VolumeOf(const std::string& folder, const FolderVolume* known) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  const FaultVerdict verdict = ConsultFaults(SystemCall::kVolume, path, 0, 0);
  const std::wstring native = NativePath(path);
  const DWORD attributes = verdict.failure ? INVALID_FILE_ATTRIBUTES
                                           : GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const DWORD code = verdict.failure ? ErrorCode(*verdict.failure)
                       : attributes == INVALID_FILE_ATTRIBUTES ? GetLastError()
                                                               : ERROR_DIRECTORY;
    return SystemError(ErrorKind::kOpen, "GetFileAttributesW", folder, code);
  }
  // A volume that does not say what it is (wine's drives on folders) holds
  // the folder all the same: serial 0 and no known limit.
  wchar_t root[MAX_PATH + 1];
  wchar_t system[MAX_PATH + 1] = L"";
  DWORD serial = 0;
  if (!GetVolumePathNameW(native.c_str(), root, MAX_PATH + 1) ||
      !GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, system, MAX_PATH + 1)) {
    serial = 0;
    system[0] = L'\0';
  }
  if (known != nullptr && known->device == serial && verdict.volume_holds < 0) return *known;
  FolderVolume volume;
  volume.device = serial;
  // FAT12, FAT16 and FAT32 hold files of less than 4 GiB; exFAT, NTFS and
  // ReFS far larger ones.
  const std::wstring name = system;
  if (name.rfind(L"FAT", 0) == 0) {
    volume.largestFile = (std::int64_t{1} << 32) - 1;
    volume.limit = "the FAT file system";
  }
  if (verdict.volume_holds >= 0) {
    volume.largestFile = verdict.volume_holds;
    volume.limit = "the FAT file system";
  }
  return volume;
}

// NTFS keeps its folders in its journal, and FAT media are written through
// on Windows unless the user chose otherwise; each part is flushed itself.
bool FolderFlushHoldsFiles() { return false; }

Status FlushFolder(const std::string& folder) {
  if (!Allowed(SystemCall::kFlush, folder)) {
    return WriteError("FlushFileBuffers", folder, GetLastError());
  }
  return {};
}

bool IsReadable(const std::string& path) {
  const HANDLE handle = CreateFileW(NativePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

bool IsFile(const std::string& path, const FileIdentity& identity) {
  return IsSource(NativePath(path), &identity);
}

void RemoveIfSame(const std::string& path, const FileIdentity& identity) {
  const std::wstring native = NativePath(path);
  const auto found = IdentityAt(native, FILE_FLAG_OPEN_REPARSE_POINT);
  if (found && *found == identity) (void)RemoveFile(path, native);
}

Status RemoveStale(const std::string& path, const FileIdentity& protect) {
  const std::wstring native = NativePath(path);
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
  if (IsSource(native, &protect)) return {};
  if (!RemoveFile(path, native) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return SystemError(ErrorKind::kCreate, "DeleteFileW", path, GetLastError());
  }
  return {};
}

}  // namespace zelbo::platform
