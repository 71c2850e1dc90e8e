// The windowed split run: copies the source into numbered parts in the
// folder of the chosen batch file, 32768 bytes at a time with one message
// pump per chunk (which is how a click on "Cancel" gets in), then writes
// the two reassembly scripts. Every outcome ends in one message box.
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "common/part_names.h"
#include "common/scripts.h"
#include "gui/main_form.h"
#include "gui/source_text.h"
#include "platform/file.h"
#include "platform/system.h"

namespace zelbo::gui {

using toolkit::MessageAnswer;
using toolkit::MessageButtons;
using toolkit::MessageIcon;

namespace {

constexpr std::size_t kChunkSize = 32768;

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string ThreeDigits(std::int32_t number) { return PartFileName("", number).substr(1); }

// The names of one run, derived from the source and the batch path.
struct RunNames {
  std::string destinationFolder;
  std::string batchBaseName;
  std::string scriptBaseName;  // "part" in short-name mode
  std::string sourceFileName;
  std::string partBasePath;
  bool shortNames = false;
};

RunNames NamesFor(const std::string& sourcePath, const std::string& batchPath,
                  bool wantShortNames) {
  const PathPieces source = SplitPath(sourcePath);
  const PathPieces batch = SplitPath(batchPath);
  RunNames names;
  names.destinationFolder = batch.Folder();
  names.batchBaseName = batch.name;
  names.shortNames = wantShortNames && IsLongName(batch.name, batch.extension);
  names.scriptBaseName = names.shortNames ? std::string(kShortPartBaseName) : batch.name;
  names.sourceFileName = source.name + source.extension;
  names.partBasePath = names.destinationFolder + names.scriptBaseName;
  return names;
}

// A part this run created, known by the file itself, so that cleaning up
// never removes a file that merely has the same name.
struct CreatedPart {
  std::string path;
  platform::FileIdentity identity;
};

void RemoveIfStillOurs(const CreatedPart& part) {
  bool ours = false;
  if (auto file = platform::InputFile::Open(part.path); file.ok()) {
    ours = file.value().identity() == part.identity;
  }
  if (ours) platform::RemoveFile(part.path);
}

}  // namespace

class SplitRun {
 public:
  SplitRun(TMainForm& window, toolkit::Application& application, SplitPlan& plan)
      : window_(window),
        application_(application),
        plan_(plan),
        partSize_(plan.partSize),
        names_(NamesFor(plan.sourceFile, window.SaveDialog1.FileName(),
                        window.UseNoLFN.Checked())) {}

  void Execute() {
    savedCursor_ = application_.GetCursor();
    application_.SetCursor(toolkit::Cursor::kHourGlass);
    platform::FileIdentity sourceIdentity;
    {
      auto source = platform::InputFile::Open(plan_.sourceFile);
      if (!source.ok()) {
        Tell("Unable to open the file " + Quoted(plan_.sourceFile) + " for reading!\n",
             "Zelbo - ERROR", MessageIcon::kError);
        return;
      }
      sourceIdentity = source.value().identity();
      if (!CopyParts(source.value())) return;
    }  // the source is closed here
    if (!WriteScripts(sourceIdentity)) return;
    TellFinished();
  }

 private:
  enum class PartEnd { kWritten, kRetry, kRunOver };

  bool CopyParts(platform::InputFile& source) {
    auto measured = source.Size();
    sourceSize_ = measured.ok() ? measured.value() : 0;
    plan_.sourceSize = sourceSize_;
    window_.cancelRequested = 0;
    const std::int64_t count =
        std::min<std::int64_t>(sourceSize_ / partSize_ + (sourceSize_ % partSize_ != 0),
                               std::numeric_limits<std::int32_t>::max());
    window_.ProgressBar0.SetVisible(true);
    window_.ProgressBar0.SetPosition(0);
    while (!endOfSource_ && partNumber_ < count) {
      ++partNumber_;
      const PartEnd end = WritePart(source);
      if (end == PartEnd::kRunOver) return false;
    }
    return true;
  }

