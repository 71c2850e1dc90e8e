#include "common/split_engine.h"

#include <algorithm>

#include "common/numbers.h"
#include "common/part_digests.h"
#include "common/part_names.h"
#include "common/paths.h"

namespace zelbo {
namespace {

constexpr auto kUnit = static_cast<std::int64_t>(kReadUnit);

}  // namespace

// ---- Names ----

std::string RunNames::PartPath(std::int32_t number) const {
  return PartFileName(PartBasePath(), number);
}

RunNames ConsoleRunNames(std::string_view sourcePath, const platform::PathStyle& style) {
  const PathPieces source = fnsplit(sourcePath, style);
  RunNames names;
  names.folder = source.Folder();
  names.shortNames = IsLongName(source.name, source.extension);
  names.scriptBaseName = names.shortNames ? std::string(kShortPartBaseName) : source.name;
  names.sourceFileName = source.FileName();
  names.batchBaseName = "unsplit";
  return names;
}

RunNames WindowedRunNames(std::string_view sourcePath, std::string_view batchPath,
                          bool wantShortNames, const platform::PathStyle& style) {
  const PathPieces source = fnsplit(sourcePath, style);
  const PathPieces batch = fnsplit(batchPath, style);
  RunNames names;
  names.folder = batch.Folder();
  names.shortNames = wantShortNames && IsLongName(batch.name, batch.extension);
  names.scriptBaseName = names.shortNames ? std::string(kShortPartBaseName) : batch.name;
  names.sourceFileName = source.FileName();
  names.batchBaseName = batch.name;
  return names;
}

// ---- Checks before the run ----

NameProblem ProblemWithNames(const RunNames& names) {
  for (const std::string* name : {&names.sourceFileName, &names.scriptBaseName, &names.batchBaseName}) {
    if (!ScriptsCanCarry(*name)) return NameProblem::kLineBreak;
  }
  if (platform::ReservesDeviceNames() && IsReservedDeviceName(names.sourceFileName)) {
    return NameProblem::kDeviceName;
  }
  return NameProblem::kNone;
}

std::string OutputThatIsTheSource(const RunNames& names, std::int32_t partCount,
                                  const FileIdentity& source) {
  for (std::int32_t number = 1; number <= partCount; ++number) {
    if (platform::IsFile(names.PartPath(number), source)) return names.PartPath(number);
  }
  for (const std::string& script : {names.BatchPath(), names.ShellPath()}) {
    if (platform::IsFile(script, source)) return script;
  }
  return {};
}

// ---- The observer's defaults ----

void CopyObserver::PartStarting(std::int32_t, const std::string&) {}
void CopyObserver::UnitsCopied(std::int64_t) {}
Proceed CopyObserver::BytesCopied(std::int64_t) { return Proceed::kGo; }
WriteFailureAnswer CopyObserver::PartWriteFailed(const PartWriteFailure&) {
  return WriteFailureAnswer::kStop;
}
std::string CopyObserver::FolderLost(const FolderLoss&) { return {}; }

// ---- The medium ----

std::optional<PartLimit> PartsThatDoNotFit(const std::string& folder, std::int64_t partSize) {
  auto volume = platform::VolumeOf(folder);
  if (!volume.ok() || partSize <= volume.value().largestFile) return std::nullopt;
  return PartLimit{volume.value().largestFile, volume.value().limit};
}

// ---- Steps ----

namespace {

struct Pace {
  std::chrono::milliseconds target;
  std::int64_t first, most;
};

// A window answers clicks within a few of its 10 ms pumps; the console turns
// its mark a few times a second. The largest steps keep the marks of one
// step (two bytes per unit) within 64 KiB.
constexpr Pace kResponsivePace{std::chrono::milliseconds(8), std::int64_t{1} << 20,
                               std::int64_t{256} << 20};
constexpr Pace kSteadyPace{std::chrono::milliseconds(150), std::int64_t{16} << 20,
                           std::int64_t{1} << 30};

const Pace& PaceOf(CopyPace pace) {
  return pace == CopyPace::kResponsive ? kResponsivePace : kSteadyPace;
}

}  // namespace

StepSizer::StepSizer(CopyPace pace)
    : target_(PaceOf(pace).target), most_(PaceOf(pace).most), step_(PaceOf(pace).first) {}

std::int64_t StepSizer::Next(std::int64_t left) const { return std::min(step_, left); }

void StepSizer::Took(std::int64_t bytes, std::chrono::steady_clock::duration elapsed) {
  if (bytes < step_) return;  // a short step says nothing of the medium's speed
  const auto took = std::max<std::int64_t>(elapsed.count(), 1);
  // At most four times larger at once: a burst into the cache says little
  // of the medium behind it.
  const std::int64_t fitting = static_cast<std::int64_t>(
      static_cast<double>(bytes) * static_cast<double>(target_.count()) / static_cast<double>(took));
  step_ = std::clamp(std::min(fitting, 4 * step_) / kUnit * kUnit, kUnit, most_);
}

// ---- The copier ----

PartCopier::PartCopier(InputFile& source, const RunNames& names, std::int64_t partSize,
                       CopyObserver& observer, CopyOptions options)
    : source_(source),
      names_(names),
      partSize_(partSize),
      observer_(observer),
      steps_(options.pace),
      options_(options) {}

CopyOutcome PartCopier::Ended(CopyEnd end, std::int32_t number, const std::string& path,
                              Error error) {
  return CopyOutcome{end, number, path, std::move(error), sizes_, {}, placements_};
}

CopyOutcome PartCopier::Copy(std::int32_t partCount) {
  if (auto volume = platform::VolumeOf(names_.folder); volume.ok()) volume_ = volume.value();
  placements_ = {{names_.folder, 1}};
  auto before = source_.Version();
  if (!before.ok()) return Ended(CopyEnd::kReadFailed, 0, {}, before.error());
  CopyOutcome copied = options_.digests ? CopyAndHash(partCount) : CopyParts(partCount);
  if (copied.end != CopyEnd::kFinished) return copied;
  // Parts cut from a file that someone wrote meanwhile may hold some of its
  // old bytes and some of its new ones, or bytes it no longer has: they
  // would join into a file that never was.
  auto after = source_.Version();
  if (!after.ok()) {
    return Ended(CopyEnd::kReadFailed, copied.partsWritten, copied.partPath, after.error());
  }
  if (after.value() != before.value()) {
    return Ended(CopyEnd::kSourceChanged, copied.partsWritten, copied.partPath,
                 Error{ErrorKind::kRead, source_.path(), "fstat",
                       "the file was changed while it was split"});
  }
  return copied;
}

CopyOutcome PartCopier::CopyAndHash(std::int32_t partCount) {
  // Started first, so that they hash while the parts are copied; they read
  // the source from its start, as the copy does.
  PartDigests digests(source_, partSize_, partCount);
  digests_ = &digests;
  CopyOutcome copied = CopyParts(partCount);
  digests_ = nullptr;
  if (copied.end != CopyEnd::kFinished) return copied;
  auto hashed = digests.Finish(copied.partSizes, [&](std::int32_t number) {
    RunNames where = names_;
    for (const Placement& placement : placements_) {
      if (placement.firstPart <= number) where.folder = placement.folder;
    }
    return where.PartPath(number);
  });
  if (!hashed.ok()) {
    return Ended(CopyEnd::kReadFailed, copied.partsWritten, copied.partPath, hashed.error());
  }
  copied.partDigests = std::move(hashed.value());
  return copied;
}

CopyOutcome PartCopier::CopyParts(std::int32_t partCount) {
  bool endOfSource = false;
  std::int32_t number = 0;
  std::string path;
  while (!endOfSource && number < partCount) {
    ++number;
    // Attempts at this part: a retry after a write failure makes it again.
    for (;;) {
      if (!FolderStillThere(number)) {
        return Ended(CopyEnd::kFolderGone, number, names_.PartPath(number));
      }
      path = names_.PartPath(number);
      if (digests_ != nullptr) digests_->CopyReached(number);
      observer_.PartStarting(number, path);
      auto created = OutputFile::Create(path, &source_.identity(), source_.permissions());
      if (!created.ok()) return Ended(CopyEnd::kCreateFailed, number, path, created.error());
      OutputFile& part = created.value();
      created_.push_back({number, path, part.identity()});

      PartResult result = CopyPart(part);
      if (result.end == PartEnd::kFull || result.end == PartEnd::kEndOfSource) {
        endOfSource = result.end == PartEnd::kEndOfSource;
        sizes_.push_back(part.position());
        break;
      }
      (void)part.Close();  // what failed is reported already
      if (result.end == PartEnd::kReadFailed) {
        return Ended(CopyEnd::kReadFailed, number, path, std::move(result.error));
      }
      if (result.end == PartEnd::kCancelled) return Ended(CopyEnd::kCancelled, number, path);

      // An incomplete part is worth nothing: it goes before the question.
      RemovePart(number);
      if (result.error.kind == ErrorKind::kTooLarge) {
        return Ended(CopyEnd::kTooLarge, number, path, std::move(result.error));
      }
      // The parts before it are on the medium; so must their names be
      // before anyone is asked to take the medium out.
      if (Status flushed = FlushForAQuestion(); !flushed.ok()) {
        return Ended(CopyEnd::kWriteFailed, number, path, flushed.error());
      }
      const WriteFailureAnswer answer =
          observer_.PartWriteFailed(PartWriteFailure{number, path, result.error});
      if (answer == WriteFailureAnswer::kStop) {
        return Ended(CopyEnd::kWriteFailed, number, path, std::move(result.error));
      }
      bytesDone_ = partSize_ * (number - 1);
      if (Status sought = source_.Seek(bytesDone_); !sought.ok()) {
        return Ended(CopyEnd::kSeekFailed, number, path, sought.error());
      }
      if (observer_.BytesCopied(bytesDone_) == Proceed::kStop) {
        return Ended(CopyEnd::kCancelled, number, path);
      }
    }
  }
  if (!endOfSource && number > 0) {
    // The plan was measured before the copy: a source that grew since has
    // bytes that no part holds.
    auto more = SourceHasMore();
    if (!more.ok()) return Ended(CopyEnd::kReadFailed, number, path, more.error());
    if (more.value()) {
      return Ended(CopyEnd::kSourceChanged, number, path,
                   Error{ErrorKind::kRead, source_.path(), "read",
                         "the file has grown since it was measured"});
    }
  }
  return Ended(CopyEnd::kFinished, number, number > 0 ? path : std::string());
}

Result<bool> PartCopier::SourceHasMore() {
  std::byte probe[1];
  auto read = source_.Read(probe);
  if (!read.ok()) return read.error();
  return read.value() > 0;
}

// A folder whose medium was taken out may be gone, or be the bare mount
// point on the disk below; a newly mounted medium in its place is fine.
std::optional<FolderProblem> PartCopier::ProblemWithFolder() {
  if (!volume_) return std::nullopt;  // never seen: creating the part tells
  auto now = platform::VolumeOf(names_.folder, &*volume_);
  if (!now.ok()) return FolderProblem::kGone;
  if (now.value().device != volume_->device) {
    if (now.value().device == volume_->below) return FolderProblem::kGone;
    volume_ = now.value();  // another medium, mounted in the same place
  }
  if (volume_->largestFile < partSize_) return FolderProblem::kTooSmall;
  return std::nullopt;
}

// Asks for another folder as long as the parts cannot go where they would.
bool PartCopier::FolderStillThere(std::int32_t number) {
  while (const std::optional<FolderProblem> problem = ProblemWithFolder()) {
    const FolderVolume seen = *volume_;
    const std::string folder =
        observer_.FolderLost(FolderLoss{*problem, names_.folder, number, &seen});
    if (folder.empty()) return false;
    names_.folder = folder;
    auto volume = platform::VolumeOf(folder);
    if (volume.ok()) {
      volume_ = volume.value();
    } else {
      volume_.reset();
    }
    if (placements_.back().firstPart == number) placements_.pop_back();
    placements_.push_back({folder, number});
    // Best done at once: the scripts that replace them come only at the end.
    (void)RemoveStaleScripts(names_, source_.identity());
  }
  return true;
}

// Copies the part in steps. The observer hears of the read units each step
// covered, counted from the part's first byte as a copy in units would have
// read them, so that the marks do not depend on the steps.
PartCopier::PartResult PartCopier::CopyPart(OutputFile& part) {
  std::int64_t left = partSize_;
  std::int64_t unitsTold = 0;
  PartEnd end = PartEnd::kFull;
  while (left > 0) {
    const auto started = std::chrono::steady_clock::now();
    auto moved = platform::CopyRange(source_, part, steps_.Next(left));
    if (!moved.ok()) {
      const bool readSide = moved.error().kind == ErrorKind::kRead;
      return {readSide ? PartEnd::kReadFailed : PartEnd::kWriteFailed, moved.error()};
    }
    if (PartResult behind = StepBehind(part); behind.end != PartEnd::kFull) return behind;
    // The medium's pace, not the cache's: a step waits for the one before.
    steps_.Took(moved.value(), std::chrono::steady_clock::now() - started);
    const std::int64_t units = CeilDiv(part.position(), kUnit);
    if (moved.value() == 0) {
      observer_.UnitsCopied(units - unitsTold + 1);  // the read that found the end
      end = PartEnd::kEndOfSource;
      break;
    }
    observer_.UnitsCopied(units - unitsTold);
    unitsTold = units;
    left -= moved.value();
    bytesDone_ += moved.value();
    if (observer_.BytesCopied(bytesDone_) == Proceed::kStop) return {PartEnd::kCancelled};
  }
  // A full disk or a failed delayed write may show only at the flush or the
  // close.
  if (FlushesEachPart()) {
    if (Status flushed = part.Flush(); !flushed.ok()) return {PartEnd::kWriteFailed, flushed.error()};
  }
  if (Status closed = part.Close(); !closed.ok()) return {PartEnd::kWriteFailed, closed.error()};
  return {end};
}

bool PartCopier::FlushesEachPart() const {
  return options_.flush &&
         (partSize_ >= options_.flushEachPartFrom || !platform::FolderFlushHoldsFiles());
}

Status PartCopier::FlushForAQuestion() {
  if (!options_.flush) return {};
  return platform::FlushFolder(names_.folder);
}

PartCopier::PartResult PartCopier::StepBehind(OutputFile& part) {
  if (!options_.flush) return {PartEnd::kFull};
  if (Status behind = part.WriteBehind(); !behind.ok()) return {PartEnd::kWriteFailed, behind.error()};
  return {PartEnd::kFull};
}

void PartCopier::Forget(std::int32_t number) {
  std::erase_if(created_, [&](const CreatedPart& part) { return part.number == number; });
}

void PartCopier::RemovePart(std::int32_t number) {
  for (const CreatedPart& part : created_) {
    if (part.number == number) platform::RemoveIfSame(part.path, part.identity);
  }
  Forget(number);
}

void PartCopier::RemoveCreatedParts() {
  for (auto part = created_.rbegin(); part != created_.rend(); ++part) {
    platform::RemoveIfSame(part->path, part->identity);
  }
  created_.clear();
}

// ---- Scripts ----

Status RemoveStaleScripts(const RunNames& names, const FileIdentity& source) {
  if (Status removed = platform::RemoveStale(names.BatchPath(), source); !removed.ok()) {
    return removed;
  }
  return platform::RemoveStale(names.ShellPath(), source);
}

RunNames NamesAtTheEnd(const RunNames& names, const CopyOutcome& copied) {
  RunNames atTheEnd = names;
  if (!copied.placements.empty()) atTheEnd.folder = copied.placements.back().folder;
  return atTheEnd;
}

ScriptInput ScriptInputFor(const RunNames& names, ScriptVariant variant,
                           const CopyOutcome& copied) {
  return ScriptInput{variant,           names.scriptBaseName, names.sourceFileName,
                     names.batchBaseName, copied.partSizes,   copied.partDigests};
}

namespace {

Status WriteScript(const std::string& path, std::string_view bytes, std::uint32_t permissions,
                   const FileIdentity& source, bool flush) {
  auto created = OutputFile::Create(path, &source, permissions);
  if (!created.ok()) return created.error();
  OutputFile& script = created.value();
  Status written = script.Write(bytes);
  if (written.ok() && flush) written = script.Flush();
  if (written.ok()) written = script.Close();
  // A script cut short could join the parts wrongly: none is better.
  if (!written.ok()) {
    (void)script.Close();
    platform::RemoveIfSame(path, script.identity());
  }
  return written;
}

}  // namespace

Status WriteDosBatch(const RunNames& names, const ScriptInput& input, const SourceFacts& source,
                     bool flush) {
  return WriteScript(names.BatchPath(), platform::BatchFileBytes(DosBatchText(input)),
                     source.permissions & 0666, source.identity, flush);
}

Status WriteShellScript(const RunNames& names, const ScriptInput& input,
                        const SourceFacts& source, bool flush) {
  // Executable for each of owner, group and others who may read it.
  const std::uint32_t readable = source.permissions & 0444;
  return WriteScript(names.ShellPath(),
                     ShellScriptText(input),
                     (source.permissions & 0666) | (readable >> 2), source.identity, flush);
}

}  // namespace zelbo
