// The small conventions in which the platforms differ: how paths are
// written, how options are introduced, and how text reaches the console.
// One source per platform (system_posix.cpp, system_win32.cpp).
#pragma once

#include <string_view>

namespace zelbo::platform {

// How a platform writes paths.
struct PathStyle {
  bool drive_letters;           // "C:" may start a path
  std::string_view separators;  // characters that separate directories
  char preferred;               // the separator the platform writes itself

  bool IsSeparator(char c) const { return separators.find(c) != std::string_view::npos; }
};

inline constexpr PathStyle kPosixPaths{false, "/", '/'};
// '/' separates on Windows too: without it C:/data/big.iso would scatter its
// parts into the drive's current folder.
inline constexpr PathStyle kWindowsPaths{true, "\\/", '\\'};

// The path style of the platform this program runs on.
const PathStyle& NativePathStyle();

// True where an option may also start with '/' (Windows). On POSIX '/'
// starts an absolute path, so only '-' introduces an option there.
bool SlashIntroducesOptions();

// Writes text to standard output so that it reaches the terminal at once.
void WriteStdout(std::string_view text);

}  // namespace zelbo::platform
