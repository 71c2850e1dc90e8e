// The copier and the script writing of the engine, on the real file layer
// in a temporary folder, with system calls failing where each case says.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/split_engine.h"
#include "platform/digest.h"
#include "tests/support/files.h"

namespace zelbo {
namespace {

namespace fs = std::filesystem;
using platform::FailureCode;
using platform::ScopedFaults;
using platform::SystemCall;
using platform::SystemFault;

constexpr std::int64_t kPart = 100000;  // not a multiple of the read unit

// Records what the copier tells and answers as the case says.
class Recorder final : public CopyObserver {
 public:
  void PartStarting(std::int32_t number, const std::string&) override {
    started.push_back(number);
    marks.push_back(0);
    if (on_part) on_part(number);
  }
  void UnitsCopied(std::int64_t count) override { marks.back() += static_cast<int>(count); }
  Proceed BytesCopied(std::int64_t done) override {
    progress.push_back(done);
    if (on_progress) on_progress(done);
    return done >= stop_at ? Proceed::kStop : Proceed::kGo;
  }
  std::string FolderLost(const FolderLoss& loss) override {
    lost.push_back(loss.problem);
    if (folders.empty()) return {};
    std::string folder = folders.front();
    folders.erase(folders.begin());
    return folder;
  }
  WriteFailureAnswer PartWriteFailed(const PartWriteFailure& failure) override {
    failed.push_back(failure.number);
    return retry ? WriteFailureAnswer::kRetry : WriteFailureAnswer::kStop;
  }

  std::vector<int> started, marks, failed;
  std::vector<std::int64_t> progress;
  std::vector<FolderProblem> lost;
  std::vector<std::string> folders;  // the answers to FolderLost
  std::int64_t stop_at = INT64_MAX;
  bool retry = false;
  std::function<void(int)> on_part;
  std::function<void(std::int64_t)> on_progress;
};

class Copier : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "in");
    fs::create_directories(dir_ / "out");
  }

  void MakeSource(std::int64_t size) {
    bytes_ = testing::PatternBytes(static_cast<std::size_t>(size));
    testing::WriteFile(source_, bytes_);
  }

  CopyOutcome Copy(std::int32_t count, std::vector<SystemFault> faults = {}) {
    auto source = InputFile::Open(source_.string());
    EXPECT_TRUE(source.ok());
    source_file_ = std::make_unique<InputFile>(std::move(source.value()));
    ScopedFaults injected(std::move(faults));
    copier_ = std::make_unique<PartCopier>(*source_file_, names_, kPart, recorder_, options_);
    return copier_->Copy(count);
  }

  std::string PartPath(int number) const { return names_.PartPath(number); }

  // Parts 1..n hold the source's bytes, the last one what is left.
  void ExpectParts(int n) {
    for (int i = 1; i <= n; ++i) {
      const auto offset = static_cast<std::size_t>(kPart * (i - 1));
      EXPECT_EQ(testing::ReadFile(PartPath(i)), bytes_.substr(offset, kPart)) << "part " << i;
    }
    EXPECT_FALSE(fs::exists(PartPath(n + 1)));
  }

  // The digests of a finished copy are those of its parts' files, wherever
  // they went.
  void ExpectDigestsOfTheParts(const CopyOutcome& copied) {
    std::vector<std::string> expected;
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(copied.partSizes.size()); ++i) {
      RunNames where = names_;
      for (const Placement& placement : copied.placements) {
        if (placement.firstPart <= i) where.folder = placement.folder;
      }
      platform::Sha256 sha;
      const std::string bytes = testing::ReadFile(where.PartPath(i));
      sha.Update(std::as_bytes(std::span(bytes.data(), bytes.size())));
      expected.push_back(sha.Finish());
    }
    EXPECT_EQ(copied.partDigests, expected);
  }

  testing::TempDir dir_;
  fs::path source_ = dir_ / "in" / "movie.avi";
  RunNames names_ = WindowedRunNames(source_.string(), (dir_ / "out" / "movie.bat").string(),
                                     false);
  Recorder recorder_;
  CopyOptions options_{.flushEachPartFrom = 0};  // the small parts here as large ones
  std::string bytes_;
  std::unique_ptr<InputFile> source_file_;
  std::unique_ptr<PartCopier> copier_;
};

