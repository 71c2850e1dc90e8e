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

constexpr NativeHandle kNoHandle = -1;  // INVALID_HANDLE_VALUE
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

std::optional<FileIdentity> IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The identity of the file that `path` leads to, links followed; opened
// without any access to its data, so that no sharing lock stands in the way.
std::optional<FileIdentity> IdentityAt(const std::wstring& path) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

enum class ReparseKind { kNone, kLink, kOther };

// A name surrogate (symbolic link, junction) stands for another file; any
// other reparse point (deduplicated, cloud or compressed files) is the file.
ReparseKind ReparseKindOf(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return ReparseKind::kNone;
  }
  return IsReparseTagNameSurrogate(tag.ReparseTag) ? ReparseKind::kLink : ReparseKind::kOther;
}

HANDLE OpenForWriting(const std::wstring& path, DWORD extra_flags) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL | extra_flags, nullptr);
}

// Opens `path` for writing without writing through a link at it: a link is
// deleted (a new regular file takes its place) unless it leads to the
// protected file, which is refused like the file itself.
Result<HANDLE> OpenWithoutFollowing(const std::string& path, const std::wstring& native,
                                    const FileIdentity* protect) {
  for (int attempt = 0;; ++attempt) {
    HANDLE handle = OpenForWriting(native, FILE_FLAG_OPEN_REPARSE_POINT);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      // The open source refuses writers: its own name or a hard link to it.
      if (IsSource(native, protect)) return SameAsSource(path);
      return SystemError(ErrorKind::kCreate, "CreateFileW", path, code);
    }
    const ReparseKind kind = ReparseKindOf(handle);
    if (kind == ReparseKind::kNone) return handle;
    ::CloseHandle(handle);
    if (kind == ReparseKind::kOther) {
      handle = OpenForWriting(native, 0);
      if (handle == INVALID_HANDLE_VALUE) {
        return SystemError(ErrorKind::kCreate, "CreateFileW", path, GetLastError());
      }
      return handle;
    }
    if (IsSource(native, protect)) return SameAsSource(path);
    if (attempt > 0 || !DeleteFileW(native.c_str())) {
      return SystemError(ErrorKind::kCreate, "DeleteFileW", path, GetLastError());
    }
  }
}

}  // namespace

// ---- InputFile ----

Result<InputFile> InputFile::Open(const std::string& path) {
  const HANDLE handle =
      CreateFileW(NativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return SystemError(ErrorKind::kOpen, "CreateFileW", path, GetLastError());
  }
  const auto identity = IdentityOf(handle);
  if (!identity) {
    const DWORD code = GetLastError();
    ::CloseHandle(handle);
    return SystemError(ErrorKind::kOpen, "GetFileInformationByHandle", path, code);
  }
  return InputFile(Native(handle), path, *identity);
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), identity_(other.identity_) {
  other.handle_ = kNoHandle;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    CloseHandle();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    identity_ = other.identity_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

InputFile::~InputFile() { CloseHandle(); }

void InputFile::CloseHandle() {
  if (handle_ != kNoHandle) ::CloseHandle(Win(handle_));
  handle_ = kNoHandle;
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

OutputFile::OutputFile(NativeHandle handle, std::string path)
    : handle_(handle), path_(std::move(path)) {}

Status OutputFile::WriteStaged() { return {}; }

Result<OutputFile> OutputFile::Create(const std::string& path, const FileIdentity* protect,
                                      bool /*executable: no such mark on Windows*/) {
  const std::wstring native = NativePath(path);
  auto opened = OpenWithoutFollowing(path, native, protect);
  if (!opened.ok()) return opened.error();
  const HANDLE handle = opened.value();
  // Checked on the open file, so no rename in between can slip the source in.
  const auto identity = IdentityOf(handle);
  if (!identity) {
    const DWORD code = GetLastError();
    ::CloseHandle(handle);
    return SystemError(ErrorKind::kCreate, "GetFileInformationByHandle", path, code);
  }
  if (protect && *identity == *protect) {
    ::CloseHandle(handle);
    return SameAsSource(path);
  }
  if (!SetEndOfFile(handle)) {  // the position is 0: this empties an old file
    const DWORD code = GetLastError();
    ::CloseHandle(handle);
    return SystemError(ErrorKind::kCreate, "SetEndOfFile", path, code);
  }
  return OutputFile(Native(handle), path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)), staging_(std::move(other.staging_)) {
  other.handle_ = kNoHandle;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) ::CloseHandle(Win(handle_));
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    staging_ = std::move(other.staging_);
    other.handle_ = kNoHandle;
  }
  return *this;
}

OutputFile::~OutputFile() {
  if (handle_ != kNoHandle) ::CloseHandle(Win(handle_));
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

Status OutputFile::Write(std::string_view text) {
  return Write(std::as_bytes(std::span(text.data(), text.size())));
}

Status OutputFile::Close() {
  if (handle_ == kNoHandle) return {};  // already closed (a failed close counts too)
  const HANDLE handle = Win(handle_);
  handle_ = kNoHandle;
  if (!::CloseHandle(handle)) {
    return SystemError(ErrorKind::kClose, "CloseHandle", path_, GetLastError());
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

bool IsReadable(const std::string& path) {
  const HANDLE handle = CreateFileW(NativePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

void RemoveFile(const std::string& path) { DeleteFileW(NativePath(path).c_str()); }

}  // namespace zelbo::platform
