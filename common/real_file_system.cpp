// The file system of the running platform, over the platform's file layer.
#include <array>

#include "common/file_system.h"

namespace zelbo {
namespace {

class RealOutput final : public OutputFile {
 public:
  explicit RealOutput(platform::OutputFile file) : file_(std::move(file)) {}

  Status Write(std::string_view bytes) override { return file_.Write(bytes); }
  Status Close() override { return file_.Close(); }
  void Discard() override { file_.Discard(); }
  const std::string& path() const override { return file_.path(); }
  const FileIdentity& identity() const override { return file_.identity(); }

  platform::OutputFile& file() { return file_; }

 private:
  platform::OutputFile file_;
};

// Every output a RealSource meets was made by the real file system.
platform::OutputFile& PlatformFile(OutputFile& out) { return static_cast<RealOutput&>(out).file(); }

class RealSource final : public SourceFile {
 public:
  explicit RealSource(platform::InputFile file) : file_(std::move(file)) {}

  Result<std::int64_t> Size() override { return file_.Size(); }
  Status Seek(std::int64_t offset) override { return file_.Seek(offset); }

  Result<std::size_t> TransferTo(OutputFile& out, std::size_t count) override {
    return platform::TransferChunk(file_, PlatformFile(out),
                                   std::span(buffer_).first(std::min(count, buffer_.size())));
  }

  Result<std::int64_t> CloneTo(OutputFile& out, std::int64_t count) override {
    return platform::CloneRange(file_, PlatformFile(out), count);
  }

  std::int64_t BlockSize() const override { return file_.block_size(); }

  Result<bool> HasMore() override {
    std::array<std::byte, 1> probe;
    auto read = file_.Read(probe);
    if (!read.ok()) return read.error();
    return read.value() > 0;
  }

  const std::string& path() const override { return file_.path(); }
  const FileIdentity& identity() const override { return file_.identity(); }
  std::uint32_t permissions() const override { return file_.permissions(); }

 private:
  platform::InputFile file_;
  // Used only where bytes must pass through memory.
  std::array<std::byte, 32768> buffer_{};
};

class Real final : public FileSystem {
 public:
  Result<std::unique_ptr<SourceFile>> OpenSource(const std::string& path) override {
    auto file = platform::InputFile::Open(path);
    if (!file.ok()) return file.error();
    return std::unique_ptr<SourceFile>(std::make_unique<RealSource>(std::move(file.value())));
  }

  Result<std::unique_ptr<OutputFile>> CreateOutput(const std::string& path,
                                                   const FileIdentity* protect,
                                                   std::uint32_t permissions) override {
    auto file = platform::OutputFile::Create(path, protect, permissions);
    if (!file.ok()) return file.error();
    return std::unique_ptr<OutputFile>(std::make_unique<RealOutput>(std::move(file.value())));
  }

  void RemoveIfSame(const std::string& path, const FileIdentity& identity) override {
    platform::RemoveIfSame(path, identity);
  }

  void RemoveStale(const std::string& path, const FileIdentity& protect) override {
    platform::RemoveStale(path, protect);
  }

  bool IsReadable(const std::string& path) override { return platform::IsReadable(path); }
};

}  // namespace

FileSystem& RealFileSystem() {
  static Real real;
  return real;
}

}  // namespace zelbo
