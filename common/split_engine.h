// The split run that both programs share: the names of a run, the copier
// that cuts the source into numbered parts, and the writing of the two
// reassembly scripts. It needs no window and no process: it reaches files
// through a FileSystem and tells what happens to a CopyObserver, and every
// outcome comes back as a value. Each program keeps only its own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system.h"
#include "common/scripts.h"
#include "platform/system.h"

namespace zelbo {

// The source is read in units of this many bytes (one progress step each).
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

enum class Proceed { kGo, kStop };
enum class WriteFailureAnswer { kStop, kRetry };

// A part that could not be written completely (disk full, no rights, a
// file-size limit, a failed close). The part has been removed already.
struct PartWriteFailure {
  std::int32_t number;
  const std::string& path;
  const Error& error;
};

// What the copier tells while it works; each program shows it its own way.
class CopyObserver {
 public:
  // Before part `number` is created (again, after a retry).
  virtual void PartStarting(std::int32_t number, const std::string& path);
  // Before reads of up to kReadUnit bytes each: `count` is 1 before each
  // read, and the number of reads a range replaces when it was shared
  // without reading (told once, so that a shared gigabyte costs one call).
  virtual void BeforeReads(std::int64_t count);
  // After a read that gave bytes, and after a retry went back to a part's
  // first byte: `done` bytes of the source are in parts now. kStop ends
  // the run as cancelled; the bytes of that read are not written.
  virtual Proceed BytesCopied(std::int64_t done);
  // kRetry makes the same part again from its first byte.
  virtual WriteFailureAnswer PartWriteFailed(const PartWriteFailure& failure);

 protected:
  ~CopyObserver() = default;
};

enum class CopyEnd {
  kFinished,      // every part written, the source read to its end
  kCreateFailed,  // a part could not be created (kCreate, or kSameAsSource)
  kReadFailed,    // the current part is closed and stays
  kWriteFailed,   // the observer chose to stop; the current part is gone
  kCancelled,     // the observer stopped after a read; the current part is abandoned
  kSeekFailed,    // going back for a retry failed
  kSourceGrew,    // the source had more bytes than the plan after the last part
};

struct CopyOutcome {
  CopyEnd end = CopyEnd::kFinished;
  std::int32_t partsWritten = 0;  // the last part number reached; the scripts name these
  std::string partPath;           // the part being made when the run ended
  Error error{};                  // what failed, where something did
  std::vector<std::int64_t> partSizes;  // the bytes of each part completed
};

// What the scripts need to know of the source once it is closed.
struct SourceFacts {
  FileIdentity identity;
  std::uint32_t permissions = 0666;
};

// How much of a part one shared range may cover: a window takes clicks and
// repaints between steps of 64 MiB; the console, with nothing to answer
// meanwhile, shares each part at once.
enum class ShareSteps { kResponsive, kWholeParts };

// Cuts an open source into parts of `partSize` bytes (the last may be
// shorter) named by `names`, from the source's current position.
class PartCopier {
 public:
  PartCopier(FileSystem& files, SourceFile& source, const RunNames& names,
             std::int64_t partSize, CopyObserver& observer,
             ShareSteps steps = ShareSteps::kResponsive);

  // Makes parts 1 up to `partCount`, fewer when the source ends early (the
  // part in which it ends is still made and counted, even when empty).
  // Where the source's file system can share storage between files, parts
  // share the source's blocks instead of copying them.
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

  PartResult CopyPart(OutputFile& part, std::int32_t number);
  PartResult ClonePrefix(OutputFile& part, std::int32_t number, std::int64_t& bytesLeft);
  PartResult TransferUnits(OutputFile& part, std::int64_t& bytesLeft);
  CopyOutcome Ended(CopyEnd end, std::int32_t number, const std::string& path, Error error = {});
  void Forget(std::int32_t number);

  FileSystem& files_;
  SourceFile& source_;
  const RunNames& names_;
  const std::int64_t partSize_;
  CopyObserver& observer_;
  const ShareSteps steps_;
  std::int64_t bytesDone_ = 0;
  bool mayClone_ = true;
  std::vector<CreatedPart> created_;
  std::vector<std::int64_t> sizes_;
};

// Before the first part: removes old scripts of this run's names (regular
// files and links that are not the source), so that a run that fails
// leaves no script that would join old and new parts into a wrong file.
void RemoveStaleScripts(FileSystem& files, const RunNames& names, const FileIdentity& source);

// The two scripts of a run, each created as a new file (never over the
// source) in the parts' folder, written whole and closed: the batch in the
// bytes that the platform's command interpreter reads, the shell script
// executable for those who may read the source. The error's kind says what
// failed: kCreate or kSameAsSource (nothing was written), kWrite or kClose
// (the incomplete file has been removed again).
// `partSizes` are the bytes of parts 1..n, which the scripts check as they
// join them.
Status WriteDosBatch(FileSystem& files, const RunNames& names, ScriptVariant variant,
                     const std::vector<std::int64_t>& partSizes, const SourceFacts& source);
Status WriteShellScript(FileSystem& files, const RunNames& names, ScriptVariant variant,
                        const std::vector<std::int64_t>& partSizes, const SourceFacts& source);

// What the scripts of a run are made from.
ScriptInput ScriptInputFor(const RunNames& names, ScriptVariant variant,
                           const std::vector<std::int64_t>& partSizes);

}  // namespace zelbo