TEST_F(Copier, CutsTheSourceIntoFullPartsAndARemainder) {
  MakeSource(3 * kPart + 5000);
  const CopyOutcome copied = Copy(4);
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(copied.partsWritten, 4);
  EXPECT_EQ(copied.partSizes, (std::vector<std::int64_t>{kPart, kPart, kPart, 5000}));
  ExpectParts(4);
  // A full part is four read units (3 x 32768 + 1696); the last one has its
  // 5000 bytes and then finds the end.
  EXPECT_EQ(recorder_.marks, (std::vector<int>{4, 4, 4, 2}));
  EXPECT_EQ(recorder_.progress.back(), 3 * kPart + 5000);
  ExpectDigestsOfTheParts(copied);
}

// Where the source cannot be read a second time, the parts are hashed.
TEST_F(Copier, DigestsComeFromThePartsWhenTheSourceCannotBeReadAgain) {
  MakeSource(2 * kPart + 5);
  const CopyOutcome copied = Copy(3, {{SystemCall::kOpen, "movie.avi", FailureCode::kIo, 1, -1}});
  ASSERT_EQ(copied.end, CopyEnd::kFinished);
  ExpectDigestsOfTheParts(copied);
}

TEST_F(Copier, AnExactMultipleMakesNoEmptyExtraPart) {
  MakeSource(2 * kPart);
  EXPECT_EQ(Copy(2).end, CopyEnd::kFinished);
  ExpectParts(2);
  EXPECT_EQ(recorder_.marks, (std::vector<int>{4, 4}));
}

TEST_F(Copier, ASourceThatShrankEndsInAnEmptyCountedPart) {
  MakeSource(2 * kPart);
  const CopyOutcome copied = Copy(3);  // planned for a longer source
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(copied.partsWritten, 3);
  EXPECT_EQ(testing::ReadFile(PartPath(3)), "");
  EXPECT_EQ(recorder_.marks.back(), 1);
}

// Grown after it was measured but before the copy began, it looks unchanged
// during the copy: only the bytes past the last planned part tell.
TEST_F(Copier, ASourceLongerThanPlannedIsReportedNotCopied) {
  MakeSource(2 * kPart + 1);
  EXPECT_EQ(Copy(2).end, CopyEnd::kSourceChanged);
}

// Written while part 2 is made, the source keeps its first `kept` bytes
// and gets `added` after them.
struct ChangeRow {
  const char* label;
  std::size_t kept;
  std::string added;
};

class SourceChanges : public Copier, public ::testing::WithParamInterface<ChangeRow> {};

TEST_P(SourceChanges, AreReportedNotCopied) {
  MakeSource(2 * kPart);
  // An hour back, so that the change below shows in the time of the last
  // change however coarse the file system's clock.
  fs::last_write_time(source_, fs::last_write_time(source_) - std::chrono::hours(1));
  bool changed = false;
  const std::string written = bytes_.substr(0, GetParam().kept) + GetParam().added;
  recorder_.on_part = [&](int n) { if (n == 2) changed = testing::TryWriteFile(source_, written); };
  const CopyOutcome copied = Copy(2);
  if (!changed) GTEST_SKIP() << "this system lets nobody write a file that is being read";
  EXPECT_EQ(copied.end, CopyEnd::kSourceChanged);
  EXPECT_EQ(copied.partsWritten, 2);
  EXPECT_EQ(testing::ReadFile(PartPath(1)), bytes_.substr(0, kPart));
}

INSTANTIATE_TEST_SUITE_P(
    GrownShrunkOrRewritten, SourceChanges,
    ::testing::Values(ChangeRow{"grown", 2 * kPart, "more"}, ChangeRow{"shrunk", kPart + 10, ""},
                      ChangeRow{"rewritten", 0, std::string(2 * kPart, 'x')}),
    [](const auto& info) { return std::string(info.param.label); });

// However the kernel copies (or refuses to), the parts, the marks and the
// progress are those of the plain copy.
struct PathRow {
  const char* label;
  std::vector<SystemFault> faults;
};

void PrintTo(const PathRow& row, std::ostream* out) { *out << row.label; }

class CopyPaths : public Copier, public ::testing::WithParamInterface<PathRow> {};

