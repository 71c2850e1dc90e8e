// The split run that both programs share: the names of a run, the copier
// that cuts the source into numbered parts, and the writing of the two
// reassembly scripts. It needs no window and no process: it reaches files
// through the platform's file layer and tells what happens to a
// CopyObserver, and every outcome comes back as a value. Each program keeps
// only its own words.
#pragma once

#include <chrono>
#include <optional>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "common/scripts.h"
#include "platform/system.h"

namespace zelbo {

using platform::FileIdentity;
using platform::FolderVolume;
using platform::InputFile;
using platform::OutputFile;

// The source is counted in units of this many bytes: one progress mark each.
inline constexpr std::size_t kReadUnit = 32768;

// The names of one run.
struct RunNames {
  std::string folder;          // the parts' and scripts' folder, ready for a name
  std::string scriptBaseName;  // the parts' base name: "part" when shortNames
  std::string sourceFileName;  // the name the scripts restore
  std::string batchBaseName;   // the scripts' own name, without extension
  bool shortNames = false;     // the 8.3 test replaced the base name by "part"

  std::string PartBasePath() const { return folder + scriptBaseName; }
  std::string PartPath(std::int32_t number) const;
  std::string BatchPath() const { return folder + batchBaseName + ".bat"; }
  std::string ShellPath() const { return folder + batchBaseName + ".sh"; }
};

// The console program's names: the parts and "unsplit.bat"/"unsplit.sh"
// beside the source; the base name is "part" when the source's own name
// fails the 8.3 test.
RunNames ConsoleRunNames(std::string_view sourcePath,
                         const platform::PathStyle& style = platform::NativePathStyle());

// The windowed program's names: everything in the batch file's folder,
// named after the batch file; "part" when `wantShortNames` and the batch
// name fails the 8.3 test.
RunNames WindowedRunNames(std::string_view sourcePath, std::string_view batchPath,
                          bool wantShortNames,
                          const platform::PathStyle& style = platform::NativePathStyle());

// Why a run's names cannot be used, found before anything is written.
enum class NameProblem {
  kNone,
  kLineBreak,   // no script line can hold the name
  kDeviceName,  // the platform keeps the restored name for a device
};
NameProblem ProblemWithNames(const RunNames& names);

// The first output of the run (parts 1..`partCount`, then the batch and
// the shell script) that is the source itself under some name, or "".
// Such a run is refused before its first part, not when it reaches it.
std::string OutputThatIsTheSource(const RunNames& names, std::int32_t partCount,
                                  const FileIdentity& source);

enum class Proceed { kGo, kStop };
enum class WriteFailureAnswer { kStop, kRetry };

// A part that could not be written completely (disk full, no rights, a
// failed flush or close). The part has been removed already, and what was
// written before it is on the medium.
struct PartWriteFailure {
  std::int32_t number;
  const std::string& path;
  const Error& error;
};

// Why the parts' folder cannot take the next part.
enum class FolderProblem {
  kGone,      // it is no longer there, or is the bare mount point of a medium that went
  kTooSmall,  // the medium in it cannot hold a file of the part size
};

struct FolderLoss {
  FolderProblem problem;
  const std::string& folder;
  std::int32_t nextPart;
  const FolderVolume* volume;  // kTooSmall: what the folder holds
};

// What the copier tells while it works; each program shows it its own way.
class CopyObserver {
 public:
  // Before part `number` is created (again, after a retry).
  virtual void PartStarting(std::int32_t number, const std::string& path);
  // After a step of the copy: it covered `count` more read units of the
  // current part (kReadUnit bytes each, counted from the part's first byte;
  // the part's last unit may be shorter, and finding the end of the source
  // inside a part counts as one more), told at once for a whole step.
  virtual void UnitsCopied(std::int64_t count);
  // After a step that moved bytes, and after a retry went back to a part's
  // first byte: `done` bytes of the source are in parts now. kStop ends
  // the run as cancelled.
  virtual Proceed BytesCopied(std::int64_t done);
  // kRetry makes the same part again from its first byte.
  virtual WriteFailureAnswer PartWriteFailed(const PartWriteFailure& failure);
  // The folder of the parts has gone (the medium was taken out) or cannot
  // hold the next part: another folder for the rest of the parts (ready for
  // a name, as RunNames::folder), or "" to stop.
  virtual std::string FolderLost(const FolderLoss& loss);

