// End-to-end scenarios that every build of the console program must pass
// alike, run by the Linux tests directly and by the Windows tests through
// wine. Where a scenario names the source on the command line it asks Arg(),
// so that a Windows run can spell it with a drive and '\'.
#pragma once

#include <string>

#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {

class ConsoleScenarios : public ConsoleRun {
 protected:
  // A file of the test's folder as the command line names it, and so as
  // the program prints the names derived from it.
  virtual std::string Arg(const std::string& name) const { return name; }

  void FloppyPartsWithRemainder() {
    const std::string source = testing::PatternBytes(3000000);
    Make("big.iso", source);
    const auto run = Split({Arg("big.iso"), "-sf"});
    EXPECT_EQ(run.exit_code, 0);
    // 1433600 bytes are 43.75 reads of 32768: 44 reads per full part; the
    // last part takes 4 full reads, one of 1728 bytes and one at the end.
    EXPECT_EQ(run.output,
              "We will split the file \"" + Arg("big.iso") + "\" into 2 parts of 1433600 bytes\n"
              " and a remainder of 132800\n"
              "Writing the splitted parts:\n" +
                  Arg("big.001") + "\n" + Spin(44) + Arg("big.002") + "\n" + Spin(44) +
                  Arg("big.003") + "\n" + Spin(6) +
                  "\nFinished splitting, 3 parts written.\n"
                  "Writing the DOS batch to put the stuff back together...\n"
                  "DOS batch file \"unsplit.bat\" created.\n"
                  "Linux/Unix shell script file \"unsplit.sh\" created.\n"
                  "End Zelbo!\n");
    EXPECT_EQ(testing::ReadFile(dir_ / "big.001"), source.substr(0, 1433600));
    EXPECT_EQ(testing::ReadFile(dir_ / "big.002"), source.substr(1433600, 1433600));
    EXPECT_EQ(testing::ReadFile(dir_ / "big.003"), source.substr(2867200));
    EXPECT_EQ(testing::ReadFile(dir_ / "big.iso"), source);

    const std::string batch = testing::ReadFile(dir_ / "unsplit.bat");
    EXPECT_TRUE(batch.starts_with("@ECHO OFF\r\n"));
    EXPECT_NE(batch.find("\r\nECHO ZELBO Written By Odric Vallen\r\n"), std::string::npos);
    EXPECT_NE(batch.find("\r\nCOPY /B \"big.001\" + \"big.003\" \"big.001\"\r\n"), std::string::npos);
    EXPECT_NE(batch.find("\r\nECHO Finished!\r\nCALL :TIDY\r\nDEL /F unsplit.bat & POPD & EXIT /B 0\r\n"),
              std::string::npos);
    const std::string shell = testing::ReadFile(dir_ / "unsplit.sh");
    EXPECT_TRUE(shell.starts_with("#!/bin/sh\necho ZELBO Written By Odric Vallen\n"));
    EXPECT_NE(shell.find("\n  $1 003 132800 3000000 "), std::string::npos);
    EXPECT_NE(shell.find("\nbase=\"big\"\nsource=\"big.iso\"\n"), std::string::npos);
    EXPECT_TRUE(shell.ends_with("\nrm -f unsplit.sh\necho Finished!\n"));
    EXPECT_EQ(shell.find('\r'), std::string::npos);
  }

