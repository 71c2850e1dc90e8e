// The console split run: measure the source, plan, copy it into numbered
// parts with a turning progress mark, then write "unsplit.bat" and
// "unsplit.sh" beside the parts. Everything it prints goes to standard
// output; the first failure prints its line and ends the run.
#pragma once

#include <cstdint>
#include <string>

#include "common/split_engine.h"
#include "console/command_line.h"
#include "console/console_output.h"

namespace zelbo::console {

enum class PlanProblem {
  kNone,
  kPartsTooLarge,  // the part size exceeds the source (or the source is empty)
  kTooManyParts,   // more than 1000 whole parts
};

struct ConsolePlan {
  PlanProblem problem = PlanProblem::kNone;
  std::int64_t partSize = 0;      // bytes per part
  std::int64_t wholeParts = 0;    // full parts (size mode)
  std::int64_t remainder = 0;     // bytes of the last, shorter part (size mode)
  std::int32_t partsToWrite = 0;  // files the copy will make
};

inline constexpr std::int64_t kMaxWholeParts = 1000;

// Plans a request for a source of `sourceSize` bytes. A part count outranks
// a part size; count mode rounds the part size up.
ConsolePlan PlanSplit(std::int64_t sourceSize, const SplitRequest& request);

// What the run prints after "We will split the file "..." into ".
std::string PlanText(const ConsolePlan& plan, std::int64_t sourceSize,
                     const SplitRequest& request);

// The line that refuses a plan whose parts the destination cannot hold.
std::string LimitText(const PartLimit& limit, const ConsolePlan& plan, std::int64_t sourceSize,
                      const SplitRequest& request);

// Runs the whole split, printing to `out`, and returns the exit status.
ExitStatus RunConsoleSplit(const SplitRequest& request, ConsoleOutput& out);

}  // namespace zelbo::console
