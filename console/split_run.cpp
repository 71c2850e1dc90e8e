#include "console/split_run.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "common/part_names.h"
#include "common/scripts.h"
#include "console/path_helpers.h"
#include "platform/file.h"
#include "platform/system.h"

namespace zelbo::console {
namespace {

constexpr std::size_t kReadUnit = 32768;
// Each mark is followed by a backspace, so the next one overwrites it.
constexpr std::array<std::string_view, 4> kSpinner = {"|\b", "/\b", "-\b", "\\\b"};

void Print(std::string_view text) { platform::WriteStdout(text); }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The names the run derives from the source path.
struct OutputNames {
  std::string folder;          // where parts and scripts go, ready for a name
  std::string scriptBaseName;  // the parts' base name
  std::string sourceFileName;  // what the scripts restore
  std::string partBasePath;    // folder + scriptBaseName
};

OutputNames NamesFor(const std::string& sourcePath) {
  const PathPieces pieces = fnsplit(sourcePath);
  OutputNames names;
  names.folder = FolderPrefix(sourcePath);
  names.scriptBaseName = IsLongName(pieces.name, pieces.extension)
                             ? std::string(kShortPartBaseName)
                             : pieces.name;
  names.sourceFileName = fnmerge("", "", pieces.name, pieces.extension);
  names.partBasePath = names.folder + names.scriptBaseName;
  return names;
}

ExitStatus Fail(std::string_view line, ExitStatus status) {
  Print(line);
  return status;
}

ExitStatus PartWriteFailed(const Error& error) {
  return Fail("ERROR: Unable to write output file " + Quoted(error.path) + ": " +
                  error.os_text + "\n",
              ExitStatus::kFileError);
}

struct CopyOutcome {
  ExitStatus status = ExitStatus::kSuccess;
  std::int32_t partsWritten = 0;
  std::vector<std::int64_t> partSizes;  // bytes in each part written
};

// Copies one part; sets `end_of_source` when a read finds the end.
ExitStatus CopyPart(platform::InputFile& source, platform::OutputFile& part,
                    std::int64_t partSize, bool& end_of_source, std::int64_t& copied) {
  static std::array<std::byte, kReadUnit> buffer;
  std::int64_t remaining = partSize;
  std::size_t spin = 0;
  while (!end_of_source && remaining > 0) {
    Print(kSpinner[spin]);
    spin = (spin + 1) % kSpinner.size();
    const auto unit = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kReadUnit)));
    auto moved = platform::TransferChunk(source, part, std::span(buffer).first(unit));
    if (!moved.ok()) {
      if (moved.error().kind != ErrorKind::kRead) return PartWriteFailed(moved.error());
      (void)part.Close();
      return Fail("File reading error!\n", ExitStatus::kFileError);
    }
    if (moved.value() == 0) {
      end_of_source = true;
    } else {
      remaining -= static_cast<std::int64_t>(moved.value());
      copied += static_cast<std::int64_t>(moved.value());
    }
  }
  const Status closed = part.Close();
  return closed.ok() ? ExitStatus::kSuccess : PartWriteFailed(closed.error());
}

CopyOutcome CopyParts(platform::InputFile& source, const ConsolePlan& plan,
                      const OutputNames& names) {
  CopyOutcome outcome;
  bool end_of_source = false;
  for (std::int32_t number = 1; number <= plan.partsToWrite && !end_of_source; ++number) {
    outcome.partsWritten = number;
    const std::string path = PartFileName(names.partBasePath, number);
    Print(path + "\n");
    auto part = platform::OutputFile::Create(path, &source.identity());
    if (!part.ok()) {
      outcome.status = Fail("ERROR: Unable to open output file " + Quoted(path) + "\n",
                            ExitStatus::kOpenFileError);
      return outcome;
    }
    outcome.status = CopyPart(source, part.value(), plan.partSize, end_of_source,
                              outcome.partSizes.emplace_back(0));
    if (outcome.status != ExitStatus::kSuccess) return outcome;
  }
  return outcome;
}

// One script: created (never over the source), written and closed.
struct ScriptJob {
  std::string path;
  std::string text;
  bool executable;
  std::string_view create_failure;  // the line printed when it can't be created
  std::string_view kind;            // "DOS batch" or "Linux batch"
};

ExitStatus WriteScript(const ScriptJob& job, const platform::FileIdentity& source) {
  auto file = platform::OutputFile::Create(job.path, &source, job.executable);
  if (!file.ok()) {
    if (file.error().kind == ErrorKind::kSameAsSource) {
      return Fail("ERROR: Unable to open output file " + Quoted(job.path) + "\n",
                  ExitStatus::kOpenFileError);
    }
    return Fail(job.create_failure, ExitStatus::kBatchFileError);
  }
  Status status = file.value().Write(job.text);
  if (status.ok()) status = file.value().Close();
  if (!status.ok()) {
    return Fail("ERROR: Could not write " + std::string(job.kind) + " file " +
                    Quoted(job.path) + ": " + status.error().os_text + "\n",
                ExitStatus::kBatchFileError);
  }
  return ExitStatus::kSuccess;
}

