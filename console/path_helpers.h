// The console program's path and number helpers: taking a path apart and
// putting one together, measuring a file, and printing a size in decimal.
// All work on byte strings of any length; nothing is case-folded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace zelbo::console {

struct PathPieces {
  std::string drive;      // "C:" or empty
  std::string directory;  // without its last separator; keeps a leading one
  std::string name;       // up to the last dot of the last element
  std::string extension;  // from that dot on, dot included, or empty
};

// Splits `path` from the left: drive (where the style has drives), the
// directory before the last separator, then name and extension.
PathPieces fnsplit(std::string_view path,
                   const platform::PathStyle& style = platform::NativePathStyle());

// Builds a path from pieces; an empty piece adds nothing. The directory gets
// a leading separator unless it has one and a trailing one unless the text
// already ends with one; the extension gets a dot unless it has one.
std::string fnmerge(std::string_view drive, std::string_view directory,
                    std::string_view name, std::string_view extension,
                    const platform::PathStyle& style = platform::NativePathStyle());

// The folder of `path` exactly as written in it, ready to have a file name
// appended: everything up to and including the last separator, or the drive
// alone ("C:"), or empty for a bare name. Unlike fnsplit + fnmerge this keeps
// a root folder and a relative directory as they are.
std::string FolderPrefix(std::string_view path,
                         const platform::PathStyle& style = platform::NativePathStyle());

// The size of the file at `path` in bytes, or -1 when the calling user may
// not read it, it cannot be opened, it is a directory, or the size query fails.
std::int64_t getthefilesize(const std::string& path);

// Decimal text without separators; a leading '-' for negative values. Every
// 64-bit value converts, the smallest one included.
std::string LongLongToStr(std::int64_t value);

}  // namespace zelbo::console