TEST_P(CopyPaths, GiveThePartsMarksAndProgressOfThePlainCopy) {
  MakeSource(3 * kPart + 5000);
  ASSERT_EQ(Copy(4, GetParam().faults).end, CopyEnd::kFinished);
  ExpectParts(4);
  EXPECT_EQ(recorder_.marks, (std::vector<int>{4, 4, 4, 2}));
  EXPECT_TRUE(std::is_sorted(recorder_.progress.begin(), recorder_.progress.end()));
  for (std::int64_t boundary : {kPart, 2 * kPart, 3 * kPart, 3 * kPart + 5000}) {
    EXPECT_NE(std::find(recorder_.progress.begin(), recorder_.progress.end(), boundary),
              recorder_.progress.end());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CopyPaths,
    ::testing::Values(
        PathRow{"plain", {}},
        PathRow{"refused_at_the_first_call", {{SystemCall::kCopy, "", FailureCode::kRefused, 1, -1}}},
        PathRow{"refused_once", {{SystemCall::kCopy, "", FailureCode::kRefused, 1, 1}}},
        PathRow{"refused_midway", {{SystemCall::kCopy, "", FailureCode::kRefused, 3, -1}}},
        PathRow{"refused_as_invalid_then_unsupported",
                {{SystemCall::kCopy, "", FailureCode::kRefusedAsInvalid, 1, 1},
                 {SystemCall::kCopy, "", FailureCode::kRefusedAsUnsupported, 1, 1}}},
        PathRow{"short_copies", {{SystemCall::kCopy, "", FailureCode::kIo, 1, -1, -1, 7000}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct FailureRow {
  const char* label;
  SystemFault fault;
  CopyEnd end;
  int parts_written;
  std::vector<std::string> left;  // the files left in the parts' folder
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.label; }

class CopyFailures : public Copier, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CopyFailures, EndTheCopyWithTheOutcomeAndLeaveWhatTheRowSays) {
  const FailureRow& row = GetParam();
  MakeSource(3 * kPart);
  const CopyOutcome copied = Copy(3, {row.fault});
  EXPECT_EQ(copied.end, row.end);
  EXPECT_EQ(copied.partsWritten, row.parts_written);
  EXPECT_EQ(copied.partPath, PartPath(row.parts_written));
  EXPECT_EQ(testing::SortedNames(dir_ / "out"), row.left);
  EXPECT_EQ(testing::ReadFile(PartPath(1)), bytes_.substr(0, kPart));
  EXPECT_EQ(testing::ReadFile(source_), bytes_);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CopyFailures,
    ::testing::Values(
        FailureRow{"create", {SystemCall::kCreate, "movie.002"}, CopyEnd::kCreateFailed, 2,
                   {"movie.001"}},
        FailureRow{"read", {SystemCall::kRead, "movie.avi", FailureCode::kIo, 1, -1, kPart + 40000},
                   CopyEnd::kReadFailed, 2, {"movie.001", "movie.002"}},
        FailureRow{"full_medium",
                   {SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, -1, 5000},
                   CopyEnd::kWriteFailed, 2, {"movie.001"}},
        FailureRow{"copy_failed", {SystemCall::kCopy, "movie.002", FailureCode::kIo},
                   CopyEnd::kWriteFailed, 2, {"movie.001"}},
        FailureRow{"flush_failed", {SystemCall::kFlush, "movie.002"}, CopyEnd::kWriteFailed, 2,
                   {"movie.001"}},
        FailureRow{"too_large", {SystemCall::kWrite, "movie.002", FailureCode::kTooLarge, 1, 1, 5000},
                   CopyEnd::kTooLarge, 2, {"movie.001"}},
        FailureRow{"folder_gone", {SystemCall::kVolume, "", FailureCode::kIo, 3},
                   CopyEnd::kFolderGone, 2, {"movie.001"}},
        FailureRow{"close_of_the_last", {SystemCall::kClose, "movie.003"}, CopyEnd::kWriteFailed,
                   3, {"movie.001", "movie.002"}}),
    [](const auto& info) { return std::string(info.param.label); });

// A full medium on the first, a middle and the last part, answered with
// Retry after room was made, gives the set of an undisturbed run.
class RetryAfterDiskFull : public Copier, public ::testing::WithParamInterface<SystemFault> {};

TEST_P(RetryAfterDiskFull, MakesThePartAgainFromItsFirstByte) {
  MakeSource(3 * kPart + 5000);
  recorder_.retry = true;
  const CopyOutcome copied = Copy(4, {GetParam()});
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(copied.partsWritten, 4);
  ExpectParts(4);
  ASSERT_EQ(recorder_.failed.size(), 1u);
  const int failed = recorder_.failed[0];
  EXPECT_EQ(std::count(recorder_.started.begin(), recorder_.started.end(), failed), 2);
  // The progress steps back to the failed part's first byte.
  EXPECT_NE(std::find(recorder_.progress.begin(), recorder_.progress.end(), kPart * (failed - 1)),
            recorder_.progress.end());
  ExpectDigestsOfTheParts(copied);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, RetryAfterDiskFull,
    ::testing::Values(SystemFault{SystemCall::kWrite, "movie.001", FailureCode::kNoSpace, 1, 1, 1000},
                      SystemFault{SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 70000},
                      SystemFault{SystemCall::kWrite, "movie.004", FailureCode::kNoSpace, 1, 1, 10},
                      SystemFault{SystemCall::kClose, "movie.004"}));

// Small parts are not flushed one by one; the medium is, before the
// question, and a failure there ends the run unasked.
TEST_F(Copier, SmallPartsReachTheMediumWithItsFlushBeforeAQuestion) {
  if (!platform::FolderFlushHoldsFiles()) GTEST_SKIP() << "every part is flushed here";
  MakeSource(3 * kPart);
  options_ = {};
  recorder_.retry = true;
  const CopyOutcome copied =
      Copy(3, {{SystemCall::kFlush, "movie.001"},
               {SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 10},
               {SystemCall::kFlush, names_.folder}});
  EXPECT_EQ(copied.end, CopyEnd::kWriteFailed);
  EXPECT_EQ(copied.partsWritten, 2);
  EXPECT_TRUE(recorder_.failed.empty());
}

TEST_F(Copier, ARetryThatCannotGoBackOnTheSourceEnds) {
  MakeSource(3 * kPart);
  recorder_.retry = true;
  const CopyOutcome copied =
      Copy(3, {{SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 10},
               {SystemCall::kSeek, "movie.avi"}});
  EXPECT_EQ(copied.end, CopyEnd::kSeekFailed);
  EXPECT_EQ(copied.partsWritten, 2);
  EXPECT_FALSE(fs::exists(PartPath(2)));
}

TEST_F(Copier, ACancelRemovesThisRunsPartsOnly) {
  MakeSource(5 * kPart);
  testing::WriteFile(dir_ / "out" / "movie.099", "not of this run");
  recorder_.stop_at = 2 * kPart + 1;
  const CopyOutcome copied = Copy(5);
  EXPECT_EQ(copied.end, CopyEnd::kCancelled);
  EXPECT_EQ(copied.partsWritten, 3);
  // A file that took a part's name meanwhile is someone else's.
  testing::WriteFile(dir_ / "other", "put here by another program");
  fs::rename(dir_ / "other", PartPath(2));
  copier_->RemoveCreatedParts();
  EXPECT_EQ(testing::SortedNames(dir_ / "out"), (std::vector<std::string>{"movie.002", "movie.099"}));
}

// Steps follow the medium's pace, at most four times larger at once, in
// whole units; a short step (a part's last) says nothing of the medium.
TEST(StepSizer, FollowsThePaceInBoundedSteps) {
  StepSizer steps(CopyPace::kResponsive);
  const std::int64_t first = steps.Next(INT64_MAX);
  steps.Took(first / 2, std::chrono::seconds(1));
  EXPECT_EQ(steps.Next(INT64_MAX), first);
  steps.Took(first, std::chrono::microseconds(1));  // a burst into the cache
  EXPECT_EQ(steps.Next(INT64_MAX), 4 * first);
  steps.Took(4 * first, std::chrono::seconds(1));  // a slow stick
  EXPECT_LT(steps.Next(INT64_MAX), first);
  EXPECT_EQ(steps.Next(INT64_MAX) % static_cast<std::int64_t>(kReadUnit), 0);
  EXPECT_EQ(steps.Next(1000), 1000);
}

// The medium taken out after part 1: the rest goes where the user says, and
// the outcome tells where each part went.
TEST_F(Copier, PartsGoOnInAnotherFolderWhenTheirsIsGone) {
  MakeSource(3 * kPart);
  fs::create_directories(dir_ / "other");
  const std::string other = (dir_ / "other").string() + platform::NativePathStyle().preferred;
  recorder_.folders = {other};
  const CopyOutcome copied = Copy(3, {{SystemCall::kVolume, "", FailureCode::kIo, 3}});
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(recorder_.lost, std::vector<FolderProblem>{FolderProblem::kGone});
  ASSERT_EQ(copied.placements.size(), 2u);
  EXPECT_EQ(copied.placements[1].folder, other);
  EXPECT_EQ(copied.placements[1].firstPart, 2);
  EXPECT_EQ(testing::SortedNames(dir_ / "other"), (std::vector<std::string>{"movie.002", "movie.003"}));
  EXPECT_EQ(NamesAtTheEnd(names_, copied).BatchPath(), other + "movie.bat");
  ExpectDigestsOfTheParts(copied);
}

TEST_F(Copier, EveryNameThatWouldBeTheSourceIsFoundBeforeTheRun) {
  MakeSource(10);
  const FileIdentity source = InputFile::Open(source_.string()).value().identity();
  EXPECT_EQ(OutputThatIsTheSource(names_, 3, source), "");
  fs::create_hard_link(source_, names_.ShellPath());
  EXPECT_EQ(OutputThatIsTheSource(names_, 3, source), names_.ShellPath());
  fs::create_hard_link(source_, PartPath(3));
  EXPECT_EQ(OutputThatIsTheSource(names_, 3, source), PartPath(3)) << "the parts first";
}

TEST_F(Copier, StaleScriptsGoBeforeTheFirstPartButNeverTheSource) {
  MakeSource(10);
  auto source = InputFile::Open(source_.string());
  const FileIdentity identity = source.value().identity();
  testing::WriteFile(names_.BatchPath(), "an old batch");
  fs::create_directory(names_.ShellPath());
  EXPECT_TRUE(RemoveStaleScripts(names_, identity).ok());
  EXPECT_FALSE(fs::exists(names_.BatchPath()));
  EXPECT_TRUE(fs::is_directory(names_.ShellPath())) << "only files and links go";
  // One that cannot be removed stops the run.
  testing::WriteFile(names_.BatchPath(), "an old batch");
  ScopedFaults locked({{SystemCall::kUnlink, "movie.bat", FailureCode::kAccess}});
  EXPECT_EQ(RemoveStaleScripts(names_, identity).error().path, names_.BatchPath());
  fs::remove(names_.BatchPath());
  fs::create_hard_link(source_, names_.BatchPath());
  EXPECT_TRUE(RemoveStaleScripts(names_, identity).ok());
  EXPECT_TRUE(fs::exists(names_.BatchPath())) << "the source, under the script's name, stays";
}

TEST_F(Copier, ScriptsAreWrittenWholeOrNotAtAll) {
  const SourceFacts facts{{9, 9}, 0640};
  CopyOutcome copied;
  copied.partSizes = {kPart, kPart, 5};
  const ScriptInput input = ScriptInputFor(names_, ScriptVariant::kWindowed, copied);
  ASSERT_TRUE(WriteDosBatch(names_, input, facts, true).ok());
  ASSERT_TRUE(WriteShellScript(names_, input, facts, true).ok());
  EXPECT_TRUE(testing::ReadFile(names_.ShellPath()).starts_with("#!/bin/sh\n"));
  struct Row {
    SystemFault fault;
    ErrorKind kind;
  };
  for (const Row& row : {Row{{SystemCall::kWrite, "movie.sh", FailureCode::kNoSpace, 1, 1, 100},
                             ErrorKind::kWrite},
                         Row{{SystemCall::kFlush, "movie.sh"}, ErrorKind::kWrite},
                         Row{{SystemCall::kClose, "movie.sh"}, ErrorKind::kClose},
                         Row{{SystemCall::kCreate, "movie.sh"}, ErrorKind::kCreate}}) {
    ScopedFaults fault({row.fault});
    EXPECT_EQ(WriteShellScript(names_, input, facts, true).error().kind, row.kind);
    EXPECT_FALSE(fs::exists(names_.ShellPath())) << "a script cut short is removed";
  }
}

TEST(RunNames, FollowEachProgramsRules) {
  const RunNames console = ConsoleRunNames("C:\\data\\Big File.iso", platform::kWindowsPaths);
  EXPECT_EQ(console.PartPath(1), "C:\\data\\part.001");
  EXPECT_EQ(console.sourceFileName, "Big File.iso");
  EXPECT_EQ(console.BatchPath(), "C:\\data\\unsplit.bat");
  EXPECT_EQ(ConsoleRunNames("C:\\big.iso", platform::kWindowsPaths).PartPath(2), "C:\\big.002");
  EXPECT_EQ(ConsoleRunNames("my.file.txt", platform::kPosixPaths).PartPath(1), "my.file.001");

  const RunNames longer = WindowedRunNames("/v/clip.avi", "/m/holidays9.BAT", true,
                                           platform::kPosixPaths);
  EXPECT_EQ(longer.PartPath(1), "/m/part.001");
  EXPECT_EQ(longer.ShellPath(), "/m/holidays9.sh");
  EXPECT_TRUE(longer.shortNames);
  EXPECT_EQ(WindowedRunNames("/v/clip.avi", "/m/holidays9.BAT", false, platform::kPosixPaths)
                .PartPath(1000),
            "/m/holidays9.1000");
}

}  // namespace
}  // namespace zelbo
