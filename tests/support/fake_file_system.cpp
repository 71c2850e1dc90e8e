#include "tests/support/fake_file_system.h"

#include <algorithm>

namespace zelbo::testing {
namespace {

using Node = FakeFileSystem::Node;

Error Failure(ErrorKind kind, const std::string& path, std::string call,
              std::string text = "Input/output error") {
  return Error{kind, path, std::move(call), std::move(text)};
}

class FakeOutput final : public OutputFile {
 public:
  FakeOutput(FakeFileSystem& files, std::string path, std::shared_ptr<Node> node)
      : files_(files), path_(std::move(path)), node_(std::move(node)) {}

  Status Write(std::string_view bytes) override {
    if (closed_) return Failure(ErrorKind::kWrite, path_, "write", "Bad file descriptor");
    const auto size = static_cast<std::int64_t>(node_->bytes.size());
    const auto wanted = static_cast<std::int64_t>(bytes.size());
    if (const Fault* full = files_.Strike(FaultKind::kWrite, path_, size + wanted)) {
      const auto room = std::max<std::int64_t>(0, full->after - size);
      node_->bytes.append(bytes.substr(0, static_cast<std::size_t>(std::min(room, wanted))));
      return Failure(ErrorKind::kWrite, path_, "write", "No space left on device");
    }
    node_->bytes.append(bytes);
    return {};
  }

  Status Close() override {
    if (closed_) return {};
    closed_ = true;
    if (files_.Strike(FaultKind::kClose, path_)) {
      return Failure(ErrorKind::kClose, path_, "close", "No space left on device");
    }
    return {};
  }

  void Discard() override { closed_ = true; }
  const std::string& path() const override { return path_; }
  const FileIdentity& identity() const override { return node_->identity; }
  Node& node() { return *node_; }

 private:
  FakeFileSystem& files_;
  std::string path_;
  std::shared_ptr<Node> node_;
  bool closed_ = false;
};

class FakeSource final : public SourceFile {
 public:
  FakeSource(FakeFileSystem& files, std::string path, std::shared_ptr<Node> node)
      : files_(files), path_(std::move(path)), node_(std::move(node)) {}

  Result<std::int64_t> Size() override {
    if (files_.Strike(FaultKind::kSize, path_)) return Failure(ErrorKind::kSize, path_, "fstat");
    return static_cast<std::int64_t>(node_->bytes.size());
  }

  Status Seek(std::int64_t offset) override {
    if (files_.Strike(FaultKind::kSeek, path_)) return Failure(ErrorKind::kSeek, path_, "lseek");
    position_ = offset;
    return {};
  }

  Result<std::size_t> TransferTo(OutputFile& out, std::size_t count) override {
    const std::string bytes = Take(static_cast<std::int64_t>(count));
    if (files_.Strike(FaultKind::kRead, path_, position_ + static_cast<std::int64_t>(bytes.size()))) {
      return Failure(ErrorKind::kRead, path_, "read");
    }
    position_ += static_cast<std::int64_t>(bytes.size());
    if (Status written = out.Write(bytes); !written.ok()) return written.error();
    return bytes.size();
  }

  Result<std::int64_t> CloneTo(OutputFile& out, std::int64_t count) override {
    const auto size = static_cast<std::int64_t>(node_->bytes.size());
    const std::int64_t length = std::min(count, std::max<std::int64_t>(0, size - position_));
    const bool aligned = position_ % BlockSize() == 0 &&
                         (length % BlockSize() == 0 || position_ + length == size);
    if (!files_.clones_allowed() || !aligned) {
      return Failure(ErrorKind::kUnsupported, out.path(), "clone", "Operation not supported");
    }
    auto& part = static_cast<FakeOutput&>(out);
    if (part.node().bytes.size() % static_cast<std::size_t>(BlockSize()) != 0) {
      return Failure(ErrorKind::kUnsupported, out.path(), "clone", "Invalid argument");
    }
    if (Status written = out.Write(Take(length)); !written.ok()) return written.error();
    position_ += length;
    files_.CountClone();
    return length;
  }

  std::int64_t BlockSize() const override { return 4096; }

  Result<bool> HasMore() override {
    return position_ < static_cast<std::int64_t>(node_->bytes.size());
  }

  const std::string& path() const override { return path_; }
  const FileIdentity& identity() const override { return node_->identity; }
  std::uint32_t permissions() const override { return node_->permissions; }

