// The written unsplit.sh, run by real shells, gives back the source byte for
// byte, and when something is wrong it stops before it deletes anything
// more, so that the next run after the repair still gives the file back.
#include <unistd.h>


#include "common/scripts.h"
#include "tests/e2e/rejoin.h"

namespace zelbo::e2e {
namespace {

std::string BusyboxPath() {
  for (const char* path : {"/bin/busybox", "/usr/bin/busybox"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

Joiner Dash() { return {"dash", "/bin/sh", {}, {}, "unsplit.sh", "unsplit.bat"}; }

std::vector<Joiner> Shells() {
  return {Dash(),
          {"busybox", BusyboxPath(), {}, {"sh"}, "unsplit.sh", "unsplit.bat"},
          {"bash", "/bin/bash", {}, {}, "unsplit.sh", "unsplit.bat"}};
}

class ShellRejoin : public RejoinFixture {
 protected:
  void SplitAndRejoin(const Joiner& shell, const RejoinCase& rejoin, bool destination_exists) {
    ASSERT_FALSE(shell.program.empty()) << "busybox is missing: run scripts/setup.sh";
    const auto joined = SplitAndJoin(LinuxSplitter(), shell, rejoin, destination_exists);
    EXPECT_TRUE(joined.output.ends_with("Finished!\n"));
    ExpectJoined(joined, rejoin, shell);
  }
};

class Rejoin : public ShellRejoin,
               public ::testing::TestWithParam<std::tuple<Joiner, RejoinCase>> {};

TEST_P(Rejoin, RestoresTheSourceByteForByte) {
  SplitAndRejoin(std::get<0>(GetParam()), std::get<1>(GetParam()), false);
}

class RejoinOverExisting : public ShellRejoin, public ::testing::TestWithParam<Joiner> {};

TEST_P(RejoinOverExisting, ReplacesAFileInTheWay) {
  SplitAndRejoin(GetParam(), {"floppy", "big.iso", 3000000, "-sf"}, true);
}

const RejoinCase kCases[] = {
    {"floppy", "big.iso", 3000000, "-sf"},
    {"blank_in_name", "Big File.iso", 100000, "-sk30"},
    {"percent", "100%.bin", 5000, "-sk1"},
    {"dollar", "$HOME.bin", 5000, "-sk1"},
    {"backquote", "`id`.bin", 5000, "-sk1"},
    {"leading_dash", "-x.bin", 5000, "-sk1"},
    {"double_quote", "q\"t.bin", 5000, "-sk1"},
    {"backslash", "b\\s.bin", 5000, "-sk1"},
    {"cmd_specials", "a!b!&c^d.bin", 5000, "-sk1"},
    {"glob", "*.bin", 5000, "-sk1"},
    {"one_part", "one.bin", 10, "-s10"},
};

INSTANTIATE_TEST_SUITE_P(
    Shells, Rejoin, ::testing::Combine(::testing::ValuesIn(Shells()), ::testing::ValuesIn(kCases)),
    [](const auto& info) {
      return std::get<0>(info.param).label + "_" + std::get<1>(info.param).label;
    });

INSTANTIATE_TEST_SUITE_P(Shells, RejoinOverExisting, ::testing::ValuesIn(Shells()),
                         [](const auto& info) { return info.param.label; });

const TroubleCase kShellTroubles[] = {
    {"started_elsewhere", Trouble::kStartedElsewhere, ""},
    {"missing_part", Trouble::kMissingPart, "ERROR: The part \"big.003\" is missing.\n"},
    {"damaged_part", Trouble::kDamagedPart,
     "ERROR: The part \"big.002\" has 59999 bytes instead of 60000.\n"},
    {"full_disk", Trouble::kFullDisk,
     "ERROR: The part \"big.002\" could not be appended to \"big.001\".\n"},
    {"size_limit", Trouble::kSizeLimit,
     "ERROR: The part \"big.002\" could not be appended to \"big.001\".\n"},
    {"read_only", Trouble::kReadOnly, ""},
    {"interrupted", Trouble::kInterrupted, ""},
};

class ShellTrouble : public TroubleFixture,
                     public ::testing::TestWithParam<std::tuple<Joiner, TroubleCase>> {};

TEST_P(ShellTrouble, StopsBeforeDeletingAnythingAndFinishesOnceRepaired) {
  SplitTroubleAndJoin(LinuxSplitter(), std::get<0>(GetParam()), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Shells, ShellTrouble,
    ::testing::Combine(::testing::ValuesIn(Shells()), ::testing::ValuesIn(kShellTroubles)),
    [](const auto& info) {
      return std::get<0>(info.param).label + "_" + std::get<1>(info.param).label;
    });

class LargeParts : public RejoinFixture, public ::testing::TestWithParam<Joiner> {};

TEST_P(LargeParts, JoinAFirstPartPastFourGiB) {
  MakeLargeFirstPart();
  const auto joined = Join(GetParam());
  EXPECT_EQ(joined.exit_code, 0) << joined.output;
  ExpectLargeFirstPartJoined(GetParam().other_script);
}

INSTANTIATE_TEST_SUITE_P(Shells, LargeParts, ::testing::Values(Dash()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace zelbo::e2e