  PartEnd WritePart(platform::InputFile& source) {
    const std::string path = PartFileName(names_.partBasePath, partNumber_);
    window_.SplitForecast.SetCaption("Writing part " + std::to_string(partNumber_) +
                                     ", please wait...\n");
    window_.StatusBar1.SetSimpleText(path);
    window_.form().Repaint();
    auto part = platform::OutputFile::Create(path, &source.identity());
    if (!part.ok()) {
      Tell("ERROR: Unable to open output file " + Quoted(path) + "\n", "Zelbo - ERROR",
           MessageIcon::kError);
      return PartEnd::kRunOver;
    }
    return CopyPart(source, part.value(), path);
  }

  PartEnd CopyPart(platform::InputFile& source, platform::OutputFile& part,
                   const std::string& path) {
    std::int64_t bytesLeft = partSize_;
    while (!endOfSource_ && bytesLeft > 0) {
      const auto unit = static_cast<std::size_t>(
          std::min<std::int64_t>(bytesLeft, static_cast<std::int64_t>(kChunkSize)));
      auto moved = platform::TransferChunk(source, part, std::span(buffer_).first(unit));
      if (!moved.ok()) {
        if (moved.error().kind == ErrorKind::kRead) return ReadFailed(part, path);
        return DiskFull(source, part, path);
      }
      if (moved.value() == 0) {
        endOfSource_ = true;
        break;
      }
      if (window_.cancelRequested == 1) return UserAbort(part, path);
      bytesLeft -= static_cast<std::int64_t>(moved.value());
      bytesDone_ += static_cast<std::int64_t>(moved.value());
      ShowProgress();
      application_.ProcessMessages();
    }
    // A close can report a write the system had delayed: the part is then
    // incomplete, like one whose write failed.
    if (!part.Close().ok()) return DiskFull(source, part, path);
    Remember(path);
    return PartEnd::kWritten;
  }

  void ShowProgress() {
    const auto percent = static_cast<int>(static_cast<double>(bytesDone_) /
                                          static_cast<double>(sourceSize_) * 100.0);
    if (percent == lastPercent_) return;
    window_.ProgressBar0.SetPosition(percent);
    window_.form().Repaint();
    lastPercent_ = percent;
  }

  PartEnd ReadFailed(platform::OutputFile& part, const std::string& path) {
    (void)part.Close();
    platform::RemoveFile(path);
    Tell("Read error on input file!", "Zelbo - Error", MessageIcon::kWarning);
    return PartEnd::kRunOver;
  }

  // The write (or close) of a part failed: offer to write the same part
  // again from its first byte, on whatever medium is in the drive then.
  PartEnd DiskFull(platform::InputFile& source, platform::OutputFile& part,
                   const std::string& path) {
    application_.SetCursor(savedCursor_);
    (void)part.Close();
    platform::RemoveFile(path);
    const MessageAnswer answer = application_.MessageBox(
        "Insufficient disk space (or rights) to fully write " + path +
            "!\n\nInsert media with enough diskspace free (" + std::to_string(partSize_) +
            " bytes) or cancel.",
        "Zelbo - Error", MessageIcon::kQuestion, MessageButtons::kRetryCancel);
    if (answer == MessageAnswer::kCancel) {
      Tell("You chose to cancel!\n\nDo not forget to cleanup the already written parts (" +
               std::to_string(partNumber_) + ")!",
           "Zelbo - User Abort", MessageIcon::kWarning);
      return PartEnd::kRunOver;
    }
    --partNumber_;
    bytesDone_ = partSize_ * partNumber_;
    if (!source.Seek(bytesDone_).ok()) {
      Tell("Problems getting back on the sourcefile, aborting!", "Zelbo - Error",
           MessageIcon::kError);
      return PartEnd::kRunOver;
    }
    application_.SetCursor(toolkit::Cursor::kHourGlass);
    ShowProgress();
    application_.ProcessMessages();
    return PartEnd::kRetry;
  }

