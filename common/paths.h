// Taking a path apart and putting one together, for both programs. Work on
// byte strings of any length; nothing is case-folded or converted.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"

namespace zelbo {

struct PathPieces {
  std::string drive;      // "C:" (a letter and a colon, where the style has drives) or empty
  std::string directory;  // up to and including the last separator, or empty
  std::string name;       // the rest up to its last dot
  std::string extension;  // from that dot on, dot included, or empty

  // Drive and directory: the folder exactly as written, ready to have a
  // file name appended ("C:\data\", "C:\", "C:", "sub/", or empty).
  std::string Folder() const { return drive + directory; }
  // Name and extension: the file's own name.
  std::string FileName() const { return name + extension; }
};

// Splits `path` from the left: the drive, the directory before and
// including the last separator, then name and extension at the last dot.
PathPieces fnsplit(std::string_view path,
                   const platform::PathStyle& style = platform::NativePathStyle());

// Builds a path from pieces; an empty piece adds nothing. The drive gives
// its letter and a colon; the directory gets a leading separator unless it
// has one and a trailing one unless the text then ends with one; the
// extension gets a dot unless it has one.
std::string fnmerge(std::string_view drive, std::string_view directory,
                    std::string_view name, std::string_view extension,
                    const platform::PathStyle& style = platform::NativePathStyle());

}  // namespace zelbo
