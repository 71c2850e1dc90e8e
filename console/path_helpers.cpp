#include "console/path_helpers.h"

#include <algorithm>

#include "platform/file.h"

namespace zelbo::console {
namespace {

bool HasDrive(std::string_view path, const platform::PathStyle& style) {
  return style.drive_letters && path.size() >= 2 && path[1] == ':';
}

std::size_t LastSeparator(std::string_view text, const platform::PathStyle& style) {
  return text.find_last_of(style.separators);
}

}  // namespace

PathPieces fnsplit(std::string_view path, const platform::PathStyle& style) {
  PathPieces pieces;
  if (HasDrive(path, style)) {
    pieces.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  const std::size_t separator = LastSeparator(path, style);
  if (separator != std::string_view::npos) {
    pieces.directory = path.substr(0, separator);
    path.remove_prefix(separator + 1);
  }
  const std::size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) {
    pieces.name = path.substr(0, dot);
    pieces.extension = path.substr(dot);
  } else {
    pieces.name = path;
  }
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

std::string FolderPrefix(std::string_view path, const platform::PathStyle& style) {
  const std::size_t separator = LastSeparator(path, style);
  if (separator != std::string_view::npos) return std::string(path.substr(0, separator + 1));
  return HasDrive(path, style) ? std::string(path.substr(0, 2)) : std::string();
}

std::int64_t getthefilesize(const std::string& path) {
  if (!platform::IsReadable(path)) return -1;
  auto file = platform::InputFile::Open(path);
  if (!file.ok()) return -1;
  auto size = file.value().Size();
  return size.ok() ? size.value() : -1;
}

std::string LongLongToStr(std::int64_t value) {
  static constexpr char digits[] = "0123456789";
  // The magnitude as unsigned, so that the smallest value has one too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  std::string text;
  do {
    text.push_back(digits[magnitude % 10]);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}

}  // namespace zelbo::console
