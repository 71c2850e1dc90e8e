// The two reassembly scripts that both programs leave beside the parts: a
// DOS batch file (CRLF line ends) and a POSIX shell script (LF line ends).
// Each appends parts 2..n to part 1, deleting each once appended, gives
// part 1 the source's name and finally deletes itself.
//
// Names are written so that none can run a command or break the join: the
// batch doubles every '%'; the shell script escapes $ ` " \ inside its
// double quotes and puts ./ before a word that begins with '-'. Ordinary
// names come out byte for byte as they are. A name with a line break cannot
// be carried at all: check ScriptsCanCarry() before writing anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>


namespace zelbo {

enum class ScriptVariant {
  kWindowed,  // banner with the web address; scripts named after the batch
  kConsole,   // plain banner; scripts always named "unsplit"
};

struct ScriptNames {
  std::string_view scriptBaseName;  // the parts' base name, e.g. "part"
  std::string_view sourceFileName;  // the name the scripts restore
  std::string_view batchBaseName;   // the scripts' own name, no extension
};

// The web address named in the windowed variant's banner lines.
std::string_view MakerWebAddress();

// False for a name that no script line can hold (it contains a line break).
bool ScriptsCanCarry(std::string_view name);

std::string DosBatchText(ScriptVariant variant, const ScriptNames& names,
                         std::int32_t part_count);
std::string ShellScriptText(ScriptVariant variant, const ScriptNames& names,
                            std::int32_t part_count);

}  // namespace zelbo