 private:
  std::string Take(std::int64_t count) const {
    const auto size = static_cast<std::int64_t>(node_->bytes.size());
    if (position_ >= size) return {};
    return node_->bytes.substr(static_cast<std::size_t>(position_),
                               static_cast<std::size_t>(std::min(count, size - position_)));
  }

  FakeFileSystem& files_;
  std::string path_;
  std::shared_ptr<Node> node_;
  std::int64_t position_ = 0;
};

}  // namespace

std::shared_ptr<Node> FakeFileSystem::NewNode(Kind kind) {
  auto node = std::make_shared<Node>();
  node->kind = kind;
  node->identity = FileIdentity{1, next_index_++};
  return node;
}

void FakeFileSystem::Add(const std::string& path, const std::string& bytes,
                         std::uint32_t permissions) {
  auto node = NewNode(Kind::kRegular);
  node->bytes = bytes;
  node->permissions = permissions;
  nodes_[path] = std::move(node);
}

void FakeFileSystem::AddOther(const std::string& path, Kind kind) { nodes_[path] = NewNode(kind); }

void FakeFileSystem::Link(const std::string& existing, const std::string& name) {
  nodes_[name] = nodes_.at(existing);
}

void FakeFileSystem::Append(const std::string& path, const std::string& bytes) {
  nodes_.at(path)->bytes += bytes;
}

std::string FakeFileSystem::Contents(const std::string& path) const {
  const auto found = nodes_.find(path);
  return found == nodes_.end() ? std::string() : found->second->bytes;
}

std::uint32_t FakeFileSystem::Permissions(const std::string& path) const {
  return nodes_.at(path)->permissions;
}

std::vector<std::string> FakeFileSystem::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, node] : nodes_) names.push_back(name);
  return names;
}

const Fault* FakeFileSystem::Strike(FaultKind kind, const std::string& path, std::int64_t offset) {
  for (Fault& fault : faults_) {
    if (fault.kind != kind || fault.path != path || fault.times == 0) continue;
    const bool at_offset = kind == FaultKind::kRead || kind == FaultKind::kWrite;
    if (at_offset && offset <= fault.after) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (fault.times > 0) --fault.times;
    return &fault;
  }
  return nullptr;
}

Result<std::unique_ptr<SourceFile>> FakeFileSystem::OpenSource(const std::string& path) {
  const auto found = nodes_.find(path);
  if (found == nodes_.end()) {
    return Failure(ErrorKind::kOpen, path, "open", "No such file or directory");
  }
  if (found->second->kind != Kind::kRegular) {
    return Failure(ErrorKind::kOpen, path, "open", "not a regular file");
  }
  if (Strike(FaultKind::kOpenSource, path)) {
    return Failure(ErrorKind::kOpen, path, "open", "Permission denied");
  }
  return std::unique_ptr<SourceFile>(std::make_unique<FakeSource>(*this, path, found->second));
}

Result<std::unique_ptr<OutputFile>> FakeFileSystem::CreateOutput(const std::string& path,
                                                                 const FileIdentity* protect,
                                                                 std::uint32_t permissions) {
  if (const auto found = nodes_.find(path); found != nodes_.end()) {
    if (protect != nullptr && found->second->identity == *protect) {
      return Failure(ErrorKind::kSameAsSource, path, "open", "the output would replace the source file");
    }
    if (found->second->kind != Kind::kRegular) {
      return Failure(ErrorKind::kCreate, path, "open", "not a regular file");
    }
    nodes_.erase(found);
  }
  if (Strike(FaultKind::kCreate, path)) {
    return Failure(ErrorKind::kCreate, path, "open", "Permission denied");
  }
  auto node = NewNode(Kind::kRegular);
  node->permissions = permissions;
  nodes_[path] = node;
  if (on_create) on_create(path);
  return std::unique_ptr<OutputFile>(std::make_unique<FakeOutput>(*this, path, node));
}

void FakeFileSystem::RemoveIfSame(const std::string& path, const FileIdentity& identity) {
  const auto found = nodes_.find(path);
  if (found != nodes_.end() && found->second->identity == identity) nodes_.erase(found);
}

void FakeFileSystem::RemoveStale(const std::string& path, const FileIdentity& protect) {
  const auto found = nodes_.find(path);
  if (found != nodes_.end() && found->second->kind == Kind::kRegular &&
      !(found->second->identity == protect)) {
    nodes_.erase(found);
  }
}

}  // namespace zelbo::testing
