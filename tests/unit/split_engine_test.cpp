// The copier and the script writing of the engine, on a file system in
// memory that fails where each case says.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/split_engine.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/files.h"

namespace zelbo {
namespace {

using testing::Fault;
using testing::FaultKind;
using testing::FakeFileSystem;

constexpr std::int64_t kPart = 100000;  // not a multiple of the read unit
const std::string kSource = "/in/movie.avi";

RunNames Names() { return WindowedRunNames(kSource, "/out/movie.bat", false, platform::kPosixPaths); }

std::string PartPath(int number) { return Names().PartPath(number); }

// Records what the copier tells and answers as the case says.
class Recorder final : public CopyObserver {
 public:
  void PartStarting(std::int32_t number, const std::string&) override {
    started.push_back(number);
    marks.push_back(0);
    if (on_part) on_part(number);
  }
  void BeforeReads(std::int64_t count) override { marks.back() += static_cast<int>(count); }
  Proceed BytesCopied(std::int64_t done) override {
    progress.push_back(done);
    return done >= stop_at ? Proceed::kStop : Proceed::kGo;
  }
  WriteFailureAnswer PartWriteFailed(const PartWriteFailure& failure) override {
    failed.push_back(failure.number);
    if (on_failure) on_failure();
    return retry ? WriteFailureAnswer::kRetry : WriteFailureAnswer::kStop;
  }

  std::vector<int> started, marks, failed;
  std::vector<std::int64_t> progress;
  std::int64_t stop_at = INT64_MAX;
  bool retry = false;
  std::function<void(int)> on_part;
  std::function<void()> on_failure;
};

class Copier : public ::testing::Test {
 protected:
  void MakeSource(std::int64_t size) {
    bytes_ = testing::PatternBytes(static_cast<std::size_t>(size));
    files_.Add(kSource, bytes_);
  }

  CopyOutcome Copy(std::int32_t count) {
    auto source = files_.OpenSource(kSource);
    EXPECT_TRUE(source.ok());
    copier_ = std::make_unique<PartCopier>(files_, *source.value(), names_, kPart, recorder_);
    return copier_->Copy(count);
  }

  // Parts 1..n hold the source's bytes, the last one what is left.
  void ExpectParts(int n) {
    for (int i = 1; i <= n; ++i) {
      const auto offset = static_cast<std::size_t>(kPart * (i - 1));
      EXPECT_EQ(files_.Contents(PartPath(i)), bytes_.substr(offset, kPart)) << "part " << i;
    }
    EXPECT_FALSE(files_.Exists(PartPath(n + 1)));
  }

