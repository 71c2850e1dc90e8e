#include "console/split_run.h"

#include <array>

#include "common/numbers.h"
#include "common/part_names.h"
#include "common/split_engine.h"
#include "console/path_helpers.h"
#include "platform/system.h"

namespace zelbo::console {
namespace {

// Each mark is followed by a backspace, so the next one overwrites it.
constexpr std::array<std::string_view, 4> kSpinner = {"|\b", "/\b", "-\b", "\\\b"};

// A name as the terminal shows it, in double quotes.
std::string Shown(std::string_view name) { return Quoted(ShownName(name)); }

// The part names as lines, and the turning mark under each.
class SpinnerObserver final : public CopyObserver {
 public:
  explicit SpinnerObserver(ConsoleOutput& out) : out_(out) {}

  void PartStarting(std::int32_t, const std::string& path) override {
    out_.Print(ShownName(path) + "\n");
    spin_ = 0;
  }
  // One mark per read; the marks of a shared range go out as one text.
  void BeforeReads(std::int64_t count) override {
    if (count == 1) {
      out_.Mark(kSpinner[spin_]);
      spin_ = (spin_ + 1) % kSpinner.size();
      return;
    }
    std::string marks;
    marks.reserve(static_cast<std::size_t>(count) * 2);
    for (; count > 0; --count) {
      marks.append(kSpinner[spin_]);
      spin_ = (spin_ + 1) % kSpinner.size();
    }
    out_.Mark(marks);
  }

 private:
  ConsoleOutput& out_;
  std::size_t spin_ = 0;
};

class Run {
 public:
  Run(const SplitRequest& request, FileSystem& files, ConsoleOutput& out)
      : request_(request), files_(files), out_(out), names_(ConsoleRunNames(request.sourcePath)) {}

  ExitStatus Execute() {
    if (!ScriptsCanCarry(names_.sourceFileName)) {
      return Fail("ERROR: A file name with a line break cannot be written into the "
                  "reassembly scripts!\n",
                  ExitStatus::kParameterError);
    }
    if (platform::ReservesDeviceNames() && IsReservedDeviceName(names_.sourceFileName)) {
      return Fail("ERROR: " + Shown(names_.sourceFileName) +
                      " is the name of a device: no file of that name can be restored!\n",
                  ExitStatus::kParameterError);
    }
    const std::int64_t sourceSize = getthefilesize(files_, request_.sourcePath);
    if (sourceSize < 0) {
      return Fail("ERROR: File access error on the file to split!\n", ExitStatus::kFileError);
    }
    out_.Print("We will split the file " + Shown(request_.sourcePath) + " into ");
    const ConsolePlan plan = PlanSplit(sourceSize, request_);
    out_.Print(PlanText(plan, sourceSize, request_));
    if (plan.problem != PlanProblem::kNone) return ExitStatus::kImpossiblePartSize;

    std::vector<std::int64_t> partSizes;
    SourceFacts source;
    {
      auto opened = files_.OpenSource(request_.sourcePath);
      if (!opened.ok()) {
        return Fail("Unable to open the file " + Shown(request_.sourcePath) + " for reading!\n",
                    ExitStatus::kOpenFileError);
      }
      source = {opened.value()->identity(), opened.value()->permissions()};
      RemoveStaleScripts(files_, names_, source.identity);
      out_.Print("Writing the splitted parts:\n");
      SpinnerObserver spinner(out_);
      PartCopier copier(files_, *opened.value(), names_, plan.partSize, spinner,
                        ShareSteps::kWholeParts);
      const CopyOutcome copied = copier.Copy(plan.partsToWrite);
      if (copied.end != CopyEnd::kFinished) return CopyFailed(copied);
      partSizes = copied.partSizes;
    }  // the source is closed here
    out_.Print("\nFinished splitting, " + std::to_string(partSizes.size()) + " parts written.\n");
    return WriteScripts(partSizes, source);
  }

 private:
  ExitStatus Fail(std::string_view line, ExitStatus status) {
    out_.Print(line);
    return status;
  }

  ExitStatus CopyFailed(const CopyOutcome& copied) {
    switch (copied.end) {
      case CopyEnd::kCreateFailed:
        return Fail("ERROR: Unable to open output file " + Shown(copied.partPath) + "\n",
                    ExitStatus::kOpenFileError);
      case CopyEnd::kReadFailed:
        return Fail("File reading error!\n", ExitStatus::kFileError);
      case CopyEnd::kSourceGrew:
        return Fail("ERROR: The file " + Shown(request_.sourcePath) +
                        " grew while it was split: the parts do not hold all of it!\n",
                    ExitStatus::kFileError);
      default:  // a write that failed (the console never retries or cancels)
        return Fail("ERROR: Unable to write output file " + Shown(copied.partPath) + ": " +
                        copied.error.os_text + "\n",
                    ExitStatus::kFileError);
    }
  }

  // A script that could not be written completely; `kind` names it.
  ExitStatus ScriptFailed(const Status& status, std::string_view create_failure,
                          std::string_view kind) {
    const Error& error = status.error();
    if (error.kind == ErrorKind::kSameAsSource) {
      return Fail("ERROR: Unable to open output file " + Shown(error.path) + "\n",
                  ExitStatus::kOpenFileError);
    }
    if (error.kind == ErrorKind::kCreate) return Fail(create_failure, ExitStatus::kBatchFileError);
    return Fail("ERROR: Could not write " + std::string(kind) + " file " + Shown(error.path) +
                    ": " + error.os_text + "\n",
                ExitStatus::kBatchFileError);
  }

  ExitStatus WriteScripts(const std::vector<std::int64_t>& parts, const SourceFacts& source) {
    out_.Print("Writing the DOS batch to put the stuff back together...\n");
    Status status = WriteDosBatch(files_, names_, ScriptVariant::kConsole, parts, source);
    if (!status.ok()) {
      return ScriptFailed(status, "ERROR: Could not create DOS batch file\n", "DOS batch");
    }
    out_.Print("DOS batch file \"unsplit.bat\" created.\n");
    const std::string notice =
        BatchNotice(ScriptInputFor(names_, ScriptVariant::kConsole, parts));
    if (!notice.empty()) out_.Print(ShownName(notice) + "\n");
    status = WriteShellScript(files_, names_, ScriptVariant::kConsole, parts, source);
    if (!status.ok()) {
      return ScriptFailed(status, "ERROR: Could not create Linux batch file\n", "Linux batch");
    }
    out_.Print("Linux/Unix shell script file \"unsplit.sh\" created.\nEnd Zelbo!\n");
    return ExitStatus::kSuccess;
  }

  const SplitRequest& request_;
  FileSystem& files_;
  ConsoleOutput& out_;
  const RunNames names_;
};

}  // namespace

ConsolePlan PlanSplit(std::int64_t sourceSize, const SplitRequest& request) {
  ConsolePlan plan;
  if (request.partCount != 0) {
    // An empty source has nothing to share out; refused like a size too large.
    if (sourceSize <= 0) {
      plan.problem = PlanProblem::kPartsTooLarge;
      return plan;
    }
    plan.partSize = CeilDiv(sourceSize, request.partCount);
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
  plan.partsToWrite = static_cast<std::int32_t>(CeilDiv(sourceSize, plan.partSize));
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

ExitStatus RunConsoleSplit(const SplitRequest& request, FileSystem& files, ConsoleOutput& out) {
  return Run(request, files, out).Execute();
}

}  // namespace zelbo::console
