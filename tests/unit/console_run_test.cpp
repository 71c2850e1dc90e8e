// The console run's outcomes in its own words: printed lines and exit
// codes, on the real file layer in a temporary folder, with system calls
// failing where each row says.
#include <gtest/gtest.h>

#include "console/split_run.h"
#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/files.h"

namespace zelbo::console {
namespace {

namespace fs = std::filesystem;
using platform::FailureCode;
using platform::ScopedFaults;
using platform::SystemCall;
using platform::SystemFault;

// Everything printed, marks included, in order.
class CapturedOutput final : public ConsoleOutput {
 public:
  void Print(std::string_view text) override {
    text_.append(text);
    if (on_print) on_print(text);
  }
  void Mark(std::string_view mark) override { text_.append(mark); }
  const std::string& text() const { return text_; }
  std::function<void(std::string_view)> on_print;

 private:
  std::string text_;
};

class ConsoleRun : public ::testing::Test {
 protected:
  struct Outcome {
    ExitStatus status;
    std::string output;
  };

  Outcome Split(const fs::path& source, std::int64_t part = 40000,
                std::vector<SystemFault> faults = {}) {
    ScopedFaults injected(std::move(faults));
    const ExitStatus status = RunConsoleSplit({source.string(), part, 0}, out_);
    return {status, out_.text()};
  }
  // `text` with every "{}" replaced by the folder's path and separator, and
  // {full} and {denied} by the system's words for those failures.
  std::string InFolder(std::string text) const {
    const std::string folder = dir_.path().string() + platform::NativePathStyle().preferred;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{}", folder},
          {"{full}", platform::FailureText(FailureCode::kNoSpace)},
          {"{denied}", platform::FailureText(FailureCode::kAccess)}}) {
      for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
        text.replace(at, key.size(), value);
      }
    }
    return text;
  }

  testing::TempDir dir_;
  fs::path source_ = dir_ / "big.iso";
  CapturedOutput out_;
};

