// CZELBO32: splits one file into numbered parts beside it and writes the
// scripts that join them again.
#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/console_output.h"
#include "console/split_run.h"
#include "platform/system.h"

namespace zelbo::console {

void usage() {
  StandardOutput().Print(UsageText(platform::SlashIntroducesOptions()));
}

namespace {

ExitStatus ParameterError(std::string_view line) {
  StandardOutput().Print(line);
  usage();
  return ExitStatus::kParameterError;
}

ExitStatus Run(const std::vector<std::string>& arguments) {
  const ParsedCommandLine parsed =
      ParseCommandLine(arguments, platform::SlashIntroducesOptions());
  switch (parsed.verdict) {
    case ParseVerdict::kHelp:
      usage();
      return ExitStatus::kSuccess;
    case ParseVerdict::kVersion:
      StandardOutput().Print(VersionLine());
      return ExitStatus::kSuccess;
    case ParseVerdict::kUsage:
      usage();
      return ExitStatus::kParameterError;
    case ParseVerdict::kNoFile:
      return ParameterError("ERROR: No file specified!\n");
    case ParseVerdict::kNoSize:
      return ParameterError("ERROR: No parts or size specified!\n");
    case ParseVerdict::kBadNumber:
      return ParameterError("ERROR: Invalid number in option \"" +
                            parsed.offending_argument + "\"!\n");
    case ParseVerdict::kRun:
      break;
  }
  return RunConsoleSplit(parsed.request, StandardOutput());
}

}  // namespace
}  // namespace zelbo::console

int main(int argc, char** argv) {
  zelbo::platform::PrepareProcess();
  return static_cast<int>(zelbo::console::Run(zelbo::platform::ProgramArguments(argc, argv)));
}
