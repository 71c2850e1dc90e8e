#include "common/paths.h"

namespace zelbo {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Only a letter and a colon make a drive: "\:x" is a directory and a name.
bool HasDrive(std::string_view path, const platform::PathStyle& style) {
  return style.drive_letters && path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

}  // namespace

PathPieces fnsplit(std::string_view path, const platform::PathStyle& style) {
  PathPieces pieces;
  if (HasDrive(path, style)) {
    pieces.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  const std::size_t separator = path.find_last_of(style.separators);
  if (separator != std::string_view::npos) {
    pieces.directory = path.substr(0, separator + 1);
    path.remove_prefix(separator + 1);
  }
  const std::size_t dot = path.rfind('.');
  pieces.name = path.substr(0, dot);
  if (dot != std::string_view::npos) pieces.extension = path.substr(dot);
  return pieces;
}

std::string fnmerge(std::string_view drive, std::string_view directory,
                    std::string_view name, std::string_view extension,
                    const platform::PathStyle& style) {
  std::string result;
  if (!drive.empty()) result.append(1, drive.front()).append(1, ':');
  if (!directory.empty()) {
    if (!style.IsSeparator(directory.front())) result.push_back(style.preferred);
    result.append(directory);
    if (!style.IsSeparator(result.back())) result.push_back(style.preferred);
  }
  result.append(name);
  if (!extension.empty()) {
    if (extension.front() != '.') result.push_back('.');
    result.append(extension);
  }
  return result;
}

}  // namespace zelbo