struct Row {
  const char* label;
  SystemFault fault;
  ExitStatus status;
  std::string tail;  // how the output ends; {} stands for the folder
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class ConsoleOutcomes : public ConsoleRun, public ::testing::WithParamInterface<Row> {};

TEST_P(ConsoleOutcomes, EndWithTheirLineAndExitCode) {
  const Row& row = GetParam();
  testing::WriteFile(source_, testing::PatternBytes(100000));
  testing::WriteFile(dir_ / "unsplit.sh", "from an earlier run");
  const Outcome run = Split(source_, 40000, {row.fault});
  EXPECT_EQ(run.status, row.status);
  EXPECT_TRUE(run.output.ends_with(InFolder(row.tail))) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConsoleOutcomes,
    ::testing::Values(
        Row{"finished", {SystemCall::kOpen, "nothing"}, ExitStatus::kSuccess,
            "\nFinished splitting, 3 parts written.\n"
            "Writing the DOS batch to put the stuff back together...\n"
            "DOS batch file \"unsplit.bat\" created.\n"
            "Linux/Unix shell script file \"unsplit.sh\" created.\nEnd Zelbo!\n"},
        Row{"source_unreadable", {SystemCall::kOpen, "big.iso"}, ExitStatus::kFileError,
            "ERROR: File access error on the file to split!\n"},
        Row{"source_open", {SystemCall::kOpen, "big.iso", FailureCode::kIo, 2},
            ExitStatus::kOpenFileError,
            " and a remainder of 20000\nUnable to open the file \"{}big.iso\" for reading!\n"},
        Row{"fat_medium", {SystemCall::kVolume, "", FailureCode::kIo, 1, 1, -1, -1, 30000},
            ExitStatus::kImpossiblePartSize,
            " and a remainder of 20000\nERROR: Parts of 40000 bytes are larger than the FAT file "
            "system allows: at most 30000 bytes!\n"},
        Row{"medium_gone", {SystemCall::kVolume, "", FailureCode::kIo, 4}, ExitStatus::kFileError,
            "ERROR: The folder of the parts is gone, or its medium was taken out!\n"},
        Row{"part_create", {SystemCall::kCreate, "big.002"}, ExitStatus::kOpenFileError,
            "{}big.002\nERROR: Unable to open output file \"{}big.002\"\n"},
        Row{"read", {SystemCall::kRead, "big.iso", FailureCode::kIo, 1, -1, 50000},
            ExitStatus::kFileError, "File reading error!\n"},
        Row{"part_write", {SystemCall::kWrite, "big.002", FailureCode::kNoSpace, 1, 1, 100},
            ExitStatus::kFileError,
            "ERROR: Unable to write output file \"{}big.002\": {full}\n"},
        Row{"close_of_the_last_part", {SystemCall::kClose, "big.003", FailureCode::kNoSpace},
            ExitStatus::kFileError,
            "ERROR: Unable to write output file \"{}big.003\": {full}\n"},
        Row{"old_script_stays", {SystemCall::kUnlink, "unsplit.sh", FailureCode::kAccess},
            ExitStatus::kBatchFileError,
            "ERROR: Could not remove the old script \"{}unsplit.sh\": {denied}\n"},
        Row{"batch_create", {SystemCall::kCreate, "unsplit.bat"}, ExitStatus::kBatchFileError,
            "together...\nERROR: Could not create DOS batch file\n"},
        Row{"batch_write", {SystemCall::kWrite, "unsplit.bat", FailureCode::kNoSpace, 1, 1, 10},
            ExitStatus::kBatchFileError,
            "ERROR: Could not write DOS batch file \"{}unsplit.bat\": {full}\n"},
        Row{"shell_create", {SystemCall::kCreate, "unsplit.sh"}, ExitStatus::kBatchFileError,
            "created.\nERROR: Could not create Linux batch file\n"},
        Row{"shell_close", {SystemCall::kClose, "unsplit.sh", FailureCode::kNoSpace},
            ExitStatus::kBatchFileError,
            "ERROR: Could not write Linux batch file \"{}unsplit.sh\": {full}\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ConsoleRun, ASourceThatGrewIsAFileErrorNotASuccess) {
  testing::WriteFile(source_, testing::PatternBytes(80000));
  bool grew = false;
  out_.on_print = [&](std::string_view text) {
    if (text.ends_with("big.002\n")) grew = testing::TryWriteFile(source_, testing::PatternBytes(80010));
  };
  const Outcome run = Split(source_);
  if (!grew) GTEST_SKIP() << "this system lets nobody write a file that is being read";
  EXPECT_EQ(run.status, ExitStatus::kFileError);
  EXPECT_TRUE(run.output.ends_with(InFolder(
      "ERROR: The file \"{}big.iso\" changed while it was split: the parts do not hold it as it "
      "is now!\n")));
  EXPECT_FALSE(fs::exists(dir_ / "unsplit.sh"));
}

TEST_F(ConsoleRun, OldScriptsGoBeforeTheFirstPartSoAFailedRunLeavesNone) {
  testing::WriteFile(source_, testing::PatternBytes(100000));
  testing::WriteFile(dir_ / "unsplit.bat", "an old batch");
  testing::WriteFile(dir_ / "unsplit.sh", "an old script");
  EXPECT_EQ(Split(source_, 40000, {{SystemCall::kWrite, "big.002", FailureCode::kNoSpace, 1, 1, 10}})
                .status,
            ExitStatus::kFileError);
  EXPECT_FALSE(fs::exists(dir_ / "unsplit.bat"));
  EXPECT_FALSE(fs::exists(dir_ / "unsplit.sh"));
}

TEST_F(ConsoleRun, ControlCharactersInNamesAreShownEscaped) {
  const fs::path source = dir_ / "x\x1b[2Jy.bin";
  if (!testing::TryWriteFile(source, "0123456789")) GTEST_SKIP() << "no such names here";
  const Outcome run = Split(source, 5);
  EXPECT_EQ(run.status, ExitStatus::kSuccess);
  EXPECT_TRUE(run.output.starts_with(InFolder("We will split the file \"{}x\\x1b[2Jy.bin\" into")));
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "x\x1b[2Jy.001")) << "the file itself keeps its name";
}

TEST_F(ConsoleRun, ADeviceNameIsRefusedWhereNoFileCanHaveIt) {
  const fs::path source = dir_ / "CON.txt";
  // Windows cannot make such a file either: the run is refused by name alone.
  if (!platform::ReservesDeviceNames()) testing::WriteFile(source, "0123456789");
  const Outcome run = Split(source, 5);
  if (platform::ReservesDeviceNames()) {
    EXPECT_EQ(run.status, ExitStatus::kParameterError);
    EXPECT_EQ(run.output,
              "ERROR: \"CON.txt\" is the name of a device: no file of that name can be restored!\n");
  } else {
    EXPECT_EQ(run.status, ExitStatus::kSuccess);
  }
}

}  // namespace
}  // namespace zelbo::console
