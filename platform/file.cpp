// What the file layer's platforms share: handles, moves and closing.
#include "platform/file.h"

namespace zelbo::platform {

// ---- InputFile ----

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(other.handle_),
      path_(std::move(other.path_)),
      identity_(other.identity_),
      permissions_(other.permissions_),
      block_size_(other.block_size_) {
  other.handle_ = kNoHandle;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) (void)CloseNativeHandle(handle_, path_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    identity_ = other.identity_;
    permissions_ = other.permissions_;
    block_size_ = other.block_size_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) (void)CloseNativeHandle(handle_, path_);
}

// ---- OutputFile ----

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(other.handle_),
      path_(std::move(other.path_)),
      identity_(other.identity_),
      staging_(std::move(other.staging_)) {
  other.handle_ = kNoHandle;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    (void)Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    identity_ = other.identity_;
    staging_ = std::move(other.staging_);
    other.handle_ = kNoHandle;
  }
  return *this;
}

OutputFile::~OutputFile() { (void)Close(); }

Status OutputFile::Write(std::string_view text) {
  return Write(std::as_bytes(std::span(text.data(), text.size())));
}

Status OutputFile::Close() {
  if (handle_ == kNoHandle) return {};  // already closed (a failed close counts too)
  Status status = WriteStaged();
  const NativeHandle handle = handle_;
  handle_ = kNoHandle;
  Status closed = CloseNativeHandle(handle, path_);
  return status.ok() ? closed : status;
}

void OutputFile::Discard() {
  if (handle_ == kNoHandle) return;
  DropStaged();
  (void)CloseNativeHandle(handle_, path_);
  handle_ = kNoHandle;
}

}  // namespace zelbo::platform
