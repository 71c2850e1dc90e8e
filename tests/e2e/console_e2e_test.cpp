#include "tests/e2e/console_scenarios.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/ordinary_user.h"

namespace zelbo::e2e {
namespace {

using testing::PatternBytes;
using testing::ReadFile;

// The usage as this platform prints it: options with '-' only.
void ExpectUsage(const std::string& printed, const std::string& error_line = "") {
  ExpectUsageText(printed, error_line, false);
}

using Usage = ConsoleRun;

TEST_F(Usage, IncompleteCommandLinesPrintTheUsageAndExitOne) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"big.iso"}, {"-sc"}}) {
    const auto run = Split(arguments);
    EXPECT_EQ(run.exit_code, 1);
    ExpectUsage(run.output);
  }
  auto run = Split({"-sc", "-sp3"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsage(run.output, "ERROR: No file specified!\n");

  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"big.iso", "-x"}, {"big.iso", "-s0"}, {"big.iso", "-sp0"}, {"big.iso", "-sabc"},
           {"big.iso", "-sc", "-s0"}}) {
    run = Split(arguments);
    EXPECT_EQ(run.exit_code, 1);
    ExpectUsage(run.output, "ERROR: No parts or size specified!\n");
  }
  EXPECT_TRUE(Listing().empty());
}

TEST_F(Usage, UnusableNumbersAreParameterErrors) {
  Make("big.iso", "0123456789");
  for (const std::string option : {"-s-100", "-sp-2", "-sm9999999999999", "-sp2147483648"}) {
    const auto run = Split({"big.iso", option});
    EXPECT_EQ(run.exit_code, 1) << option;
    ExpectUsage(run.output, "ERROR: Invalid number in option \"" + option + "\"!\n");
  }
  EXPECT_EQ(Listing(), std::vector<std::string>{"big.iso"});
}

