#include "gui/file_checks.h"

#include <filesystem>
#include <fstream>

namespace zelbo::gui {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// A file this user may not replace: one that no one may write (its owner
// marked it so; the administrator could still write it), or one that this
// user cannot open for writing. Opening it to append changes nothing in it.
bool IsReadOnly(const fs::path& file) {
  constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write |
                                  fs::perms::others_write;
  std::error_code error;
  if ((fs::status(file, error).permissions() & kAnyWrite) == fs::perms::none) return true;
  return !std::ofstream(file, std::ios::binary | std::ios::app).is_open();
}

// Whether this user can create a file in the folder, tried with a file of
// a name of our own that is removed again at once.
bool CanCreateFilesIn(const fs::path& folder) {
  const fs::path trial = folder / ".zelbo-write-trial";
  std::error_code error;
  if (fs::exists(trial, error)) return true;  // someone's: left as it is
  const bool created = std::ofstream(trial, std::ios::binary).is_open();
  fs::remove(trial, error);
  return created;
}

fs::file_status StatusOf(const std::string& path) {
  std::error_code error;
  return fs::status(PathOf(path), error);  // not_found or none on an error
}

bool IsSplittable(const fs::file_status& status) {
  return fs::is_regular_file(status) || fs::is_block_file(status);
}

}  // namespace

bool IsSplittable(const std::string& path) { return IsSplittable(StatusOf(path)); }

std::string SourceRefusal(const std::string& path) {
  const fs::file_status status = StatusOf(path);
  if (!fs::exists(status) || fs::is_directory(status) || IsSplittable(status)) return {};
  return path + "\nThis is not a file that can be split.\nChoose a file.";
}

std::string BatchNameRefusal(const std::string& path) {
  const fs::path file = PathOf(path);
  std::error_code error;
  if (fs::is_directory(file, error)) return {};  // the dialog opens it
  if (!fs::is_directory(file.parent_path(), error)) {
    return path + "\nThe folder does not exist.\nCheck the path and try again.";
  }
  if (fs::is_regular_file(file, error) && IsReadOnly(file)) {
    return path + "\nThis file is read-only.\nTry again with a different name.";
  }
  if (!CanCreateFilesIn(file.parent_path())) {
    return path + "\nYou cannot write to this folder.\nChoose another folder.";
  }
  return {};
}

}  // namespace zelbo::gui
