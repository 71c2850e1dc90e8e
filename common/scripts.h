// The two reassembly scripts that both programs leave beside the parts: a
// DOS batch file (CR LF line ends) and a POSIX shell script (LF line ends).
// Each appends parts 2..n to part 1, deleting each once appended, gives
// part 1 the source's name and finally deletes itself.
//
// Both are written for a user who has nothing but the parts:
// - they work in their own folder, wherever they are started from; with
//   "--check" (sh) or "/CHECK" (cmd) they only check and name each part;
// - one join at a time: each makes the folder B.lock first (atomically, with
//   mkdir or MD) and removes it at the end; a killed run leaves it, and the
//   message says what to do then;
// - before changing anything they check every part still to append: there,
//   with the size it was written with, and with its SHA-256 (one run of the
//   fastest tool for all parts; certutil in the batch, whose output is only
//   ever compared, never read into a variable); where no tool works they say
//   once that they check sizes only; part 1 must hold exactly what the
//   parts before the next one hold (a little more after an append that
//   stopped halfway: the shell script cuts that back), so a second run after
//   a failure goes on where the first stopped;
// - sizes are compared as text that the program wrote, never with the
//   shell's or cmd's arithmetic (32 bits in mksh and SET /A); the shell
//   script reads them with one `ls` whatever the user's settings; the batch
//   takes wine's low-32-bit form of a size only where no other state of the
//   join has the same form;
// - at the first failing append the script stops with a message naming the
//   part: it deletes no further part, renames nothing, does not delete
//   itself, and exits non-zero; the shell script reads no size after an
//   append that worked, and appends small parts a group (up to 64 MiB) per
//   cat where df finds room for that, else one at a time;
// - part 1 as a link (whose target an append would change) is refused, and
//   so is a joined file of 4 GiB or more where the file system cannot hold
//   it (getconf, fsutil);
// - read-only parts (copied off a CD) are made writable or deleted anyway;
// - the batch, which has no command to cut a file back, first copies the
//   largest part still to append once into its lock folder to find out
//   whether there is room for it, and when an append stops halfway all the
//   same it refuses to go on from part 1.
//
// Names are written so that none can run a command: the batch doubles every
// '%', keeps every name in double quotes and runs with delayed expansion
// off; the shell script escapes $ ` " \ inside its double quotes, puts ./
// before a word that begins with '-', and holds the names in its first
// lines. A name with a line break cannot be carried at all: check
// ScriptsCanCarry() before writing anything. A name that only the batch
// cannot carry (BatchObstacleFor) gives a batch that refuses to touch
// anything and says why; the shell script still carries it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>


namespace zelbo {

enum class ScriptVariant {
  kWindowed,  // banner with the web address; scripts named after the batch
  kConsole,   // plain banner; scripts always named "unsplit"
};

// Everything the scripts need to know about one set of parts.
struct ScriptInput {
  ScriptVariant variant = ScriptVariant::kConsole;
  std::string scriptBaseName;  // the parts' base name, e.g. "part"
  std::string sourceFileName;  // the name the scripts restore
  std::string batchBaseName;   // the scripts' own name without extension
  // The bytes written into parts 1..n, in order; n is the number of parts.
  // An empty list stands for one empty part.
  std::vector<std::int64_t> partSizes;
  // The SHA-256 of parts 1..n as 64 lower-case hex digits each, in order;
  // empty when the run computed none (the scripts then check sizes only).
  std::vector<std::string> partDigests;
};

// The web address named in the windowed variant's banner lines.
std::string_view MakerWebAddress();

// False for a name that no script line can hold (it contains a line break).
bool ScriptsCanCarry(std::string_view name);

// Why the batch cannot carry a set's names; the shell script still can.
enum class BatchObstacle {
  kNone,
  kDoubleQuote,       // cmd has no escape for '"' inside quotes
  kNotAWindowsName,   // \ / : * ? < > | or a control character, or a
                      // trailing dot or blank, which Windows drops
  kDeviceName,        // CON, NUL, COM1, ... with any extension
  kCodePage,          // cmd would read the name back as another one
};

// The first obstacle among the names the batch holds: the parts' base name,
// the restored name and (windowed variant) the batch's own name.
BatchObstacle BatchObstacleFor(const ScriptInput& input);

// The line that tells at split time that the batch cannot restore the file
// (without a line end), or "" when it can.
std::string BatchNotice(const ScriptInput& input);

// True for a name that Windows keeps for a device whatever its extension:
// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 (also with the superscript
// digits 1-3), in any letter case, with trailing blanks before the dot.
bool IsReservedDeviceName(std::string_view fileName);

// The scripts' texts; the batch is UTF-8 here, before the conversion of
// WriteDosBatch.
std::string DosBatchText(const ScriptInput& input);
std::string ShellScriptText(const ScriptInput& input);

}  // namespace zelbo
