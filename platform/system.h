// The small conventions in which the platforms differ: how paths are
// written, how options are introduced, and how text reaches the console.
// One source per platform (system_posix.cpp, system_win32.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelbo::platform {

// Puts the process into the state the programs rely on, before anything
// else runs. POSIX: standard input, output and error that were closed are
// opened on /dev/null (else the first file opened would become standard
// output and receive what is printed); a write past the file-size limit or
// to a pipe whose reader went away fails with an error instead of killing
// the process (SIGXFSZ, SIGPIPE ignored). Windows: nothing to do.
void PrepareProcess();

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

// Writes UTF-8 text to standard output so that it reaches the terminal at
// once. On Windows a console gets the text as UTF-16, so that every name
// shows right whatever the console's code page; a redirected output gets the
// UTF-8 bytes.
void WriteStdout(std::string_view text);

// The program's arguments without the program name, as UTF-8, after the
// platform's start-up conventions. POSIX: argv as the shell passed it.
// Windows: read from the UTF-16 command line (argv holds only what the ANSI
// code page can), split by the rules of the C runtime, and each argument
// that holds '*' or '?' outside double quotes replaced by the names of the
// files it matches, sorted without regard to case and prefixed with the
// pattern's folder as typed; a pattern that matches nothing stays as typed.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A batch file's text (UTF-8, lines ended by CR LF) as the bytes that the
// platform's command interpreter reads. cmd reads a batch in the OEM code
// page, so on Windows the text is converted to it; a text with a character
// that the OEM code page lacks stays UTF-8 (no conversion could name that
// file). Elsewhere the text comes back unchanged.
std::string BatchFileBytes(std::string text);

// True when the platform's command interpreter reads `text` (UTF-8) back
// exactly from a batch file written with BatchFileBytes. Windows: when the
// OEM code page holds every character of it. Elsewhere the code page of the
// system that will run the batch is not known, so only plain ASCII is.
bool BatchCanHold(std::string_view text);

// True where names such as CON or NUL.txt stand for devices (Windows): a
// file of such a name cannot be restored there.
bool ReservesDeviceNames();

}  // namespace zelbo::platform