  void ImpossiblePlansWriteNothing() {
    auto run = Split({Arg("missing.iso"), "-sf"});
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

    Make("big.iso", testing::PatternBytes(3000000));
    run = Split({Arg("big.iso"), "-sk1"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.output, "We will split the file \"" + Arg("big.iso") +
                              "\" into 2929 parts is more than is supported (1000 max.)!\n");

    Make("empty", "");
    for (const std::string option : {"-s1", "-sp3"}) {
      run = Split({"empty", option});
      EXPECT_EQ(run.exit_code, 2) << option;
      EXPECT_EQ(run.output,
                "We will split the file \"empty\" into ...\n"
                "The file is only 0 bytes long!\nYour parts are too large!\n");
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"big.iso", "empty", "folder", "small.bin"}));
  }

  void ASourceNamedLikeItsFirstPartIsNeverTruncated() {
    const std::string bytes = testing::PatternBytes(5000);
    Make("big.001", bytes);
    const auto run = Split({"big.001", "-sk1"});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(run.output,
              "We will split the file \"big.001\" into 4 parts of 1024 bytes\n"
              " and a remainder of 904\nERROR: Unable to open output file \"big.001\"\n");
    EXPECT_EQ(testing::ReadFile(dir_ / "big.001"), bytes);
  }

  // Any output that would be the source (by its own name, a hard link or a
  // symbolic link) stops the run before its first part.
  void AnOutputThatIsTheSourceStopsTheRunBeforeAnyPart() {
    const std::string bytes = testing::PatternBytes(5000);
    struct Case {
      const char* source;
      const char* link;  // another name of the source, or nullptr
      bool symbolic;
      const char* clash;
    };
    for (const Case& c : {Case{"big.002", nullptr, false, "big.002"},
                          Case{"data.bin", "data.003", false, "data.003"},
                          Case{"data.bin", "unsplit.sh", true, "unsplit.sh"},
                          Case{"unsplit.bat", nullptr, false, "unsplit.bat"}}) {
      for (const std::string& name : Listing()) fs::remove(dir_ / name);
      Make(c.source, bytes);
      if (c.link != nullptr && c.symbolic) fs::create_symlink(c.source, dir_ / c.link);
      if (c.link != nullptr && !c.symbolic) fs::create_hard_link(dir_ / c.source, dir_ / c.link);
      const auto run = Split({Arg(c.source), "-sk1"});
      EXPECT_EQ(run.exit_code, 4) << c.clash;
      EXPECT_TRUE(run.output.ends_with(" and a remainder of 904\nERROR: Unable to open output file \"" +
                                       Arg(c.clash) + "\"\n"))
          << run.output;
      EXPECT_EQ(testing::ReadFile(dir_ / c.source), bytes);
      EXPECT_EQ(Listing().size(), c.link != nullptr ? 2u : 1u) << "nothing written";
    }
  }

  void AScriptThatCannotBeCreatedIsReported() {
    Make("data.bin", "0123456789");
    fs::create_directory(dir_ / "unsplit.bat");
    auto run = Split({"data.bin", "-s5"});
    EXPECT_EQ(run.exit_code, 5);
    EXPECT_TRUE(run.output.ends_with(
        "Writing the DOS batch to put the stuff back together...\n"
        "ERROR: Could not create DOS batch file\n"));
    EXPECT_FALSE(fs::exists(dir_ / "unsplit.sh"));

    fs::remove(dir_ / "unsplit.bat");
    fs::create_directory(dir_ / "unsplit.sh");
    run = Split({"data.bin", "-s5"});
    EXPECT_EQ(run.exit_code, 5);
    EXPECT_TRUE(run.output.ends_with(
        "DOS batch file \"unsplit.bat\" created.\nERROR: Could not create Linux batch file\n"));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "unsplit.bat"));
  }

  void APartThatCannotBeCreatedIsAnOpenError() {
    Make("data.bin", "0123456789");
    fs::create_directory(dir_ / "data.002");
    const auto run = Split({"data.bin", "-s5"});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_TRUE(run.output.ends_with("data.002\nERROR: Unable to open output file \"data.002\"\n"));
    EXPECT_EQ(testing::ReadFile(dir_ / "data.001"), "01234");
  }

  void ASparseSourcePastFourGigabytesIsMeasuredAndPlannedWhole() {
    Make("big.iso", "");
    fs::resize_file(dir_ / "big.iso", kLargeSize);
    auto run = Split({Arg("big.iso"), "-sd"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.output,
              "We will split the file \"" + Arg("big.iso") + "\" into ...\n"
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

  static constexpr std::int64_t kLargeSize = 4'500'000'000;
};

}  // namespace zelbo::e2e
