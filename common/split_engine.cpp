#include "common/split_engine.h"

#include <algorithm>
#include <numeric>

#include "common/numbers.h"
#include "common/part_names.h"
#include "common/paths.h"

namespace zelbo {
namespace {

// Responsive shared ranges go in steps of this size (a multiple of every
// usual block size).
constexpr std::int64_t kCloneStep = std::int64_t{64} << 20;

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

// ---- The observer's defaults ----

void CopyObserver::PartStarting(std::int32_t, const std::string&) {}
void CopyObserver::BeforeReads(std::int64_t) {}
Proceed CopyObserver::BytesCopied(std::int64_t) { return Proceed::kGo; }
WriteFailureAnswer CopyObserver::PartWriteFailed(const PartWriteFailure&) {
  return WriteFailureAnswer::kStop;
}

// ---- The copier ----

PartCopier::PartCopier(FileSystem& files, SourceFile& source, const RunNames& names,
                       std::int64_t partSize, CopyObserver& observer, ShareSteps steps)
    : files_(files),
      source_(source),
      names_(names),
      partSize_(partSize),
      observer_(observer),
      steps_(steps) {}

CopyOutcome PartCopier::Ended(CopyEnd end, std::int32_t number, const std::string& path,
                              Error error) {
  return CopyOutcome{end, number, path, std::move(error), sizes_};
}

CopyOutcome PartCopier::Copy(std::int32_t partCount) {
  bool endOfSource = false;
  std::int32_t number = 0;
  std::string path;
  while (!endOfSource && number < partCount) {
    ++number;
    path = names_.PartPath(number);
    // Attempts at this part: a retry after a write failure makes it again.
    for (;;) {
      observer_.PartStarting(number, path);
      auto created = files_.CreateOutput(path, &source_.identity(), source_.permissions());
      if (!created.ok()) return Ended(CopyEnd::kCreateFailed, number, path, created.error());
      OutputFile& part = *created.value();
      created_.push_back({number, path, part.identity()});

      PartResult result = CopyPart(part, number);
      if (result.end == PartEnd::kFull || result.end == PartEnd::kEndOfSource) {
        endOfSource = result.end == PartEnd::kEndOfSource;
        sizes_.push_back(bytesDone_ - partSize_ * (number - 1));
        break;
      }
      if (result.end == PartEnd::kReadFailed) {
        (void)part.Close();
        return Ended(CopyEnd::kReadFailed, number, path, std::move(result.error));
      }
      part.Discard();
      if (result.end == PartEnd::kCancelled) return Ended(CopyEnd::kCancelled, number, path);

      // An incomplete part is worth nothing: it goes before the question.
      RemovePart(number);
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
    auto more = source_.HasMore();
    if (!more.ok()) return Ended(CopyEnd::kReadFailed, number, path, more.error());
    if (more.value()) {
      return Ended(CopyEnd::kSourceGrew, number, path,
                   Error{ErrorKind::kRead, source_.path(), "read",
                         "the file has grown since it was measured"});
    }
  }
  return Ended(CopyEnd::kFinished, number, number > 0 ? path : std::string());
}

PartCopier::PartResult PartCopier::CopyPart(OutputFile& part, std::int32_t number) {
  std::int64_t bytesLeft = partSize_;
  PartResult result{PartEnd::kFull};
  if (mayClone_) result = ClonePrefix(part, number, bytesLeft);
  if (result.end == PartEnd::kFull && bytesLeft > 0) result = TransferUnits(part, bytesLeft);
  if (result.end != PartEnd::kFull && result.end != PartEnd::kEndOfSource) return result;
  // Staged bytes are written at the close: a full disk may show only now.
  if (Status closed = part.Close(); !closed.ok()) return {PartEnd::kWriteFailed, closed.error()};
  return result;
}

// Shares the part's blocks with the source where the file system can. Only
// whole read units are shared (or the rest of the source), so that the
// reads which follow, and the progress steps, fall where a copy puts them.
PartCopier::PartResult PartCopier::ClonePrefix(OutputFile& part, std::int32_t number,
                                               std::int64_t& bytesLeft) {
  const std::int64_t offset = partSize_ * (number - 1);
  const std::int64_t block = std::max<std::int64_t>(source_.BlockSize(), 1);
  if (offset % block != 0) return {PartEnd::kFull};
  auto size = source_.Size();
  if (!size.ok() || size.value() <= offset) return {PartEnd::kFull};
  const std::int64_t available = size.value() - offset;
  const std::int64_t granule = std::lcm(kUnit, block);
  const std::int64_t wanted =
      available <= bytesLeft ? available : bytesLeft / granule * granule;
  const std::int64_t step = steps_ == ShareSteps::kWholeParts
                               ? wanted
                               : std::max(kCloneStep / granule * granule, granule);
  std::int64_t shared = 0;
  while (shared < wanted) {
    auto cloned = source_.CloneTo(part, std::min(step, wanted - shared));
    if (!cloned.ok()) {
      if (cloned.error().kind != ErrorKind::kUnsupported) {
        return {cloned.error().kind == ErrorKind::kRead ? PartEnd::kReadFailed
                                                        : PartEnd::kWriteFailed,
                cloned.error()};
      }
      mayClone_ = false;  // this file system says no: copy from here on
      break;
    }
    if (cloned.value() == 0) break;
    observer_.BeforeReads(CeilDiv(cloned.value(), kUnit));
    shared += cloned.value();
    bytesLeft -= cloned.value();
    bytesDone_ += cloned.value();
    if (observer_.BytesCopied(bytesDone_) == Proceed::kStop) return {PartEnd::kCancelled};
  }
  return {PartEnd::kFull};
}

PartCopier::PartResult PartCopier::TransferUnits(OutputFile& part, std::int64_t& bytesLeft) {
  while (bytesLeft > 0) {
    observer_.BeforeReads(1);
    const auto unit = static_cast<std::size_t>(std::min(bytesLeft, kUnit));
    auto moved = source_.TransferTo(part, unit);
    if (!moved.ok()) {
      const bool read_side = moved.error().kind == ErrorKind::kRead;
      return {read_side ? PartEnd::kReadFailed : PartEnd::kWriteFailed, moved.error()};
    }
    if (moved.value() == 0) return {PartEnd::kEndOfSource};
    bytesDone_ += static_cast<std::int64_t>(moved.value());
    if (observer_.BytesCopied(bytesDone_) == Proceed::kStop) return {PartEnd::kCancelled};
    bytesLeft -= static_cast<std::int64_t>(moved.value());
  }
  return {PartEnd::kFull};
}

void PartCopier::Forget(std::int32_t number) {
  std::erase_if(created_, [&](const CreatedPart& part) { return part.number == number; });
}

void PartCopier::RemovePart(std::int32_t number) {
  for (const CreatedPart& part : created_) {
    if (part.number == number) files_.RemoveIfSame(part.path, part.identity);
  }
  Forget(number);
}

void PartCopier::RemoveCreatedParts() {
  for (auto part = created_.rbegin(); part != created_.rend(); ++part) {
    files_.RemoveIfSame(part->path, part->identity);
  }
  created_.clear();
}

// ---- Scripts ----

void RemoveStaleScripts(FileSystem& files, const RunNames& names, const FileIdentity& source) {
  files.RemoveStale(names.BatchPath(), source);
  files.RemoveStale(names.ShellPath(), source);
}

ScriptInput ScriptInputFor(const RunNames& names, ScriptVariant variant,
                           const std::vector<std::int64_t>& partSizes) {
  return ScriptInput{variant, names.scriptBaseName, names.sourceFileName, names.batchBaseName,
                     partSizes, {}};
}

namespace {

Status WriteScript(FileSystem& files, const std::string& path, std::string_view bytes,
                   std::uint32_t permissions, const FileIdentity& source) {
  auto created = files.CreateOutput(path, &source, permissions);
  if (!created.ok()) return created.error();
  OutputFile& script = *created.value();
  Status written = script.Write(bytes);
  if (written.ok()) written = script.Close();
  // A script cut short could join the parts wrongly: none is better.
  if (!written.ok()) {
    script.Discard();
    files.RemoveIfSame(path, script.identity());
  }
  return written;
}

}  // namespace

Status WriteDosBatch(FileSystem& files, const RunNames& names, ScriptVariant variant,
                     const std::vector<std::int64_t>& partSizes, const SourceFacts& source) {
  const std::string text = DosBatchText(ScriptInputFor(names, variant, partSizes));
  return WriteScript(files, names.BatchPath(), platform::BatchFileBytes(text),
                     source.permissions & 0666, source.identity);
}

Status WriteShellScript(FileSystem& files, const RunNames& names, ScriptVariant variant,
                        const std::vector<std::int64_t>& partSizes, const SourceFacts& source) {
  // Executable for each of owner, group and others who may read it.
  const std::uint32_t readable = source.permissions & 0444;
  return WriteScript(files, names.ShellPath(),
                     ShellScriptText(ScriptInputFor(names, variant, partSizes)),
                     (source.permissions & 0666) | (readable >> 2), source.identity);
}

}  // namespace zelbo