  PartEnd UserAbort(platform::OutputFile& part, const std::string& path) {
    application_.SetCursor(savedCursor_);
    (void)part.Close();
    Remember(path);
    for (auto created = created_.rbegin(); created != created_.rend(); ++created) {
      RemoveIfStillOurs(*created);
    }
    Tell("User aborted!", "Zelbo - Aborted", MessageIcon::kInformation);
    return PartEnd::kRunOver;
  }

  // Known by its identity, read once the part is closed: Windows lets no
  // one open a file for reading while it is open for writing.
  void Remember(const std::string& path) {
    auto file = platform::InputFile::Open(path);
    if (!file.ok()) return;
    std::erase_if(created_, [&](const CreatedPart& part) { return part.path == path; });
    created_.push_back({path, file.value().identity()});
  }

  // Writes one script; false (after telling `failure`) when it cannot be
  // created or written completely.
  bool WriteScript(const std::string& path, const std::string& text, bool executable,
                   const platform::FileIdentity& source, std::string_view failure) {
    auto file = platform::OutputFile::Create(path, &source, executable);
    Status written = file.ok() ? file.value().Write(text) : Status(file.error());
    if (written.ok()) written = file.value().Close();
    if (written.ok()) return true;
    Tell(failure, "Zelbo - ERROR", MessageIcon::kError);
    return false;
  }

  bool WriteScripts(const platform::FileIdentity& source) {
    const ScriptNames scriptNames{names_.scriptBaseName, names_.sourceFileName,
                                  names_.batchBaseName};
    const std::string base = names_.destinationFolder + names_.batchBaseName;
    constexpr std::string_view kBatchFailure = "ERROR: Could not create DOS batch file";
    // A name with a line break would break every script line it stood in.
    if (!ScriptsCanCarry(names_.sourceFileName) || !ScriptsCanCarry(names_.batchBaseName)) {
      Tell(kBatchFailure, "Zelbo - ERROR", MessageIcon::kError);
      return false;
    }
    return WriteScript(base + ".bat",
                       platform::BatchFileBytes(
                           DosBatchText(ScriptVariant::kWindowed, scriptNames, partNumber_)),
                       false, source, kBatchFailure) &&
           WriteScript(base + ".sh",
                       ShellScriptText(ScriptVariant::kWindowed, scriptNames, partNumber_), true,
                       source, "ERROR: Could not create Linux batch file");
  }

  void TellFinished() {
    if (names_.shortNames) {
      application_.MessageBox(
          "For platform compatibility reasons the partnames were renamed \"part.###\"\n"
          "Continue (OK) for more result details...",
          "Zelbo - Success", MessageIcon::kInformation, MessageButtons::kOk);
    }
    const std::string n = std::to_string(partNumber_);
    Tell("Finished splitting the file into " + n + " parts.\nEach part was named " +
             Quoted(names_.scriptBaseName + ".###") + " (###=001 up to " +
             ThreeDigits(partNumber_) + ")\nThe batch files " +
             Quoted(names_.batchBaseName + ".bat") + " and " +
             Quoted(names_.batchBaseName + ".sh") +
             " to put the pieces back together were created.\n",
         "Zelbo - Success", MessageIcon::kInformation);
  }

  // The last message box of an outcome, shown with the pointer restored.
  void Tell(std::string_view text, std::string_view title, MessageIcon icon) {
    application_.SetCursor(savedCursor_);
    application_.MessageBox(text, title, icon, MessageButtons::kOk);
  }

  TMainForm& window_;
  toolkit::Application& application_;
  SplitPlan& plan_;
  const std::int64_t partSize_;
  const RunNames names_;
  toolkit::Cursor savedCursor_ = toolkit::Cursor::kDefault;
  std::int64_t sourceSize_ = 0;
  std::int64_t bytesDone_ = 0;
  std::int32_t partNumber_ = 0;
  int lastPercent_ = 0;
  bool endOfSource_ = false;
  std::vector<CreatedPart> created_;
  std::array<std::byte, kChunkSize> buffer_{};
};

void TMainForm::RunSplit() { SplitRun(*this, application_, plan_).Execute(); }

}  // namespace zelbo::gui
