// CZELBO32.exe as a Windows user runs it: Windows paths, options with '/',
// wildcards, names outside the ANSI code page, exit codes through wine.
#include "tests/wine/wine_run.h"

namespace zelbo::e2e {
namespace {

using testing::ReadFile;

using WindowsUsage = WindowsRun;

TEST_F(WindowsUsage, IncompleteCommandLinesPrintTheUsageAndExitOne) {
  auto run = Split({});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "", true);

  // Options may start with '/', so these are no paths.
  run = Split({"/SC", "/sp3"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: No file specified!\n", true);

  run = Split({"big.iso", "/?"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: No parts or size specified!\n", true);

  run = Split({"big.iso", "/sp-2"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: Invalid number in option \"/sp-2\"!\n", true);
  EXPECT_TRUE(Listing().empty());
}

using WindowsPaths = WindowsRun;

TEST_F(WindowsPaths, PartsLandBesideTheSourceHoweverItsPathIsWritten) {
  fs::create_directories(dir_ / "sub" / "deeper");
  // '/' separates too.
  Make("sub/fwd.iso", "abcd");
  const std::string forward = "Z:" + (dir_ / "sub" / "fwd.iso").string();
  auto run = Split({forward, "-sp2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\b" + forward.substr(0, forward.size() - 3) + "002\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "sub/fwd.002"), "cd");
  EXPECT_TRUE(fs::exists(dir_ / "sub/unsplit.bat"));

  // A relative folder, and one above the working folder.
  Make("sub/rel.iso", "efgh");
  run = Split({"sub\\rel.iso", "-sp2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\bsub\\rel.002\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "sub/rel.002"), "gh");
  Make("sub/up.iso", "ijkl");
  testing::RunOptions options;
  options.working_directory = dir_ / "sub" / "deeper";
  options.command_prefix = prefix_;
  run = testing::RunProgram(program_, {"..\\up.iso", "-sp2"}, options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFile(dir_ / "sub/up.002"), "kl");

  // A drive without a folder: the drive's current folder.
  Make("dr.iso", "mnop");
  run = Split({"Z:dr.iso", "/SP2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\bZ:dr.002\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "dr.002"), "op");
  EXPECT_TRUE(fs::exists(dir_ / "unsplit.sh"));

  // The root of a drive.
  const fs::path root = DriveC();
  testing::WriteFile(root / "zroot.iso", "qrst");
  run = Split({"C:\\zroot.iso", "-sp2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("\bC:\\zroot.002\n"), std::string::npos);
  EXPECT_EQ(ReadFile(root / "zroot.002"), "st");
  EXPECT_NE(ReadFile(root / "unsplit.sh").find("base=\"zroot\"\nsource=\"zroot.iso\""), std::string::npos);
  for (const char* name : {"zroot.iso", "zroot.001", "zroot.002", "unsplit.bat", "unsplit.sh"}) {
    fs::remove(root / name);
  }
}

TEST_F(WindowsPaths, NamesOutsideTheAnsiCodePageAndPathsPastTheOldLimit) {
  Make("Été.txt", "abcdefgh");
  auto run = Split({"Été.txt", "-s3"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.output.starts_with("We will split the file \"Été.txt\" into 2 parts of 3 bytes\n"));
  EXPECT_NE(run.output.find("\bÉté.003\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "Été.003"), "gh");

  // Greek: in neither the ANSI nor the OEM code page of a Western system.
  Make("Ωμέγα.bin", "0123456789");
  run = Split({"Ωμέγα.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(ReadFile(dir_ / "part.002"), "56789");
  EXPECT_NE(ReadFile(dir_ / "unsplit.sh").find("base=\"part\"\nsource=\"Ωμέγα.bin\""), std::string::npos);

  // Far past the classic 260 characters.
  fs::path deep = dir_.path();
  for (int level = 0; level < 6; ++level) deep /= std::string(60, static_cast<char>('a' + level));
  fs::create_directories(deep);
  testing::WriteFile(deep / "big.iso", "0123456789");
  const std::string long_path = WindowsPath(deep / "big.iso");
  ASSERT_GT(long_path.size(), 360u);
  run = Split({long_path, "-s4"});
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(ReadFile(deep / "big.003"), "89");
  EXPECT_TRUE(fs::exists(deep / "unsplit.bat"));
}

TEST_F(WindowsPaths, WildcardsAreExpandedAndTheLastMatchIsTheSource) {
  Make("a.bin", "aaaa");
  Make("B.bin", "bbbbbb");
  auto run = Split({"*.bin", "-s2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.output.starts_with("We will split the file \"B.bin\" into 3 parts of 2 bytes\n"));
  EXPECT_EQ(ReadFile(dir_ / "B.003"), "bb");
  EXPECT_FALSE(fs::exists(dir_ / "a.001"));

  // The pattern's folder stays as typed in front of each name.
  run = Split({Win("?.bin"), "-s3"});
  EXPECT_TRUE(run.output.starts_with("We will split the file \"" + Win("B.bin") + "\" into 2 parts"));

  // A pattern that matches nothing is taken as it stands.
  run = Split({"*.none", "-s2"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.output, "ERROR: File access error on the file to split!\n");
}

// The scenarios that every build passes, with the source named by its
// Windows path where the scenario prints it.
using WindowsScenarios = WindowsRun;

TEST_F(WindowsScenarios, FloppyPartsWithRemainder) { FloppyPartsWithRemainder(); }
TEST_F(WindowsScenarios, ImpossiblePlansWriteNothing) { ImpossiblePlansWriteNothing(); }
TEST_F(WindowsScenarios, ASourceNamedLikeItsFirstPartIsNeverTruncated) {
  ASourceNamedLikeItsFirstPartIsNeverTruncated();
}
TEST_F(WindowsScenarios, AnOutputThatIsTheSourceStopsTheRunBeforeAnyPart) {
  AnOutputThatIsTheSourceStopsTheRunBeforeAnyPart();
}
TEST_F(WindowsScenarios, AScriptThatCannotBeCreatedIsReported) {
  AScriptThatCannotBeCreatedIsReported();
}
TEST_F(WindowsScenarios, APartThatCannotBeCreatedIsAnOpenError) {
  APartThatCannotBeCreatedIsAnOpenError();
}
TEST_F(WindowsScenarios, ASparseSourcePastFourGigabytesIsMeasuredAndPlannedWhole) {
  ASparseSourcePastFourGigabytesIsMeasuredAndPlannedWhole();
}
}  // namespace
}  // namespace zelbo::e2e
