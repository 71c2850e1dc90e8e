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
  // One mark per read unit; the marks of a step go out as one text, in
  // pieces of bounded size however large the step.
  void UnitsCopied(std::int64_t count) override {
    constexpr std::int64_t kMarksAtOnce = 4096;
    std::string marks;
    while (count > 0) {
      marks.clear();
      for (std::int64_t n = std::min(count, kMarksAtOnce); n > 0; --n, --count) {
        marks.append(kSpinner[spin_]);
        spin_ = (spin_ + 1) % kSpinner.size();
      }
      out_.Mark(marks);
    }
  }

 private:
  ConsoleOutput& out_;
  std::size_t spin_ = 0;
};

class Run {
 public:
  Run(const SplitRequest& request, ConsoleOutput& out)
      : request_(request), out_(out), names_(ConsoleRunNames(request.sourcePath)) {}

  ExitStatus Execute() {
    switch (ProblemWithNames(names_)) {
      case NameProblem::kLineBreak:
        return Fail("ERROR: A file name with a line break cannot be written into the "
                    "reassembly scripts!\n",
                    ExitStatus::kParameterError);
      case NameProblem::kDeviceName:
        return Fail("ERROR: " + Shown(names_.sourceFileName) +
                        " is the name of a device: no file of that name can be restored!\n",
                    ExitStatus::kParameterError);
      case NameProblem::kNone:
        break;
    }
    const std::int64_t sourceSize = getthefilesize(request_.sourcePath);
    if (sourceSize < 0) {
      return Fail("ERROR: File access error on the file to split!\n", ExitStatus::kFileError);
    }
    out_.Print("We will split the file " + Shown(request_.sourcePath) + " into ");
    const ConsolePlan plan = PlanSplit(sourceSize, request_);
    out_.Print(PlanText(plan, sourceSize, request_));
    if (plan.problem != PlanProblem::kNone) return ExitStatus::kImpossiblePartSize;
    if (const auto limit = PartsThatDoNotFit(names_.folder, plan.partSize)) {
      return Fail(LimitText(*limit, plan, sourceSize, request_), ExitStatus::kImpossiblePartSize);
    }

    CopyOutcome copied;
    SourceFacts source;
    {
      auto opened = platform::InputFile::Open(request_.sourcePath);
      if (!opened.ok()) {
        return Fail("Unable to open the file " + Shown(request_.sourcePath) + " for reading!\n",
                    ExitStatus::kOpenFileError);
      }
      source = {opened.value().identity(), opened.value().permissions()};
      const std::string clash = OutputThatIsTheSource(names_, plan.partsToWrite, source.identity);
      if (!clash.empty()) {
        return Fail("ERROR: Unable to open output file " + Shown(clash) + "\n",
                    ExitStatus::kOpenFileError);
      }
      if (Status removed = RemoveStaleScripts(names_, source.identity); !removed.ok()) {
        return StaleScriptStays(removed.error());
      }
      out_.Print("Writing the splitted parts:\n");
      SpinnerObserver spinner(out_);
      PartCopier copier(opened.value(), names_, plan.partSize, spinner,
                        {CopyPace::kSteady, request_.digests, request_.flush});
      copied = copier.Copy(plan.partsToWrite);
      if (copied.end != CopyEnd::kFinished) return CopyFailed(copied);
    }  // the source is closed here
    out_.Print("\nFinished splitting, " + std::to_string(copied.partSizes.size()) +
               " parts written.\n");
    return WriteScripts(ScriptInputFor(names_, ScriptVariant::kConsole, copied), source);
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
      case CopyEnd::kSourceChanged:
        return Fail("ERROR: The file " + Shown(request_.sourcePath) +
                        " changed while it was split: the parts do not hold it as it is now!\n",
                    ExitStatus::kFileError);
      case CopyEnd::kFolderGone:
        return Fail("ERROR: The folder of the parts is gone, or its medium was taken out!\n",
                    ExitStatus::kFileError);
      case CopyEnd::kWriteFailed:
      case CopyEnd::kTooLarge:
      // The console neither cancels nor retries, so these two never come.
      case CopyEnd::kCancelled:
      case CopyEnd::kSeekFailed:
      case CopyEnd::kFinished:
        break;
    }
    return Fail("ERROR: Unable to write output file " + Shown(copied.partPath) + ": " +
                    copied.error.os_text + "\n",
                ExitStatus::kFileError);
  }

  // An old script of this run's names that could not be removed would join
  // the new parts with old ones: no part is written.
  ExitStatus StaleScriptStays(const Error& error) {
    return Fail("ERROR: Could not remove the old script " + Shown(error.path) + ": " +
                    error.os_text + "\n",
                ExitStatus::kBatchFileError);
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

  ExitStatus WriteScripts(const ScriptInput& input, const SourceFacts& source) {
    out_.Print("Writing the DOS batch to put the stuff back together...\n");
    Status status = WriteDosBatch(names_, input, source, request_.flush);
    if (!status.ok()) {
      return ScriptFailed(status, "ERROR: Could not create DOS batch file\n", "DOS batch");
    }
    out_.Print("DOS batch file \"unsplit.bat\" created.\n");
    const std::string notice =
        BatchNotice(input);
    if (!notice.empty()) out_.Print(ShownName(notice) + "\n");
    status = WriteShellScript(names_, input, source, request_.flush);
    if (!status.ok()) {
      return ScriptFailed(status, "ERROR: Could not create Linux batch file\n", "Linux batch");
    }
    out_.Print("Linux/Unix shell script file \"unsplit.sh\" created.\n");
    // The names of the new files reach the medium last; only then is it done.
    if (Status flushed = request_.flush ? platform::FlushFolder(names_.folder) : Status{};
        !flushed.ok()) {
      return Fail("ERROR: The files could not be written to the disk: " +
                      flushed.error().os_text + "\n",
                  ExitStatus::kFileError);
    }
    out_.Print("End Zelbo!\n");
    return ExitStatus::kSuccess;
  }

  const SplitRequest& request_;
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

std::string LimitText(const PartLimit& limit, const ConsolePlan& plan, std::int64_t sourceSize,
                      const SplitRequest& request) {
  if (request.partCount != 0) {
    return "ERROR: Parts of " + LongLongToStr(plan.partSize) + " bytes are larger than " +
           limit.what + " allows: split into at least " +
           LongLongToStr(CeilDiv(sourceSize, std::max<std::int64_t>(limit.largest, 1))) +
           " parts!\n";
  }
  static constexpr struct {
    std::int64_t bytes;
    std::string_view name;
  } kUnits[] = {{1, "bytes"}, {1024, "kbytes"}, {1024 * 1024, "Mbytes"}};
  const auto& unit = kUnits[static_cast<int>(request.unit)];
  return "ERROR: Parts of " + LongLongToStr(plan.partSize / unit.bytes) + " " +
         std::string(unit.name) + " are larger than " + limit.what + " allows: at most " +
         LongLongToStr(limit.largest / unit.bytes) + " " + std::string(unit.name) + "!\n";
}

ExitStatus RunConsoleSplit(const SplitRequest& request, ConsoleOutput& out) {
  return Run(request, out).Execute();
}

}  // namespace zelbo::console