 protected:
  ~CopyObserver() = default;
};

enum class CopyEnd {
  kFinished,      // every part written, the source read to its end
  kCreateFailed,  // a part could not be created (kCreate, or kSameAsSource)
  kReadFailed,    // the current part is closed and stays
  kWriteFailed,   // the observer chose to stop; the current part is gone
  kTooLarge,      // the part outgrew the largest file allowed; it is gone
  kFolderGone,    // the parts' folder went, and the observer chose to stop
  kCancelled,     // the observer stopped after a read; the current part is abandoned
  kSeekFailed,    // going back for a retry failed
  kSourceChanged,  // the source was written while it was split (it grew past the plan, shrank,
                   // or changed its bytes): the parts may not join into it
};

// Parts from `firstPart` on went into `folder` (until the next placement).
struct Placement {
  std::string folder;
  std::int32_t firstPart;
};

struct CopyOutcome {
  CopyEnd end = CopyEnd::kFinished;
  std::int32_t partsWritten = 0;  // the last part number reached; the scripts name these
  std::string partPath;           // the part being made when the run ended
  Error error{};                  // what failed, where something did
  std::vector<std::int64_t> partSizes;  // the bytes of each part completed
  // Finished runs that computed them: each part's SHA-256, 64 hex digits.
  std::vector<std::string> partDigests;
  // Where the parts went: one folder, or more when a medium was swapped.
  // The scripts go with the last part.
  std::vector<Placement> placements;
};

// What the scripts need to know of the source once it is closed.
struct SourceFacts {
  FileIdentity identity;
  std::uint32_t permissions = 0666;
};

// How long one step of the copy may take before the observer hears of it:
// a window takes clicks and repaints between steps; the console only turns
// its mark. Steps grow or shrink to take about this long on the medium at
// hand.
enum class CopyPace { kResponsive, kSteady };

// How a run copies.
struct CopyOptions {
  CopyPace pace = CopyPace::kResponsive;
  // Each part's SHA-256, for the scripts to check.
  bool digests = true;
  // Parts on the medium before they count as written: each step is written
  // behind, the folder's medium flushed before any question about it (and
  // by the program at the end), each part of at least `flushEachPartFrom`
  // bytes before it is closed. Smaller parts wait for the medium's flush
  // where that holds them: one journal commit instead of one per part,
  // half the time of floppy-sized parts here.
  bool flush = true;
  std::int64_t flushEachPartFrom = std::int64_t{64} << 20;
};

// The largest part that the folder's medium and this process can hold.
struct PartLimit {
  std::int64_t largest;
  std::string what;  // "FAT", "the file-size limit of this process (ulimit -f)", ...
};
// Nothing when parts of `partSize` bytes fit (or the folder cannot be
// looked at: creating the first part will say why).
std::optional<PartLimit> PartsThatDoNotFit(const std::string& folder, std::int64_t partSize);

// Sizes the steps of a copy so that each takes about the pace's time.
class StepSizer {
 public:
  explicit StepSizer(CopyPace pace);
  // The next step: whole read units, at most `left` bytes.
  std::int64_t Next(std::int64_t left) const;
  // A step moved `bytes` in `elapsed`.
  void Took(std::int64_t bytes, std::chrono::steady_clock::duration elapsed);

 private:
  std::chrono::steady_clock::duration target_;
  std::int64_t most_;
  std::int64_t step_;
};

class PartDigests;

// Cuts an open source into parts of `partSize` bytes (the last may be
// shorter) named by `names`, from the source's current position.
class PartCopier {
 public:
  PartCopier(InputFile& source, const RunNames& names, std::int64_t partSize,
             CopyObserver& observer, CopyOptions options = {});

  // Makes parts 1 up to `partCount`, fewer when the source ends early (the
  // part in which it ends is still made and counted, even when empty). The
  // kernel copies the bytes, and where the source's file system can share
  // storage between files, the parts share the source's blocks. The parts'
  // digests are computed meanwhile, on other threads. Before each part the
  // folder is checked to be still on its medium, or on one newly mounted
  // there. A source that was written while it was split (its size or the
  // time of its last change differ from the start) ends the run in
  // kSourceChanged, with the parts kept and no digests.
  CopyOutcome Copy(std::int32_t partCount);

  // Removes part `number` if this copier made it and it is still that file.
  void RemovePart(std::int32_t number);
  // Removes every part this copier made, the newest first.
  void RemoveCreatedParts();

 private:
  enum class PartEnd { kFull, kEndOfSource, kReadFailed, kWriteFailed, kCancelled };
  struct PartResult {
    PartEnd end;
    Error error{};
  };
  struct CreatedPart {
    std::int32_t number;
    std::string path;
    FileIdentity identity;
  };

  PartResult CopyPart(OutputFile& part);
  PartResult StepBehind(OutputFile& part);
  bool FlushesEachPart() const;
  Status FlushForAQuestion();
  CopyOutcome CopyAndHash(std::int32_t partCount);
  CopyOutcome CopyParts(std::int32_t partCount);
  bool FolderStillThere(std::int32_t number);
  std::optional<FolderProblem> ProblemWithFolder();
  CopyOutcome Ended(CopyEnd end, std::int32_t number, const std::string& path, Error error = {});
  void Forget(std::int32_t number);
  Result<bool> SourceHasMore();

  InputFile& source_;
  RunNames names_;  // its folder changes when a medium goes
  const std::int64_t partSize_;
  CopyObserver& observer_;
  StepSizer steps_;
  const CopyOptions options_;
  std::int64_t bytesDone_ = 0;
  std::vector<CreatedPart> created_;
  std::vector<std::int64_t> sizes_;
  std::vector<Placement> placements_;
  // The folder's file system when the run began (or the folder was chosen).
  std::optional<FolderVolume> volume_;
  PartDigests* digests_ = nullptr;  // while the copy computes them
};

// Before the first part: removes old scripts of this run's names (regular
// files and links that are not the source), so that a run that fails
// leaves no script that would join old and new parts into a wrong file. A
// script that cannot be removed is an error: no part may be written then.
Status RemoveStaleScripts(const RunNames& names, const FileIdentity& source);

// What the scripts of a run are made from: its names and the sizes and
// digests of the parts it wrote, which the scripts check as they join them.
ScriptInput ScriptInputFor(const RunNames& names, ScriptVariant variant,
                           const CopyOutcome& copied);

// The two scripts of a run, each created as a new file (never over the
// source) in the parts' folder, written whole, flushed when `flush`, and
// closed: the batch in the bytes that the platform's command interpreter
// reads, the shell script executable for those who may read the source.
// The error's kind says what failed: kCreate or kSameAsSource (nothing was
// written), kWrite or kClose (the incomplete file has been removed again).
Status WriteDosBatch(const RunNames& names, const ScriptInput& input, const SourceFacts& source,
                     bool flush);
Status WriteShellScript(const RunNames& names, const ScriptInput& input,
                        const SourceFacts& source, bool flush);

// The names of a run whose parts ended in the outcome's last folder: where
// its scripts go.
RunNames NamesAtTheEnd(const RunNames& names, const CopyOutcome& copied);

}  // namespace zelbo
