// The console run's outcomes in its own words: printed lines and exit
// codes, on a file system in memory that fails where each row says.
#include <gtest/gtest.h>

#include "console/split_run.h"
#include "platform/system.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/files.h"

namespace zelbo::console {
namespace {

using testing::Fault;
using testing::FaultKind;
using testing::FakeFileSystem;

const std::string kSource = "/in/big.iso";

// Everything printed, marks included, in order.
class CapturedOutput final : public ConsoleOutput {
 public:
  void Print(std::string_view text) override { text_.append(text); }
  void Mark(std::string_view mark) override { text_.append(mark); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

struct Outcome {
  ExitStatus status;
  std::string output;
};

Outcome Split(FakeFileSystem& files, std::string source = kSource, std::int64_t part = 40000) {
  CapturedOutput out;
  const ExitStatus status = RunConsoleSplit({std::move(source), part, 0}, files, out);
  return {status, out.text()};
}

struct Row {
  const char* label;
  Fault fault;
  ExitStatus status;
  std::string tail;  // how the output ends
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class ConsoleOutcomes : public ::testing::TestWithParam<Row> {};

TEST_P(ConsoleOutcomes, EndWithTheirLineAndExitCode) {
  const Row& row = GetParam();
  FakeFileSystem files;
  files.Add(kSource, testing::PatternBytes(100000));
  files.Inject(row.fault);
  const Outcome run = Split(files);
  EXPECT_EQ(run.status, row.status);
  EXPECT_TRUE(run.output.ends_with(row.tail)) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleOutcomes,
    ::testing::Values(
        Row{"finished", {FaultKind::kSize, "/nothing"}, ExitStatus::kSuccess,
            "\nFinished splitting, 3 parts written.\n"
            "Writing the DOS batch to put the stuff back together...\n"
            "DOS batch file \"unsplit.bat\" created.\n"
            "Linux/Unix shell script file \"unsplit.sh\" created.\nEnd Zelbo!\n"},
        Row{"size_unknown", {FaultKind::kSize, kSource}, ExitStatus::kFileError,
            "ERROR: File access error on the file to split!\n"},
        Row{"source_open", {FaultKind::kOpenSource, kSource, 0, 1, 1}, ExitStatus::kOpenFileError,
            " and a remainder of 20000\nUnable to open the file \"/in/big.iso\" for reading!\n"},
        Row{"part_create", {FaultKind::kCreate, "/in/big.002"}, ExitStatus::kOpenFileError,
            "/in/big.002\nERROR: Unable to open output file \"/in/big.002\"\n"},
        Row{"read", {FaultKind::kRead, kSource, 50000}, ExitStatus::kFileError,
            "File reading error!\n"},
        Row{"part_write", {FaultKind::kWrite, "/in/big.002", 100}, ExitStatus::kFileError,
            "ERROR: Unable to write output file \"/in/big.002\": No space left on device\n"},
        Row{"close_of_the_last_part", {FaultKind::kClose, "/in/big.003"}, ExitStatus::kFileError,
            "ERROR: Unable to write output file \"/in/big.003\": No space left on device\n"},
        Row{"batch_create", {FaultKind::kCreate, "/in/unsplit.bat"}, ExitStatus::kBatchFileError,
            "together...\nERROR: Could not create DOS batch file\n"},
        Row{"batch_write", {FaultKind::kWrite, "/in/unsplit.bat", 10}, ExitStatus::kBatchFileError,
            "ERROR: Could not write DOS batch file \"/in/unsplit.bat\": No space left on device\n"},
        Row{"shell_create", {FaultKind::kCreate, "/in/unsplit.sh"}, ExitStatus::kBatchFileError,
            "created.\nERROR: Could not create Linux batch file\n"},
        Row{"shell_close", {FaultKind::kClose, "/in/unsplit.sh"}, ExitStatus::kBatchFileError,
            "ERROR: Could not write Linux batch file \"/in/unsplit.sh\": No space left on device\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ConsoleRun, AScriptNamedLikeTheSourceIsAnOutputOpenError) {
  FakeFileSystem files;
  files.Add("/in/unsplit.sh", testing::PatternBytes(100000));
  const Outcome run = Split(files, "/in/unsplit.sh");
  EXPECT_EQ(run.status, ExitStatus::kOpenFileError);
  EXPECT_TRUE(run.output.ends_with("ERROR: Unable to open output file \"/in/unsplit.sh\"\n"));
  EXPECT_EQ(files.Contents("/in/unsplit.sh"), testing::PatternBytes(100000));
}

TEST(ConsoleRun, ASourceThatGrewIsAFileErrorNotASuccess) {
  FakeFileSystem files;
  files.Add(kSource, testing::PatternBytes(80000));
  files.on_create = [&](const std::string& path) {
    if (path == "/in/big.002") files.Append(kSource, "late bytes");
  };
  const Outcome run = Split(files);
  EXPECT_EQ(run.status, ExitStatus::kFileError);
  EXPECT_TRUE(run.output.ends_with(
      "ERROR: The file \"/in/big.iso\" grew while it was split: the parts do not hold all of it!\n"));
  EXPECT_FALSE(files.Exists("/in/unsplit.sh"));
}

// Shared ranges are told as one burst of reads; the printed marks must be
// the very bytes that copying the same parts prints.
TEST(ConsoleRun, SharedPartsPrintTheSameMarksAsCopiedOnes) {
  const auto printed = [](bool clones) {
    FakeFileSystem files;
    files.Add(kSource, testing::PatternBytes(11 * 32768 + 77));
    files.AllowClones(clones);
    const Outcome run = Split(files, kSource, 5 * 32768);
    EXPECT_EQ(files.clones() > 0, clones);
    return run.output;
  };
  EXPECT_EQ(printed(true), printed(false));
}

TEST(ConsoleRun, OldScriptsGoBeforeTheFirstPartSoAFailedRunLeavesNone) {
  FakeFileSystem files;
  files.Add(kSource, testing::PatternBytes(100000));
  files.Add("/in/unsplit.bat", "an old batch");
  files.Add("/in/unsplit.sh", "an old script");
  files.Inject({FaultKind::kWrite, "/in/big.002", 10});
  EXPECT_EQ(Split(files).status, ExitStatus::kFileError);
  EXPECT_FALSE(files.Exists("/in/unsplit.bat"));
  EXPECT_FALSE(files.Exists("/in/unsplit.sh"));
}

TEST(ConsoleRun, ControlCharactersInNamesAreShownEscaped) {
  FakeFileSystem files;
  const std::string name = "/in/x\x1b[2Jy.bin";
  files.Add(name, "0123456789");
  CapturedOutput out;
  EXPECT_EQ(RunConsoleSplit({name, 5, 0}, files, out), ExitStatus::kSuccess);
  EXPECT_TRUE(out.text().starts_with("We will split the file \"/in/x\\x1b[2Jy.bin\" into"));
  EXPECT_EQ(out.text().find('\x1b'), std::string::npos);
  EXPECT_TRUE(files.Exists("/in/x\x1b[2Jy.001")) << "the file itself keeps its name";
}

TEST(ConsoleRun, ADeviceNameIsRefusedWhereNoFileCanHaveIt) {
  FakeFileSystem files;
  files.Add("/in/CON.txt", "0123456789");
  CapturedOutput out;
  const ExitStatus status = RunConsoleSplit({"/in/CON.txt", 5, 0}, files, out);
  if (platform::ReservesDeviceNames()) {
    EXPECT_EQ(status, ExitStatus::kParameterError);
    EXPECT_EQ(out.text(),
              "ERROR: \"CON.txt\" is the name of a device: no file of that name can be restored!\n");
    EXPECT_FALSE(files.Exists("/in/CON.001"));
  } else {
    EXPECT_EQ(status, ExitStatus::kSuccess);
  }
}

}  // namespace
}  // namespace zelbo::console
