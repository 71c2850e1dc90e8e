// Temporary folders and whole-file helpers for tests, on every platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zelbo::testing {

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// False where the system refuses (a name it cannot hold, a file it locks).
bool TryWriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reproducible bytes that differ at every offset of a part.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 1);

// The names in a folder, sorted.
std::vector<std::string> SortedNames(const std::filesystem::path& folder);

}  // namespace zelbo::testing