  FakeFileSystem files_;
  RunNames names_ = Names();
  Recorder recorder_;
  std::string bytes_;
  std::unique_ptr<PartCopier> copier_;
};

TEST_F(Copier, CutsTheSourceIntoFullPartsAndARemainder) {
  MakeSource(3 * kPart + 5000);
  const CopyOutcome copied = Copy(4);
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(copied.partsWritten, 4);
  ExpectParts(4);
  // A full part is four reads (3 x 32768 + 1696); the last one reads its
  // 5000 bytes and then finds the end.
  EXPECT_EQ(recorder_.marks, (std::vector<int>{4, 4, 4, 2}));
  EXPECT_EQ(recorder_.progress.back(), 3 * kPart + 5000);
  EXPECT_EQ(files_.Permissions(PartPath(1)), 0644u) << "the source's permission bits";
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
  EXPECT_EQ(files_.Contents(PartPath(3)), "");
}

TEST_F(Copier, ASourceThatGrewIsNotReportedAsCopied) {
  MakeSource(2 * kPart);
  recorder_.on_part = [&](int number) {
    if (number == 2) files_.Append(kSource, "more");
  };
  const CopyOutcome copied = Copy(2);
  EXPECT_EQ(copied.end, CopyEnd::kSourceGrew);
  EXPECT_EQ(copied.partsWritten, 2);
  ExpectParts(2);
}

struct FailureRow {
  const char* label;
  Fault fault;
  CopyEnd end;
  int parts_written;
  std::vector<std::string> left;  // part numbers left, as file names
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.label; }

class CopyFailures : public Copier, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CopyFailures, EndTheCopyWithTheOutcomeAndLeaveWhatTheRowSays) {
  const FailureRow& row = GetParam();
  MakeSource(3 * kPart);
  files_.Inject(row.fault);
  const CopyOutcome copied = Copy(3);
  EXPECT_EQ(copied.end, row.end);
  EXPECT_EQ(copied.partsWritten, row.parts_written);
  EXPECT_EQ(copied.partPath, PartPath(row.parts_written));
  std::vector<std::string> left;
  for (const std::string& name : files_.Names()) {
    if (name != kSource) left.push_back(name.substr(name.rfind('/') + 1));
  }
  EXPECT_EQ(left, row.left);
  EXPECT_EQ(files_.Contents(PartPath(1)), bytes_.substr(0, kPart));
  EXPECT_EQ(files_.Contents(kSource), bytes_);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CopyFailures,
    ::testing::Values(
        FailureRow{"create", {FaultKind::kCreate, PartPath(2)}, CopyEnd::kCreateFailed, 2,
                   {"movie.001"}},
        FailureRow{"read", {FaultKind::kRead, kSource, kPart + 40000}, CopyEnd::kReadFailed, 2,
                   {"movie.001", "movie.002"}},
        FailureRow{"short_write", {FaultKind::kWrite, PartPath(2), 5000}, CopyEnd::kWriteFailed,
                   2, {"movie.001"}},
        FailureRow{"close_of_the_last", {FaultKind::kClose, PartPath(3)}, CopyEnd::kWriteFailed,
                   3, {"movie.001", "movie.002"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Copier, APartNamedLikeTheSourceIsRefusedAndTheSourceStaysWhole) {
  MakeSource(3 * kPart);
  files_.Link(kSource, PartPath(2));
  const CopyOutcome copied = Copy(3);
  EXPECT_EQ(copied.end, CopyEnd::kCreateFailed);
  EXPECT_EQ(copied.error.kind, ErrorKind::kSameAsSource);
  EXPECT_EQ(files_.Contents(kSource), bytes_);
}

TEST_F(Copier, OldFilesAtPartNamesAreReplacedNotWrittenInto) {
  MakeSource(2 * kPart);
  files_.Add("/out/old", "an old part");
  files_.Link("/out/old", PartPath(1));
  files_.AddOther(PartPath(2), FakeFileSystem::Kind::kFifo);
  const CopyOutcome copied = Copy(2);
  EXPECT_EQ(copied.end, CopyEnd::kCreateFailed) << "a FIFO is no part";
  EXPECT_EQ(copied.partsWritten, 2);
  EXPECT_EQ(files_.Contents("/out/old"), "an old part");
  EXPECT_EQ(files_.Contents(PartPath(1)), bytes_.substr(0, kPart));
}

// A full medium on the first, a middle and the last part, answered with
// Retry after room was made, gives the set of an undisturbed run.
class RetryAfterDiskFull : public Copier, public ::testing::WithParamInterface<Fault> {};

TEST_P(RetryAfterDiskFull, MakesThePartAgainFromItsFirstByte) {
  MakeSource(3 * kPart + 5000);
  files_.Inject(GetParam());
  recorder_.retry = true;
  const CopyOutcome copied = Copy(4);
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(copied.partsWritten, 4);
  ExpectParts(4);
  ASSERT_EQ(recorder_.failed.size(), 1u);
  const int failed = recorder_.failed[0];
  EXPECT_EQ(std::count(recorder_.started.begin(), recorder_.started.end(), failed), 2);
  // The progress steps back to the failed part's first byte.
  EXPECT_NE(std::find(recorder_.progress.begin(), recorder_.progress.end(), kPart * (failed - 1)),
            recorder_.progress.end());
}

INSTANTIATE_TEST_SUITE_P(Parts, RetryAfterDiskFull,
                         ::testing::Values(Fault{FaultKind::kWrite, PartPath(1), 1000},
                                           Fault{FaultKind::kWrite, PartPath(2), 70000},
                                           Fault{FaultKind::kWrite, PartPath(4), 10},
                                           Fault{FaultKind::kClose, PartPath(4)}));

TEST_F(Copier, ARetryThatCannotGoBackOnTheSourceEnds) {
  MakeSource(3 * kPart);
  files_.Inject({FaultKind::kWrite, PartPath(2), 10});
  files_.Inject({FaultKind::kSeek, kSource});
  recorder_.retry = true;
  const CopyOutcome copied = Copy(3);
  EXPECT_EQ(copied.end, CopyEnd::kSeekFailed);
  EXPECT_EQ(copied.partsWritten, 2);
  EXPECT_FALSE(files_.Exists(PartPath(2)));
}

TEST_F(Copier, ACancelRemovesThisRunsPartsOnly) {
  MakeSource(5 * kPart);
  files_.Add("/out/movie.099", "not of this run");
  recorder_.stop_at = 2 * kPart + 1;
  const CopyOutcome copied = Copy(5);
  EXPECT_EQ(copied.end, CopyEnd::kCancelled);
  EXPECT_EQ(copied.partsWritten, 3);
  copier_->RemoveCreatedParts();
  EXPECT_EQ(files_.Names(), (std::vector<std::string>{kSource, "/out/movie.099"}));
}

struct CloneRow {
  const char* label;
  std::int64_t part_size;
  std::int64_t source_size;
  bool allowed;
  int responsive_clones;  // shared ranges in steps
  int whole_part_clones;  // shared ranges a part at a time
};

void PrintTo(const CloneRow& row, std::ostream* out) { *out << row.label; }

class Clones : public ::testing::TestWithParam<CloneRow> {};

// Sharing blocks changes neither the bytes nor the progress marks.
TEST_P(Clones, GiveTheSamePartsAndMarksAsACopy) {
  const CloneRow& row = GetParam();
  const std::string bytes = testing::PatternBytes(static_cast<std::size_t>(row.source_size));
  const auto run = [&](bool allowed, ShareSteps steps, std::vector<int>& marks) {
    FakeFileSystem files;
    files.Add(kSource, bytes);
    files.AllowClones(allowed);
    Recorder recorder;
    const RunNames names = Names();
    auto source = files.OpenSource(kSource);
    PartCopier copier(files, *source.value(), names, row.part_size, recorder, steps);
    const auto count = static_cast<std::int32_t>((row.source_size + row.part_size - 1) / row.part_size);
    EXPECT_EQ(copier.Copy(count).end, CopyEnd::kFinished);
    for (int i = 1; i <= count; ++i) {
      EXPECT_EQ(files.Contents(names.PartPath(i)),
                bytes.substr(static_cast<std::size_t>(row.part_size * (i - 1)), row.part_size));
    }
    marks = recorder.marks;
    return files.clones();
  };
  std::vector<int> copied_marks, stepped_marks, whole_marks;
  run(false, ShareSteps::kResponsive, copied_marks);
  EXPECT_EQ(run(row.allowed, ShareSteps::kResponsive, stepped_marks), row.responsive_clones);
  EXPECT_EQ(run(row.allowed, ShareSteps::kWholeParts, whole_marks), row.whole_part_clones);
  EXPECT_EQ(stepped_marks, copied_marks);
  EXPECT_EQ(whole_marks, copied_marks);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Clones,
    ::testing::Values(CloneRow{"aligned", 4 * 32768, 10 * 32768 + 77, true, 3, 3},
                      CloneRow{"unaligned_part_size", 3 * 32768 + 5, 10 * 32768, true, 1, 1},
                      CloneRow{"steps_of_a_large_part", 70 << 20, (70 << 20) + 4096, true, 3, 2},
                      CloneRow{"refused", 4 * 32768, 10 * 32768, false, 0, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Scripts, StaleOnesGoBeforeTheFirstPartButNeverTheSource) {
  FakeFileSystem files;
  files.Add(kSource, "x");
  files.Add("/out/movie.bat", "an old batch");
  files.AddOther("/out/movie.sh", FakeFileSystem::Kind::kDirectory);
  auto source = files.OpenSource(kSource);
  RemoveStaleScripts(files, Names(), source.value()->identity());
  EXPECT_FALSE(files.Exists("/out/movie.bat"));
  EXPECT_TRUE(files.Exists("/out/movie.sh"));

  const RunNames self = WindowedRunNames("/out/movie.bat", "/out/movie.bat", false,
                                         platform::kPosixPaths);
  files.Add("/out/movie.bat", "the source itself");
  auto itself = files.OpenSource("/out/movie.bat");
  RemoveStaleScripts(files, self, itself.value()->identity());
  EXPECT_TRUE(files.Exists("/out/movie.bat"));
}

TEST(Scripts, AreWrittenWholeWithTheSourcesPermissions) {
  FakeFileSystem files;
  const SourceFacts facts{{9, 9}, 0640};
  const std::vector<std::int64_t> kSizes = {kPart, kPart, 5};
  ASSERT_TRUE(WriteDosBatch(files, Names(), ScriptVariant::kWindowed, kSizes, facts).ok());
  ASSERT_TRUE(WriteShellScript(files, Names(), ScriptVariant::kWindowed, kSizes, facts).ok());
  EXPECT_EQ(files.Permissions("/out/movie.bat"), 0640u);
  EXPECT_EQ(files.Permissions("/out/movie.sh"), 0750u) << "executable where readable";
  EXPECT_TRUE(files.Contents("/out/movie.sh").starts_with("#!/bin/sh\n"));

  files.Inject({FaultKind::kWrite, "/out/movie.sh", 100});
  const Status short_write = WriteShellScript(files, Names(), ScriptVariant::kWindowed, kSizes, facts);
  ASSERT_FALSE(short_write.ok());
  EXPECT_EQ(short_write.error().kind, ErrorKind::kWrite);
  files.Inject({FaultKind::kClose, "/out/movie.bat"});
  EXPECT_EQ(WriteDosBatch(files, Names(), ScriptVariant::kWindowed, kSizes, facts).error().kind,
            ErrorKind::kClose);
  files.Inject({FaultKind::kCreate, "/out/movie.bat"});
  EXPECT_EQ(WriteDosBatch(files, Names(), ScriptVariant::kWindowed, kSizes, facts).error().kind,
            ErrorKind::kCreate);
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
