// CZELBO32.exe as a Windows user runs it: Windows paths, options with '/',
// wildcards, names outside the ANSI code page, exit codes through wine.
#include "tests/wine/wine_run.h"

namespace zelbo::e2e {
namespace {

using testing::PatternBytes;
using testing::ReadFile;

using WindowsUsage = WindowsRun;

TEST_F(WindowsUsage, IncompleteCommandLinesPrintTheUsageAndExitOne) {
  auto run = Split({});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "", kSlashOptionsLine);

  // Options may start with '/', so these are no paths.
  run = Split({"/SC", "/sp3"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: No file specified!\n", kSlashOptionsLine);

  run = Split({"big.iso", "/?"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: No parts or size specified!\n", kSlashOptionsLine);

  run = Split({"big.iso", "/sp-2"});
  EXPECT_EQ(run.exit_code, 1);
  ExpectUsageText(run.output, "ERROR: Invalid number in option \"/sp-2\"!\n", kSlashOptionsLine);
  EXPECT_TRUE(Listing().empty());
}

using WindowsPaths = WindowsRun;

TEST_F(WindowsPaths, WorkedExampleWithADrivePath) {
  const std::string source = PatternBytes(3000000);
  Make("big.iso", source);
  const auto run = Split({Win("big.iso"), "/SF"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output,
            "We will split the file \"" + Win("big.iso") + "\" into 2 parts of 1433600 bytes\n"
            " and a remainder of 132800\n"
            "Writing the splitted parts:\n" +
                Win("big.001") + "\n" + Spin(44) + Win("big.002") + "\n" + Spin(44) +
                Win("big.003") + "\n" + Spin(6) +
                "\nFinished splitting, 3 parts written.\n"
                "Writing the DOS batch to put the stuff back together...\n"
                "DOS batch file \"unsplit.bat\" created.\n"
                "Linux/Unix shell script file \"unsplit.sh\" created.\n"
                "End Zelbo!\n");
  EXPECT_EQ(ReadFile(dir_ / "big.001"), source.substr(0, 1433600));
  EXPECT_EQ(ReadFile(dir_ / "big.002"), source.substr(1433600, 1433600));
  EXPECT_EQ(ReadFile(dir_ / "big.003"), source.substr(2867200));
  EXPECT_TRUE(ReadFile(dir_ / "unsplit.bat").ends_with("\r\nDEL unsplit.bat\r\nECHO ...\r\nECHO Finished!\r\n"));
  EXPECT_TRUE(ReadFile(dir_ / "unsplit.sh").ends_with("\nrm unsplit.sh\necho Finished!\n"));
}

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
  run = Split({"Z:dr.iso", "-sp2"});
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
  EXPECT_NE(ReadFile(root / "unsplit.sh").find("mv \"zroot.001\" \"zroot.iso\""), std::string::npos);
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
  EXPECT_NE(ReadFile(dir_ / "unsplit.sh").find("mv \"part.001\" \"Ωμέγα.bin\""), std::string::npos);

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

using WindowsRefusals = WindowsRun;

TEST_F(WindowsRefusals, ImpossiblePlansExitWithTheirCodes) {
  auto run = Split({Win("missing.iso"), "-sf"});
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.output, "ERROR: File access error on the file to split!\n");

  fs::create_directory(dir_ / "folder");
  run = Split({"folder", "-sf"});
  EXPECT_EQ(run.exit_code, 3);

  Make("small.bin", std::string(1000, 'x'));
  run = Split({"small.bin", "-s1001"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output,
            "We will split the file \"small.bin\" into ...\n"
            "The file is only 1000 bytes long!\nYour parts are too large!\n");

  Make("big.iso", PatternBytes(3000000));
  run = Split({Win("big.iso"), "/sk1"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output, "We will split the file \"" + Win("big.iso") +
                            "\" into 2929 parts is more than is supported (1000 max.)!\n");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"big.iso", "folder", "small.bin"}));
}

TEST_F(WindowsRefusals, TheSourceIsNeverDamaged) {
  const std::string bytes = PatternBytes(5000);
  Make("big.001", bytes);
  auto run = Split({"big.001", "-sk1"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_EQ(run.output,
            "We will split the file \"big.001\" into 4 parts of 1024 bytes\n and a remainder of 904\n"
            "Writing the splitted parts:\nbig.001\nERROR: Unable to open output file \"big.001\"\n");
  EXPECT_EQ(ReadFile(dir_ / "big.001"), bytes);

  Make("data.bin", bytes);
  fs::create_hard_link(dir_ / "data.bin", dir_ / "data.003");
  run = Split({"data.bin", "-sk2"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_TRUE(run.output.ends_with("ERROR: Unable to open output file \"data.003\"\n"));
  EXPECT_EQ(ReadFile(dir_ / "data.bin"), bytes);

  // The scripts are written after the source is closed.
  fs::remove(dir_ / "data.003");
  fs::create_symlink(dir_ / "data.bin", dir_ / "unsplit.sh");
  run = Split({"data.bin", "-sk2"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_TRUE(run.output.ends_with(
      "DOS batch file \"unsplit.bat\" created.\nERROR: Unable to open output file \"unsplit.sh\"\n"));
  EXPECT_EQ(ReadFile(dir_ / "data.bin"), bytes);

  fs::remove(dir_ / "unsplit.bat");
  Make("unsplit.bat", bytes);
  run = Split({"unsplit.bat", "-sk1"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_TRUE(run.output.ends_with("ERROR: Unable to open output file \"unsplit.bat\"\n"));
  EXPECT_EQ(ReadFile(dir_ / "unsplit.bat"), bytes);
}

TEST_F(WindowsRefusals, ScriptsThatCannotBeCreatedExitFive) {
  Make("data.bin", "0123456789");
  fs::create_directory(dir_ / "unsplit.bat");
  auto run = Split({"data.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_TRUE(run.output.ends_with(
      "Writing the DOS batch to put the stuff back together...\nERROR: Could not create DOS batch file\n"));
  EXPECT_FALSE(fs::exists(dir_ / "unsplit.sh"));

  fs::remove(dir_ / "unsplit.bat");
  fs::create_directory(dir_ / "unsplit.sh");
  run = Split({"data.bin", "-s5"});
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_TRUE(run.output.ends_with(
      "DOS batch file \"unsplit.bat\" created.\nERROR: Could not create Linux batch file\n"));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "unsplit.bat"));
}

using WindowsLargeFiles = WindowsRun;

TEST_F(WindowsLargeFiles, ASparseSourcePastFourGigabytesIsMeasuredWhole) {
  Make("big.iso", "");
  fs::resize_file(dir_ / "big.iso", 4'500'000'000);
  auto run = Split({Win("big.iso"), "-sd"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.output,
            "We will split the file \"" + Win("big.iso") + "\" into ...\n"
            "The file is only 4500000000 bytes long!\nYour parts are too large!\n");

  // A valid plan, stopped before any copying by a folder in the way.
  fs::create_directory(dir_ / "big.001");
  run = Split({"big.iso", "-sc"});
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_EQ(run.output,
            "We will split the file \"big.iso\" into 6 parts of 734003200 bytes\n"
            " and a remainder of 95980800\nWriting the splitted parts:\nbig.001\n"
            "ERROR: Unable to open output file \"big.001\"\n");
  run = Split({"big.iso", "-sp2"});
  EXPECT_TRUE(run.output.starts_with(
      "We will split the file \"big.iso\" into 2 equal parts of 2250000000 bytes.\n"));
}

}  // namespace
}  // namespace zelbo::e2e
