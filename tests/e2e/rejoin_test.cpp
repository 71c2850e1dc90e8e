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
          {"mksh", "/usr/bin/mksh", {}, {}, "unsplit.sh", "unsplit.bat"},
          {"yash", "/usr/bin/yash", {}, {}, "unsplit.sh", "unsplit.bat"},
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
    {"missing_part", Trouble::kMissingPart, "ERROR: The part \"big.003\" is missing.\n", false},
    {"damaged_part", Trouble::kDamagedPart,
     "ERROR: The part \"big.002\" has 59999 bytes instead of 60000.\n", false},
    {"full_disk", Trouble::kFullDisk,
     "ERROR: The part \"big.002\" could not be appended to \"big.001\".\n"},
    {"size_limit", Trouble::kSizeLimit,
     "ERROR: The part \"big.002\" could not be appended to \"big.001\".\n"},
    {"read_only", Trouble::kReadOnly, ""},
    {"interrupted", Trouble::kInterrupted, "", false},
    {"swapped_parts", Trouble::kSwappedParts, "ERROR: The part \"big.002\" is damaged: ", false},
    {"changed_byte", Trouble::kChangedByte, "ERROR: The part \"big.003\" is damaged: ", false},
    {"foreign_part", Trouble::kForeignPart, "ERROR: The part \"big.002\" is damaged: ", false},
    {"linked_parts", Trouble::kLinkedParts, "ERROR: The part \"big.001\" is a link ", false},
    {"locked", Trouble::kLocked, "ERROR: Another join of these parts is running"},
    {"undeletable", Trouble::kUndeletable, "ERROR: The part \"big.002\" was appended to \"big.001\" but could not be deleted."},
    // The other parts are hashed one by one: part 2 alone is named.
    {"unreadable_part", Trouble::kUnreadablePart,
     "ERROR: The part \"big.002\" could not be read.\nERROR: Not every part", false},
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

// Sizes past 4 GiB, compared in shells that count in 32 bits too: a fresh
// join, one that goes on after a run was killed halfway through part 2 or
// between its append and its delete, and one on a file system that holds
// only 32-bit sizes (as getconf says).
TEST_P(LargeParts, JoinAFirstPartPastFourGiB) {
  for (const std::string appended : {"", "ta", "tail!"}) {
    MakeLargeFirstPart(appended);
    const auto joined = Join(GetParam());
    EXPECT_EQ(joined.exit_code, 0) << joined.output;
    ExpectLargeFirstPartJoined(GetParam().other_script);
  }
  MakeLargeFirstPart();
  testing::WriteFile(elsewhere_ / "getconf", "#!/bin/sh\necho 32\n");
  fs::permissions(elsewhere_ / "getconf", fs::perms::owner_all);
  const auto refused = Join(GetParam(), {.environment = {"PATH=" + elsewhere_.path().string() + ":" + std::getenv("PATH")}});
  EXPECT_NE(refused.output.find("ERROR: The file system of this folder cannot hold a file of 5000000005 bytes."),
            std::string::npos) << refused.output;
  EXPECT_EQ(fs::file_size(parts_ / "big.001"), static_cast<std::uintmax_t>(kLargeFirst));
}

INSTANTIATE_TEST_SUITE_P(Shells, LargeParts, ::testing::ValuesIn(Shells()),
                         [](const auto& info) { return info.param.label; });

// yash reads no Latin-1 name in a UTF-8 locale: it stops at the names on
// top, before it changes anything.
class Latin1Names : public RejoinFixture, public ::testing::Test {};

TEST_F(Latin1Names, AShellThatCannotReadThemChangesNothing) {
  for (const char* part : {"caf\xe9.001", "caf\xe9.002"}) testing::WriteFile(parts_ / part, part);
  WriteScripts("caf\xe9", "caf\xe9.bin");
  TakeStock();
  const auto run = Join(Shells()[3], {.environment = {"LC_ALL=C.UTF-8"}});
  EXPECT_NE(run.exit_code, 0) << run.output;
  ExpectUnchanged();
}

}  // namespace
}  // namespace zelbo::e2e
