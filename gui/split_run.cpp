#include "gui/split_run.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "common/numbers.h"
#include "common/part_names.h"
#include "common/split_engine.h"
#include "platform/system.h"

namespace zelbo::gui {

using toolkit::Cursor;
using toolkit::MessageAnswer;
using toolkit::MessageButtons;
using toolkit::MessageIcon;

namespace {

class WindowedRun final : public CopyObserver {
 public:
  WindowedRun(const WindowedRunRequest& request, RunDisplay& display, SplitPlan& plan,
              std::function<std::chrono::steady_clock::time_point()> now)
      : request_(request),
        display_(display),
        plan_(plan),
        now_(std::move(now)),
        names_(WindowedRunNames(request.sourceFile, request.batchPath, request.wantShortNames)) {}

  void Execute() {
    savedCursor_ = display_.GetCursor();
    display_.SetCursor(Cursor::kHourGlass);
    switch (ProblemWithNames(names_)) {
      case NameProblem::kLineBreak:
        // A name with a line break would break every script line it stood in.
        Tell("ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
             "A file name with a line break cannot be written into the reassembly scripts.");
        return;
      case NameProblem::kDeviceName:
        Tell("The file " + Quoted(names_.sourceFileName) +
                 " has the name of a device: no file of that name can be restored!",
             "Zelbo - ERROR", MessageIcon::kError);
        return;
      case NameProblem::kNone:
        break;
    }
    if (const auto limit = PartsThatDoNotFit(names_.folder, request_.partSize)) {
      Tell(LimitText(*limit), "Zelbo - ERROR", MessageIcon::kError);
      return;
    }
    SourceFacts source;
    CopyOutcome copied;
    {
      auto opened = platform::InputFile::Open(request_.sourceFile);
      if (!opened.ok()) {
        Tell("Unable to open the file " + Quoted(request_.sourceFile) + " for reading!\n",
             "Zelbo - ERROR", MessageIcon::kError, opened.error().os_text);
        return;
      }
      source = {opened.value().identity(), opened.value().permissions()};
      if (!CopyParts(opened.value(), copied)) return;
    }  // the source is closed here
    const ScriptInput scripts = ScriptInputFor(names_, ScriptVariant::kWindowed, copied);
    const RunNames atTheEnd = NamesAtTheEnd(names_, copied);
    if (!WriteScripts(atTheEnd, scripts, source)) return;
    // Done only once the names of the new files are on the medium too.
    if (Status flushed = platform::FlushFolder(atTheEnd.folder); !flushed.ok()) {
      Tell("ERROR: The parts could not be written to the medium completely!", "Zelbo - ERROR",
           MessageIcon::kError, flushed.error().os_text);
      return;
    }
    TellFinished(scripts, copied.placements);
  }

  // ---- What the copier tells ----

  void PartStarting(std::int32_t number, const std::string& path) override {
    partLine_ = "Writing part " + std::to_string(number) + ", please wait...\n";
    partPath_ = path;
    const auto now = now_();
    if (now - lastPump_ >= kPumpInterval) Pump(now);
  }

  Proceed BytesCopied(std::int64_t done) override {
    if (display_.CancelRequested()) return Proceed::kStop;
    percent_ = static_cast<int>(static_cast<double>(done) /
                                static_cast<double>(sourceSize_) * 100.0);
    const auto now = now_();
    if (percent_ != titlePercent_ && now - lastTitle_ >= kTitleInterval) {
      display_.ShowProgressInTitle(percent_);
      titlePercent_ = percent_;
      lastTitle_ = now;
    }
    if (now - lastPump_ >= kPumpInterval) Pump(now);
    return Proceed::kGo;
  }

  WriteFailureAnswer PartWriteFailed(const PartWriteFailure& failure) override {
    Draw();
    DrawTitle();
    display_.SetCursor(savedCursor_);
    const MessageAnswer answer = display_.MessageBox(
        "Insufficient disk space (or rights) to fully write " + failure.path +
            "!\n\nInsert media with enough diskspace free (" + DecimalText(request_.partSize) +
            " bytes) or cancel.",
        "Zelbo - Error", MessageIcon::kQuestion, MessageButtons::kRetryCancel,
        failure.error.os_text);
    if (answer == MessageAnswer::kCancel) return WriteFailureAnswer::kStop;
    display_.SetCursor(Cursor::kHourGlass);
    return WriteFailureAnswer::kRetry;
  }

  // Says what happened to the folder, then asks where the rest goes.
  std::string FolderLost(const FolderLoss& loss) override {
    Draw();
    DrawTitle();
    display_.SetCursor(savedCursor_);
    const std::string next = std::to_string(loss.nextPart);
    const std::string why =
        loss.problem == FolderProblem::kGone
            ? "The folder " + Quoted(loss.folder) +
                  " is gone, or the medium that held it was taken out."
            : LimitText(PartLimit{loss.volume->largestFile, loss.volume->limit});
    display_.MessageBox(why + "\n\nChoose the folder for part " + next +
                            " and the parts after it.",
                        "Zelbo - Error", MessageIcon::kWarning, MessageButtons::kOk, {});
    std::string folder =
        display_.ChooseFolder("Folder for part " + next + " and the rest", loss.folder);
    if (!folder.empty() && !platform::NativePathStyle().IsSeparator(folder.back())) {
      folder.push_back(platform::NativePathStyle().preferred);
    }
    display_.SetCursor(Cursor::kHourGlass);
    return folder;
  }

