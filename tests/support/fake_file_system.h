// A file system in memory that fails on demand: the source cannot be opened
// or measured, a read fails after n bytes, a part cannot be created, takes
// only n bytes (a full disk), fails to close, or the source cannot be
// repositioned. Names follow the real rules: an output replaces a regular
// file (its other names keep their bytes), refuses the source under any
// name and refuses anything that is not a regular file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "common/file_system.h"

namespace zelbo::testing {

enum class FaultKind { kOpenSource, kSize, kRead, kSeek, kCreate, kWrite, kClose };

struct Fault {
  FaultKind kind;
  std::string path;        // the file it strikes
  std::int64_t after = 0;  // kRead: source offset; kWrite: bytes the file takes
  int times = 1;           // how often it strikes; -1: always
  int skip = 0;            // chances it lets pass before it strikes
};

inline void PrintTo(const Fault& fault, std::ostream* out) {
  static constexpr const char* kNames[] = {"open", "size", "read", "seek", "create", "write", "close"};
  *out << kNames[static_cast<int>(fault.kind)] << " " << fault.path << " after " << fault.after;
}

class FakeFileSystem final : public FileSystem {
 public:
  enum class Kind { kRegular, kDirectory, kFifo };

  void Add(const std::string& path, const std::string& bytes, std::uint32_t permissions = 0644);
  void AddOther(const std::string& path, Kind kind);
  // A second name for the file at `existing`.
  void Link(const std::string& existing, const std::string& name);
  void Append(const std::string& path, const std::string& bytes);

  bool Exists(const std::string& path) const { return nodes_.count(path) != 0; }
  std::string Contents(const std::string& path) const;
  std::uint32_t Permissions(const std::string& path) const;
  // Every name, sorted.
  std::vector<std::string> Names() const;

  void Inject(Fault fault) { faults_.push_back(std::move(fault)); }
  void ClearFaults() { faults_.clear(); }
  // Lets sources share their blocks with outputs (block size 4096).
  void AllowClones(bool allowed) { clones_allowed_ = allowed; }
  int clones() const { return clones_; }
  // Called with each output's path once it is created.
  std::function<void(const std::string&)> on_create;

  Result<std::unique_ptr<SourceFile>> OpenSource(const std::string& path) override;
  Result<std::unique_ptr<OutputFile>> CreateOutput(const std::string& path,
                                                   const FileIdentity* protect,
                                                   std::uint32_t permissions) override;
  void RemoveIfSame(const std::string& path, const FileIdentity& identity) override;
  void RemoveStale(const std::string& path, const FileIdentity& protect) override;
  bool IsReadable(const std::string& path) override { return Exists(path); }

  struct Node {
    Kind kind = Kind::kRegular;
    std::string bytes;
    std::uint32_t permissions = 0644;
    FileIdentity identity;
  };

  // For the fake files: the fault of `kind` on `path` that strikes at
  // `offset`, used up when it does.
  const Fault* Strike(FaultKind kind, const std::string& path, std::int64_t offset = 0);
  void CountClone() { ++clones_; }
  bool clones_allowed() const { return clones_allowed_; }

 private:
  std::shared_ptr<Node> NewNode(Kind kind);

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::vector<Fault> faults_;
  std::uint64_t next_index_ = 1;
  bool clones_allowed_ = false;
  int clones_ = 0;
};

}  // namespace zelbo::testing