TEST_F(Usage, HelpAndVersionExitZero) {
  auto run = Split({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  ExpectUsage(run.output);
  run = Split({"--version"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.output.starts_with("CZELBO32 "));
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1);
}

using WorkedExample = ConsoleScenarios;

TEST_F(WorkedExample, FloppyPartsWithRemainder) { FloppyPartsWithRemainder(); }

TEST_F(WorkedExample, PartsAndScriptsLandBesideTheSourceWhereverItIs) {
  fs::create_directories(dir_ / "sub" / "deeper");
  Make("sub/deeper/big.iso", PatternBytes(2500));
  auto run = Split({"sub/deeper/big.iso", "-sk1"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\bsub/deeper/big.003\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "sub/deeper/unsplit.sh"));
  EXPECT_TRUE(fs::exists(dir_ / "sub/deeper/unsplit.bat"));
  EXPECT_EQ(fs::file_size(dir_ / "sub/deeper/big.003"), 452u);

  // A relative folder above the working directory.
  Make("sub/up.iso", "abcd");
  testing::RunOptions options;
  options.working_directory = dir_ / "sub" / "deeper";
  run = testing::RunProgram(kProgram, {"../up.iso", "-sp2"}, options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\b../up.002\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "sub/up.002"), "cd");
  EXPECT_TRUE(fs::exists(dir_ / "sub/unsplit.sh"));

  // An absolute path.
  Make("sub/abs.iso", "wxyz");
  run = Split({(dir_ / "sub" / "abs.iso").string(), "-sp2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFile(dir_ / "sub/abs.002"), "yz");
  EXPECT_EQ(Listing(), std::vector<std::string>{"sub"});
}

using Refusals = ConsoleScenarios;

TEST_F(Refusals, ImpossiblePlansWriteNothing) { ImpossiblePlansWriteNothing(); }

TEST_F(Refusals, UnreadableSourceIsAFileError) {
  Make("locked.iso", "secret");
  ::chmod((dir_ / "locked.iso").c_str(), 0);
  const testing::OrdinaryUser user(program_);
  program_ = user.program;
  prefix_ = user.prefix;
  const auto run = Split({"locked.iso", "-s2"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.output, "ERROR: File access error on the file to split!\n");
}

TEST_F(Refusals, NamesWithLineBreaksCannotGoIntoScripts) {
  Make("two\nlines.bin", "0123456789");
  const auto run = Split({"two\nlines.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output,
            "ERROR: A file name with a line break cannot be written into the reassembly scripts!\n");
  EXPECT_EQ(Listing(), std::vector<std::string>{"two\nlines.bin"});
}

using PartLimits = ConsoleRun;

TEST_F(PartLimits, ThousandWholePartsAndARemainderMakeThousandAndOneFiles) {
  Make("data.bin", PatternBytes(1000 * 7 + 1));
  auto run = Split({"data.bin", "-s7"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.output.starts_with(
      "We will split the file \"data.bin\" into 1000 parts of 7 bytes\n and a remainder of 1\n"));
  EXPECT_NE(run.output.find("\bdata.999\n"), std::string::npos);
  EXPECT_NE(run.output.find("\bdata.1001\n" + Spin(2) + "\nFinished splitting, 1001 parts written.\n"),
            std::string::npos);
  EXPECT_EQ(fs::file_size(dir_ / "data.1000"), 7u);
  EXPECT_EQ(fs::file_size(dir_ / "data.1001"), 1u);

  Make("more.bin", PatternBytes(1001 * 7));
  run = Split({"more.bin", "-s7"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_FALSE(fs::exists(dir_ / "more.001"));
}

TEST_F(PartLimits, CountModeRoundsUpAndReportsWhatItWrote) {
  Make("twelve", "abcdefghijkl");
  auto run = Split({"twelve", "-sp5"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.output.starts_with("We will split the file \"twelve\" into 5 equal parts of 3 bytes.\n"));
  EXPECT_NE(run.output.find("Finished splitting, 4 parts written."), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "twelve.004"), "jkl");
  EXPECT_FALSE(fs::exists(dir_ / "twelve.005"));

  Make("three", "xyz");
  run = Split({"three", "-sp10"});
  EXPECT_TRUE(run.output.starts_with("We will split the file \"three\" into 10 equal parts of 1 bytes.\n"));
  EXPECT_NE(run.output.find("Finished splitting, 3 parts written."), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "three.003"), "z");

  Make("many", PatternBytes(1500));
  run = Split({"many", "-sp1500"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("Finished splitting, 1500 parts written."), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "many.1500"));
  EXPECT_TRUE(fs::exists(dir_ / "many.999"));
}

using PartNames = ConsoleRun;

TEST_F(PartNames, LongNamesGetTheGenericBaseName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Big File.iso", "part"}, {"archive.tar.gz", "part"}, {"page.html", "part"},
      {"my.file.txt", "my.file"}, {"README", "README"}, {"12345678.abc", "12345678"}};
  for (const auto& [source, base] : cases) {
    testing::TempDir dir;
    testing::WriteFile(dir / source, "0123456789");
    testing::RunOptions options;
    options.working_directory = dir.path();
    const auto run = testing::RunProgram(kProgram, {source, "-s4"}, options);
    EXPECT_EQ(run.exit_code, 0) << source;
    EXPECT_EQ(ReadFile(dir / (base + ".003")), "89") << source;
    EXPECT_NE(ReadFile(dir / "unsplit.sh").find("\nbase=\"" + base + "\"\nsource=\"" + source + "\"\n"),
              std::string::npos);
  }
}

using SourceProtection = ConsoleScenarios;

TEST_F(SourceProtection, ASourceNamedLikeItsFirstPartIsNeverTruncated) {
  ASourceNamedLikeItsFirstPartIsNeverTruncated();
}

TEST_F(SourceProtection, AnOutputThatIsTheSourceStopsTheRunBeforeAnyPart) {
  AnOutputThatIsTheSourceStopsTheRunBeforeAnyPart();
}



TEST_F(SourceProtection, SymlinkedOutputsAreReplacedNotWrittenThrough) {
  Make("data.bin", "0123456789");
  Make("elsewhere", "keep me");
  Make("old.003", "an old part");
  fs::create_hard_link(dir_ / "old.003", dir_ / "data.003");
  fs::create_symlink(dir_ / "elsewhere", dir_ / "data.002");
  fs::create_symlink(dir_ / "elsewhere", dir_ / "unsplit.bat");
  Make("data.001", "an old part, longer than the new one");
  const auto run = Split({"data.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFile(dir_ / "elsewhere"), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir_ / "data.002"));
  EXPECT_FALSE(fs::is_symlink(dir_ / "unsplit.bat"));
  EXPECT_EQ(ReadFile(dir_ / "data.001"), "01234");
  EXPECT_EQ(ReadFile(dir_ / "data.002"), "56789");
  EXPECT_EQ(ReadFile(dir_ / "old.003"), "an old part") << "a hard link keeps its bytes";
}

TEST_F(SourceProtection, FifosAreRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe.iso").c_str(), 0644), 0);
  auto run = Split({"pipe.iso", "-s5"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.output, "ERROR: File access error on the file to split!\n");

  Make("data.bin", "0123456789");
  ASSERT_EQ(::mkfifo((dir_ / "data.002").c_str(), 0644), 0);
  run = Split({"data.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_TRUE(run.output.ends_with("ERROR: Unable to open output file \"data.002\"\n"));
}

TEST_F(SourceProtection, PartsAndScriptsAreNoMoreReadableThanTheSource) {
  Make("private.bin", "0123456789");
  ::chmod((dir_ / "private.bin").c_str(), 0600);
  ASSERT_EQ(Split({"private.bin", "-s5"}).exit_code, 0);
  const auto mode = [&](const char* name) {
    struct stat info {};
    ::stat((dir_ / name).c_str(), &info);
    return info.st_mode & 0777;
  };
  EXPECT_EQ(mode("private.001"), 0600u);
  EXPECT_EQ(mode("unsplit.bat"), 0600u);
  EXPECT_EQ(mode("unsplit.sh"), 0700u);
}

using WriteFailures = ConsoleScenarios;

TEST_F(WriteFailures, PartsLargerThanTheFileSizeLimitAreRefusedBeforeAnything) {
  Make("big.iso", PatternBytes(3000000));
  auto run = Split({"big.iso", "-sf"}, /*file_size_limit=*/1000000);
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output,
            "We will split the file \"big.iso\" into 2 parts of 1433600 bytes\n"
            " and a remainder of 132800\n"
            "ERROR: Parts of 1400 kbytes are larger than the file-size limit of this process "
            "(ulimit -f) allows: at most 976 kbytes!\n");
  run = Split({"big.iso", "-sp2"}, 1000000);
  EXPECT_TRUE(run.output.ends_with("allows: split into at least 3 parts!\n")) << run.output;
  EXPECT_EQ(Listing(), std::vector<std::string>{"big.iso"});
}

TEST_F(WriteFailures, APartThatDoesNotFitTheMediumEndsTheRunWithExitThree) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small medium needs root";
  const fs::path medium = dir_ / "medium";
  fs::create_directory(medium);
  if (::mount("zelbo-test", medium.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "no tmpfs here";
  }
  testing::WriteFile(medium / "big.iso", PatternBytes(3000000));
  testing::RunOptions options;
  options.working_directory = medium;
  const auto run = testing::RunProgram(kProgram, {"big.iso", "-sf"}, options);
  const std::vector<std::string> left = testing::SortedNames(medium);
  ::umount2(medium.c_str(), MNT_DETACH);
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_TRUE(run.output.ends_with("ERROR: Unable to write output file \"big.001\": "
                                   "No space left on device\n"))
      << run.output;
  EXPECT_EQ(left, std::vector<std::string>{"big.iso"}) << "the incomplete part is gone";
}

TEST_F(WriteFailures, ClosedStandardStreamsNeverBecomeAPart) {
  const std::string bytes = PatternBytes(300000);
  Make("data.bin", bytes);
  testing::RunOptions options;
  options.working_directory = dir_.path();
  options.closed_input_and_output = true;
  const auto run = testing::RunProgram(kProgram, {"data.bin", "-sk100"}, options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFile(dir_ / "data.001"), bytes.substr(0, 102400));
  EXPECT_EQ(ReadFile(dir_ / "data.003"), bytes.substr(204800));
}

TEST_F(WriteFailures, AScriptThatCannotBeWrittenEndsTheRunWithExitFive) {
  // A name the batch cannot carry ('*') leaves it short, so that a size
  // limit can fall between the two scripts.
  Make("da*ta.bin", PatternBytes(1000 * 10));
  const auto whole = Split({"da*ta.bin", "-s10"});
  ASSERT_EQ(whole.exit_code, 0);
  // The split says at once that only the shell script can join these parts.
  EXPECT_NE(whole.output.find("DOS batch file \"unsplit.bat\" created.\n"
                              "The DOS batch file \"unsplit.bat\" cannot join the parts: "),
            std::string::npos)
      << whole.output;
  const auto batch_size = static_cast<std::int64_t>(fs::file_size(dir_ / "unsplit.bat"));
  const auto shell_size = static_cast<std::int64_t>(fs::file_size(dir_ / "unsplit.sh"));
  ASSERT_GT(shell_size, batch_size);

  auto run = Split({"da*ta.bin", "-s10"}, batch_size - 1);
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_TRUE(run.output.ends_with(
      "ERROR: Could not write DOS batch file \"unsplit.bat\": File too large\n"));

  run = Split({"da*ta.bin", "-s10"}, batch_size);
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_TRUE(run.output.ends_with(
      "ERROR: Could not write Linux batch file \"unsplit.sh\": File too large\n"));
  EXPECT_FALSE(fs::exists(dir_ / "unsplit.sh")) << "no script cut short";
}

TEST_F(WriteFailures, AScriptThatCannotBeCreatedIsReported) {
  AScriptThatCannotBeCreatedIsReported();
}

TEST_F(WriteFailures, APartThatCannotBeCreatedIsAnOpenError) {
  APartThatCannotBeCreatedIsAnOpenError();
}

TEST_F(WriteFailures, AReaderThatGoesAwayDoesNotStopTheSplit) {
  const std::string bytes = PatternBytes(300000);
  Make("data.bin", bytes);
  // The reader has gone before the program prints its first line.
  const std::string script = "{ sleep 0.3; '" + kProgram + "' data.bin -sk100; echo $? > status; } | true";
  testing::RunOptions options;
  options.working_directory = dir_.path();
  testing::RunProgram("/bin/sh", {"-c", script}, options);
  EXPECT_EQ(ReadFile(dir_ / "status"), "0\n");
  EXPECT_EQ(ReadFile(dir_ / "data.003"), bytes.substr(204800));
  EXPECT_TRUE(fs::exists(dir_ / "unsplit.sh"));
}

using LargeFiles = ConsoleScenarios;

TEST_F(LargeFiles, ASparseSourcePastFourGigabytesIsMeasuredAndPlannedWhole) {
  ASparseSourcePastFourGigabytesIsMeasuredAndPlannedWhole();
}

TEST_F(LargeFiles, ASparseSourcePastFourGigabytesIsCopiedWhole) {
  if (std::getenv("ZELBO_TEST_LARGE") == nullptr) {
    GTEST_SKIP() << "set ZELBO_TEST_LARGE=1 to copy 4.5 GB";
  }
  Make("big.iso", "");
  fs::resize_file(dir_ / "big.iso", kLargeSize);
  const auto copy = Split({"big.iso", "-sp2"});
  EXPECT_EQ(copy.exit_code, 0);
  EXPECT_EQ(fs::file_size(dir_ / "big.001"), 2250000000u);
  EXPECT_EQ(fs::file_size(dir_ / "big.002"), 2250000000u);
  fs::rename(dir_ / "big.iso", dir_ / "original.iso");
  testing::RunOptions options;
  options.working_directory = dir_.path();
  EXPECT_EQ(testing::RunProgram("/bin/sh", {"unsplit.sh"}, options).exit_code, 0);
  EXPECT_EQ(testing::RunProgram("/usr/bin/cmp", {"big.iso", "original.iso"}, options).exit_code, 0);
}

}  // namespace
}  // namespace zelbo::e2e