 private:
  bool CopyParts(InputFile& source, CopyOutcome& copied) {
    auto measured = source.Size();
    sourceSize_ = measured.ok() ? measured.value() : 0;
    plan_.sourceSize = sourceSize_;
    display_.ClearCancelRequest();
    const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(
        sourceSize_ > 0 ? CeilDiv(sourceSize_, request_.partSize) : 0,
        std::numeric_limits<std::int32_t>::max()));
    if (const std::string clash = OutputThatIsTheSource(names_, count, source.identity());
        !clash.empty()) {
      Tell("ERROR: Unable to open output file " + Quoted(clash) + "\n", "Zelbo - ERROR",
           MessageIcon::kError, "It would replace the file being split.");
      return false;
    }
    if (Status removed = RemoveStaleScripts(names_, source.identity()); !removed.ok()) {
      Tell("ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
           "The old script " + Quoted(removed.error().path) +
               " could not be removed: " + removed.error().os_text);
      return false;
    }
    display_.ShowProgress(0);
    display_.ShowProgressInTitle(0);
    lastTitle_ = now_();
    PartCopier copier(source, names_, request_.partSize, *this);
    copied = copier.Copy(count);
    Draw();  // where the copy ended, before any box
    DrawTitle();
    switch (copied.end) {
      case CopyEnd::kFinished:
        return true;
      case CopyEnd::kCreateFailed:
        Tell("ERROR: Unable to open output file " + Quoted(copied.partPath) + "\n",
             "Zelbo - ERROR", MessageIcon::kError, copied.error.os_text);
        break;
      case CopyEnd::kReadFailed:
        copier.RemovePart(copied.partsWritten);
        Tell("Read error on input file!", "Zelbo - Error", MessageIcon::kWarning,
             copied.error.os_text);
        break;
      case CopyEnd::kWriteFailed:  // Cancel at the disk-full question
      case CopyEnd::kFolderGone:   // or at the choice of another folder
        Tell("You chose to cancel!\n\nDo not forget to cleanup the already written parts (" +
                 std::to_string(copied.partsWritten) + ")!",
             "Zelbo - User Abort", MessageIcon::kWarning);
        break;
      case CopyEnd::kTooLarge:  // no other medium can help: no Retry
        Tell("ERROR: Unable to write output file " + Quoted(copied.partPath) +
                 ": it is larger than the medium (or this user) may have a file!",
             "Zelbo - ERROR", MessageIcon::kError, copied.error.os_text);
        break;
      case CopyEnd::kCancelled:
        display_.SetCursor(savedCursor_);
        copier.RemoveCreatedParts();
        Tell("User aborted!", "Zelbo - Aborted", MessageIcon::kInformation);
        break;
      case CopyEnd::kSeekFailed:
        Tell("Problems getting back on the sourcefile, aborting!", "Zelbo - Error",
             MessageIcon::kError, copied.error.os_text);
        break;
      case CopyEnd::kSourceChanged:
        Tell("The file " + Quoted(request_.sourceFile) +
                 " changed while it was split: the parts do not hold it as it is now!",
             "Zelbo - ERROR", MessageIcon::kError);
        break;
    }
    return false;
  }

  bool WriteScripts(const RunNames& names, const ScriptInput& scripts, const SourceFacts& source) {
    Status written = WriteDosBatch(names, scripts, source, true);
    if (!written.ok()) {
      Tell("ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
           ScriptDetail(written.error()));
      return false;
    }
    written = WriteShellScript(names, scripts, source, true);
    if (!written.ok()) {
      Tell("ERROR: Could not create Linux batch file", "Zelbo - ERROR", MessageIcon::kError,
           ScriptDetail(written.error()));
      return false;
    }
    return true;
  }

  static std::string ScriptDetail(const Error& error) {
    if (error.kind == ErrorKind::kSameAsSource) return "It would replace the file being split.";
    return error.os_text;
  }

  // Parts spread over several media: where each went, for the join.
  static std::string PlacesText(const std::vector<Placement>& placements, std::int32_t parts) {
    if (placements.size() < 2) return "";
    std::string text = "\nThe parts went to more than one medium:";
    for (std::size_t i = 0; i < placements.size(); ++i) {
      const std::int32_t last = i + 1 < placements.size() ? placements[i + 1].firstPart - 1 : parts;
      // Appended piece by piece: GCC 12 warns (-Wrestrict) about "..." + a
      // temporary string at -O3.
      text.append("\n").append(PartNumber(placements[i].firstPart)).append(" to ");
      text.append(PartNumber(last)).append(": ").append(Quoted(placements[i].folder));
    }
    return text + " (and the batch files)\nCopy them all into one folder to put them together.\n";
  }