ExitStatus WriteScripts(const OutputNames& names, std::vector<std::int64_t> partSizes,
                        const platform::FileIdentity& source) {
  const ScriptInput input{ScriptVariant::kConsole, names.scriptBaseName, names.sourceFileName,
                          "unsplit", std::move(partSizes)};
  Print("Writing the DOS batch to put the stuff back together...\n");
  const ScriptJob batch{names.folder + fnmerge("", "", "unsplit", ".bat"),
                        platform::BatchFileBytes(DosBatchText(input)),
                        false, "ERROR: Could not create DOS batch file\n", "DOS batch"};
  if (const ExitStatus status = WriteScript(batch, source); status != ExitStatus::kSuccess) {
    return status;
  }
  Print("DOS batch file \"unsplit.bat\" created.\n");
  const ScriptJob shell{names.folder + fnmerge("", "", "unsplit", ".sh"),
                        ShellScriptText(input),
                        true, "ERROR: Could not create Linux batch file\n", "Linux batch"};
  if (const ExitStatus status = WriteScript(shell, source); status != ExitStatus::kSuccess) {
    return status;
  }
  Print("Linux/Unix shell script file \"unsplit.sh\" created.\nEnd Zelbo!\n");
  return ExitStatus::kSuccess;
}

std::int32_t PartsFor(std::int64_t sourceSize, std::int64_t partSize) {
  return static_cast<std::int32_t>(sourceSize / partSize + (sourceSize % partSize != 0));
}

}  // namespace

ConsolePlan PlanSplit(std::int64_t sourceSize, const SplitRequest& request) {
  ConsolePlan plan;
  if (request.partCount != 0) {
    // An empty source has nothing to share out; refused like a size too large.
    if (sourceSize <= 0) {
      plan.problem = PlanProblem::kPartsTooLarge;
      return plan;
    }
    plan.partSize = sourceSize / request.partCount;
    if (request.partCount * plan.partSize < sourceSize) ++plan.partSize;
  } else {
    plan.partSize = request.partSize;
    if (plan.partSize > sourceSize) {
      plan.problem = PlanProblem::kPartsTooLarge;
      return plan;
    }
    plan.wholeParts = sourceSize / plan.partSize;
    plan.remainder = sourceSize % plan.partSize;
    if (plan.wholeParts > kMaxWholeParts) {
      plan.problem = PlanProblem::kTooManyParts;
      return plan;
    }
  }
  plan.partsToWrite = PartsFor(sourceSize, plan.partSize);
  return plan;
}

std::string PlanText(const ConsolePlan& plan, std::int64_t sourceSize,
                     const SplitRequest& request) {
  switch (plan.problem) {
    case PlanProblem::kPartsTooLarge:
      return "...\nThe file is only " + LongLongToStr(sourceSize) +
             " bytes long!\nYour parts are too large!\n";
    case PlanProblem::kTooManyParts:
      return LongLongToStr(plan.wholeParts) + " parts is more than is supported (1000 max.)!\n";
    case PlanProblem::kNone:
      break;
  }
  if (request.partCount != 0) {
    return std::to_string(request.partCount) + " equal parts of " +
           LongLongToStr(plan.partSize) + " bytes.\n";
  }
  std::string text = LongLongToStr(plan.wholeParts) + " parts of " +
                     LongLongToStr(plan.partSize) + " bytes\n";
  if (plan.remainder != 0) text += " and a remainder of " + LongLongToStr(plan.remainder) + "\n";
  return text;
}

ExitStatus RunConsoleSplit(const SplitRequest& request) {
  const OutputNames names = NamesFor(request.sourcePath);
  if (!ScriptsCanCarry(names.sourceFileName)) {
    return Fail("ERROR: A file name with a line break cannot be written into the "
                "reassembly scripts!\n",
                ExitStatus::kParameterError);
  }
  const std::int64_t sourceSize = getthefilesize(request.sourcePath);
  if (sourceSize < 0) {
    return Fail("ERROR: File access error on the file to split!\n", ExitStatus::kFileError);
  }
  Print("We will split the file " + Quoted(request.sourcePath) + " into ");
  const ConsolePlan plan = PlanSplit(sourceSize, request);
  Print(PlanText(plan, sourceSize, request));
  if (plan.problem != PlanProblem::kNone) return ExitStatus::kImpossiblePartSize;

  CopyOutcome copied;
  platform::FileIdentity source_identity;
  {
    auto source = platform::InputFile::Open(request.sourcePath);
    if (!source.ok()) {
      return Fail("Unable to open the file " + Quoted(request.sourcePath) + " for reading!\n",
                  ExitStatus::kOpenFileError);
    }
    source_identity = source.value().identity();
    Print("Writing the splitted parts:\n");
    copied = CopyParts(source.value(), plan, names);
  }  // the source is closed here
  if (copied.status != ExitStatus::kSuccess) return copied.status;
  Print("\nFinished splitting, " + std::to_string(copied.partsWritten) + " parts written.\n");
  return WriteScripts(names, std::move(copied.partSizes), source_identity);
}

}  // namespace zelbo::console
