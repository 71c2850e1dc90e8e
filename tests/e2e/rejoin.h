// Splitting a file with one program and joining the parts with the script
// that another interpreter runs, in the parts' folder.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {

// A build of the splitter and how to start it.
struct Splitter {
  std::string label;
  std::string program;
  std::vector<std::string> prefix;  // e.g. {"wine"}
};

// An interpreter that runs one of the written scripts.
struct Joiner {
  std::string label;
  std::string program;
  std::vector<std::string> prefix;             // e.g. {"wine"}
  std::vector<std::string> leading_arguments;  // before the script's name
  std::string script;                          // "unsplit.sh" or "unsplit.bat"
  std::string other_script;                    // the one left for the other system
};

struct RejoinCase {
  std::string label;
  std::string source_name;
  std::size_t size;
  std::string option;
};

inline void PrintTo(const Splitter& splitter, std::ostream* out) { *out << splitter.label; }
inline void PrintTo(const Joiner& joiner, std::ostream* out) { *out << joiner.label; }
inline void PrintTo(const RejoinCase& rejoin, std::ostream* out) { *out << rejoin.label; }

inline Splitter LinuxSplitter() { return {"linux", kProgram, {}}; }

class RejoinFixture {
 protected:
  // Splits a new source with `splitter`, moves the source away (leaving a
  // file in its place when `destination_exists`), and runs `joiner`.
  testing::ProgramRun SplitAndJoin(const Splitter& splitter, const Joiner& joiner,
                                   const RejoinCase& rejoin, bool destination_exists) {
    original_ = testing::PatternBytes(rejoin.size, 7);
    testing::WriteFile(parts_ / rejoin.source_name, original_);
    testing::RunOptions in_parts;
    in_parts.working_directory = parts_.path();
    in_parts.command_prefix = splitter.prefix;
    // "./" keeps a name that starts with '-' from reading as an option.
    const auto split =
        testing::RunProgram(splitter.program, {"./" + rejoin.source_name, rejoin.option}, in_parts);
    EXPECT_EQ(split.exit_code, 0) << split.output;

    fs::rename(parts_ / rejoin.source_name, elsewhere_ / "original");
    if (destination_exists) testing::WriteFile(parts_ / rejoin.source_name, "in the way");

    in_parts.command_prefix = joiner.prefix;
    std::vector<std::string> arguments = joiner.leading_arguments;
    arguments.push_back(joiner.script);
    return testing::RunProgram(joiner.program, arguments, in_parts);
  }

  // The source is back, byte for byte, and only the other system's script
  // is left beside it.
  void ExpectRestored(const RejoinCase& rejoin, const Joiner& joiner) {
    const auto compared = testing::RunProgram(
        "/usr/bin/cmp", {(parts_ / rejoin.source_name).string(), (elsewhere_ / "original").string()});
    EXPECT_EQ(compared.exit_code, 0) << compared.output;
    std::vector<std::string> expected = {rejoin.source_name, joiner.other_script};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LeftInParts(), expected);
  }

  std::vector<std::string> LeftInParts() const { return testing::SortedNames(parts_.path()); }

  std::string original_;
  testing::TempDir parts_;
  testing::TempDir elsewhere_;
};

}  // namespace zelbo::e2e
