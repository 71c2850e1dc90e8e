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
  WindowedRun(const WindowedRunRequest& request, FileSystem& files, RunDisplay& display,
              SplitPlan& plan, std::function<std::chrono::steady_clock::time_point()> now)
      : request_(request),
        files_(files),
        display_(display),
        plan_(plan),
        now_(std::move(now)),
        names_(WindowedRunNames(request.sourceFile, request.batchPath, request.wantShortNames)) {}

  void Execute() {
    savedCursor_ = display_.GetCursor();
    display_.SetCursor(Cursor::kHourGlass);
    // A name with a line break would break every script line it stood in.
    if (!ScriptsCanCarry(names_.sourceFileName) || !ScriptsCanCarry(names_.batchBaseName)) {
      Tell("ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
           "A file name with a line break cannot be written into the reassembly scripts.");
      return;
    }
    if (platform::ReservesDeviceNames() && IsReservedDeviceName(names_.sourceFileName)) {
      Tell("The file " + Quoted(names_.sourceFileName) +
               " has the name of a device: no file of that name can be restored!",
           "Zelbo - ERROR", MessageIcon::kError);
      return;
    }
    SourceFacts source;
    std::vector<std::int64_t> parts;
    {
      auto opened = files_.OpenSource(request_.sourceFile);
      if (!opened.ok()) {
        Tell("Unable to open the file " + Quoted(request_.sourceFile) + " for reading!\n",
             "Zelbo - ERROR", MessageIcon::kError, opened.error().os_text);
        return;
      }
      source = {opened.value()->identity(), opened.value()->permissions()};
      if (!CopyParts(*opened.value(), parts)) return;
    }  // the source is closed here
    if (!WriteScripts(parts, source)) return;
    TellFinished(parts);
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

 private:
  bool CopyParts(SourceFile& source, std::vector<std::int64_t>& parts) {
    auto measured = source.Size();
    sourceSize_ = measured.ok() ? measured.value() : 0;
    plan_.sourceSize = sourceSize_;
    display_.ClearCancelRequest();
    const std::int64_t count = std::min<std::int64_t>(
        sourceSize_ > 0 ? CeilDiv(sourceSize_, request_.partSize) : 0,
        std::numeric_limits<std::int32_t>::max());
    display_.ShowProgress(0);
    display_.ShowProgressInTitle(0);
    lastTitle_ = now_();
    RemoveStaleScripts(files_, names_, source.identity());
    PartCopier copier(files_, source, names_, request_.partSize, *this);
    const CopyOutcome copied = copier.Copy(static_cast<std::int32_t>(count));
    Draw();  // where the copy ended, before any box
    DrawTitle();
    parts = copied.partSizes;
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
        Tell("You chose to cancel!\n\nDo not forget to cleanup the already written parts (" +
                 std::to_string(copied.partsWritten) + ")!",
             "Zelbo - User Abort", MessageIcon::kWarning);
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
      case CopyEnd::kSourceGrew:
        Tell("The file " + Quoted(request_.sourceFile) +
                 " grew while it was split: the parts do not hold all of it!",
             "Zelbo - ERROR", MessageIcon::kError);
        break;
    }
    return false;
  }

  bool WriteScripts(const std::vector<std::int64_t>& parts, const SourceFacts& source) {
    Status written = WriteDosBatch(files_, names_, ScriptVariant::kWindowed, parts, source);
    if (!written.ok()) {
      Tell("ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
           ScriptDetail(written.error()));
      return false;
    }
    written = WriteShellScript(files_, names_, ScriptVariant::kWindowed, parts, source);
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

  void TellFinished(const std::vector<std::int64_t>& sizes) {
    const auto parts = static_cast<std::int32_t>(sizes.size());
    if (names_.shortNames) {
      display_.MessageBox(
          "For platform compatibility reasons the partnames were renamed \"part.###\"\n"
          "Continue (OK) for more result details...",
          "Zelbo - Success", MessageIcon::kInformation, MessageButtons::kOk, {});
    }
    const std::string n = std::to_string(parts);
    display_.SetCursor(savedCursor_);
    display_.MessageBox(
        "Finished splitting the file into " + n + " parts.\nEach part was named " +
            Quoted(names_.scriptBaseName + ".###") + " (###=001 up to " + PartNumber(parts) +
            ")\nThe batch files " + Quoted(names_.batchBaseName + ".bat") + " and " +
            Quoted(names_.batchBaseName + ".sh") +
            " to put the pieces back together were created.\n",
        "Zelbo - Success", MessageIcon::kInformation, MessageButtons::kOk,
        BatchNotice(ScriptInputFor(names_, ScriptVariant::kWindowed, sizes)));
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
  FileSystem& files_;
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

void RunWindowedSplit(const WindowedRunRequest& request, FileSystem& files, RunDisplay& display,
                      SplitPlan& plan,
                      std::function<std::chrono::steady_clock::time_point()> now) {
  WindowedRun(request, files, display, plan, std::move(now)).Execute();
}

}  // namespace zelbo::gui