  void TellFinished(const ScriptInput& scripts, const std::vector<Placement>& placements) {
    const auto parts = static_cast<std::int32_t>(scripts.partSizes.size());
    if (names_.shortNames) {
      display_.MessageBox(
          "For platform compatibility reasons the partnames were renamed \"part.###\"\n"
          "Continue (OK) for more result details...",
          "Zelbo - Success", MessageIcon::kInformation, MessageButtons::kOk, {});
    }
    const std::string n = std::to_string(parts);
    // Not Tell(): the title keeps its "100%" while this box is up.
    display_.SetCursor(savedCursor_);
    display_.MessageBox(
        "Finished splitting the file into " + n + " parts.\nEach part was named " +
            Quoted(names_.scriptBaseName + ".###") + " (###=001 up to " + PartNumber(parts) +
            ")\nThe batch files " + Quoted(names_.batchBaseName + ".bat") + " and " +
            Quoted(names_.batchBaseName + ".sh") +
            " to put the pieces back together were created.\n" + PlacesText(placements, parts),
        "Zelbo - Success", MessageIcon::kInformation, MessageButtons::kOk, BatchNotice(scripts));
  }

  // The refusal of parts that the destination cannot hold, in the unit in
  // which the user gave the amount.
  std::string LimitText(const PartLimit& limit) const {
    if (request_.unit == SizeUnit::kParts) {
      return "ERROR: Parts of " + DecimalText(request_.partSize) + " bytes are larger than " +
             limit.what + " allows: split into at least " +
             DecimalText(CeilDiv(std::max<std::int64_t>(plan_.sourceSize, 1),
                                 std::max<std::int64_t>(limit.largest, 1))) +
             " parts!";
    }
    static constexpr std::string_view kNames[] = {"", "bytes", "kbytes", "Mbytes"};
    const std::int64_t unit = request_.unit == SizeUnit::kMbytes   ? kMbyte
                              : request_.unit == SizeUnit::kKbytes ? kKbyte
                                                                   : 1;
    const std::string name(kNames[static_cast<int>(request_.unit)]);
    return "ERROR: Parts of " + DecimalText(request_.partSize / unit) + " " + name +
           " are larger than " + limit.what + " allows: at most " +
           DecimalText(limit.largest / unit) + " " + name + "!";
  }

  // Lets messages in, after drawing what changed if a drawing is due. A
  // fast disk passes a percent, or a small part, in a few milliseconds;
  // drawing each would cost more than copying it.
  void Pump(std::chrono::steady_clock::time_point now) {
    if (now - lastDraw_ >= kDrawInterval) {
      Draw();
      lastDraw_ = now;
    }
    display_.ProcessMessages();
    lastPump_ = now;
  }

  // Shows the current part's line and the percent reached where they are
  // not shown yet.
  void Draw() {
    if (!partLine_.empty()) {
      display_.ShowPartLine(partLine_, partPath_);
      partLine_.clear();
    }
    if (percent_ != lastPercent_) {
      display_.ShowProgress(percent_);
      lastPercent_ = percent_;
    }
  }

  // The title tells the percent reached, as the bar does, when a box comes.
  void DrawTitle() {
    if (percent_ == titlePercent_) return;
    display_.ShowProgressInTitle(percent_);
    titlePercent_ = percent_;
  }

  // The last message box of an outcome that is not the finished one, shown
  // with the pointer restored and the plain title.
  void Tell(std::string_view text, std::string_view title, MessageIcon icon,
            std::string_view detail = {}) {
    display_.SetCursor(savedCursor_);
    display_.ShowProgressInTitle(std::nullopt);
    display_.MessageBox(text, title, icon, MessageButtons::kOk, detail);
  }

  const WindowedRunRequest& request_;
  RunDisplay& display_;
  SplitPlan& plan_;
  std::function<std::chrono::steady_clock::time_point()> now_;
  const RunNames names_;
  Cursor savedCursor_ = Cursor::kDefault;
  std::int64_t sourceSize_ = 0;
  int percent_ = 0;      // of the source in parts now
  int lastPercent_ = 0;  // where the bar stands
  int titlePercent_ = 0;
  std::string partLine_, partPath_;  // the current part's, until they are shown
  std::chrono::steady_clock::time_point lastPump_{};
  std::chrono::steady_clock::time_point lastDraw_{};
  std::chrono::steady_clock::time_point lastTitle_{};
};

}  // namespace

void RunWindowedSplit(const WindowedRunRequest& request, RunDisplay& display, SplitPlan& plan,
                      std::function<std::chrono::steady_clock::time_point()> now) {
  WindowedRun(request, display, plan, std::move(now)).Execute();
}

}  // namespace zelbo::gui
