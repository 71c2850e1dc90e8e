// The scripts meet interpreters nobody here wrote: wine's cmd runs the
// batch that either build wrote, /bin/sh the shell script of the Windows
// build. Each join must give back the source byte for byte, and a batch in
// trouble must stop before it deletes anything more.

#include "common/scripts.h"
#include "tests/e2e/rejoin.h"
#include "tests/wine/wine_run.h"

namespace zelbo::e2e {
namespace {

Splitter WindowsSplitter() { return {"windows", kWindowsProgram, {"wine"}}; }
Joiner Cmd() {
  return {"cmd", "cmd", {"wine"}, {"/c"}, "unsplit.bat", "unsplit.sh", WindowsPath};
}
// Delayed expansion on, as a registry setting can make it for a double-click.
Joiner CmdDelayed() {
  return {"cmd_delayed", "cmd", {"wine"}, {"/V:ON", "/c"}, "unsplit.bat", "unsplit.sh", WindowsPath};
}
Joiner Sh() { return {"sh", "/bin/sh", {}, {}, "unsplit.sh", "unsplit.bat"}; }
// cmd with a certutil that prints what Windows 10 ("10") or a translated
// Windows 7 ("7") prints, and an fsutil that finds FAT32, early in PATH.
Joiner CmdWithStandIns(const std::string& form) {
  return {"cmd" + form, "cmd", {"env", "WINEPATH=" + WindowsPath(WINDOWS_STAND_IN_PATH), "ZELBO_CERTUTIL=" + form,
          "wine"}, {"/c"}, "unsplit.bat", "unsplit.sh", WindowsPath};
}

struct Route {
  Splitter splitter;
  Joiner joiner;
};

void PrintTo(const Route& route, std::ostream* out) {
  *out << route.splitter.label << "_" << route.joiner.label;
}

const RejoinCase kFloppy{"floppy", "big.iso", 3000000, "-sf"};
const RejoinCase kBlank{"blank_in_name", "Big File.iso", 100000, "-sk30"};
const RejoinCase kPercent{"percent", "100%.bin", 5000, "-sk1"};
const RejoinCase kCmdSpecials{"cmd_specials", "a!b!&c^d(1).bin", 5000, "-sk1"};
const RejoinCase kOnePart{"one_part", "one.bin", 10, "-s10"};
const RejoinCase kManyParts{"parts_1001", "many.bin", 1000 * 7 + 1, "-s7"};
// In the OEM code page of the wine prefix (437), so the Windows build's batch holds it.
const RejoinCase kAccented{"accented", "Caf\xc3\xa9.bin", 5000, "-sk1"};

// The Linux build writes its batch in UTF-8, which cmd would read in the
// OEM code page: the accented name travels only in the Windows build's batch.
std::vector<std::tuple<Route, RejoinCase>> Journeys() {
  const Route windows_cmd{WindowsSplitter(), Cmd()};
  const Route windows_delayed{WindowsSplitter(), CmdDelayed()};
  const Route windows_sh{WindowsSplitter(), Sh()};
  const Route linux_cmd{LinuxSplitter(), Cmd()};
  const Route linux_delayed{LinuxSplitter(), CmdDelayed()};
  std::vector<std::tuple<Route, RejoinCase>> journeys;
  for (const RejoinCase& rejoin : {kFloppy, kBlank, kPercent, kCmdSpecials, kOnePart, kManyParts, kAccented}) {
    journeys.emplace_back(windows_cmd, rejoin);
  }
  for (const RejoinCase& rejoin : {kPercent, kCmdSpecials, kAccented}) journeys.emplace_back(windows_delayed, rejoin);
  for (const RejoinCase& rejoin : {kFloppy, kBlank, kPercent, kOnePart, kAccented}) journeys.emplace_back(windows_sh, rejoin);
  for (const RejoinCase& rejoin : {kFloppy, kBlank, kPercent, kCmdSpecials, kOnePart}) journeys.emplace_back(linux_cmd, rejoin);
  journeys.emplace_back(linux_delayed, kCmdSpecials);
  return journeys;
}

class CrossRejoin : public RejoinFixture,
                    public ::testing::TestWithParam<std::tuple<Route, RejoinCase>> {};

TEST_P(CrossRejoin, RestoresTheSourceByteForByte) {
  const auto& [route, rejoin] = GetParam();
  ExpectJoined(SplitAndJoin(route.splitter, route.joiner, rejoin, false), rejoin, route.joiner);
}

std::string JourneyName(const ::testing::TestParamInfo<std::tuple<Route, RejoinCase>>& info) {
  const auto& [route, rejoin] = info.param;
  return route.splitter.label + "_" + route.joiner.label + "_" + rejoin.label;
}

INSTANTIATE_TEST_SUITE_P(Routes, CrossRejoin, ::testing::ValuesIn(Journeys()), JourneyName);

class CmdRejoinOverExisting : public RejoinFixture, public ::testing::TestWithParam<Splitter> {};

// cmd never replaces a file: the joined parts stay as the first part.
TEST_P(CmdRejoinOverExisting, LeavesTheJoinedFileAsTheFirstPart) {
  const auto joined = SplitAndJoin(GetParam(), Cmd(), kFloppy, true);
  EXPECT_EQ(joined.exit_code, 0) << joined.output;
  EXPECT_NE(joined.output.find("The destination file \"big.iso\" already exists!!\r\n"
                               "Your file has been rebuilt as \"big.001\"\r\n"),
            std::string::npos)
      << joined.output;
  EXPECT_EQ(testing::ReadFile(parts_ / "big.001"), original_);
  EXPECT_EQ(testing::ReadFile(parts_ / "big.iso"), "in the way");
  EXPECT_EQ(LeftInParts(), (std::vector<std::string>{"big.001", "big.iso", "unsplit.sh"}));
}

INSTANTIATE_TEST_SUITE_P(Splitters, CmdRejoinOverExisting,
                         ::testing::Values(WindowsSplitter(), LinuxSplitter()),
                         [](const auto& info) { return info.param.label; });

// A name the batch cannot carry: the batch touches nothing and says so, and
// the shell script of the same set restores the file.
struct Refusal {
  Splitter splitter;
  RejoinCase rejoin;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
  *out << refusal.splitter.label << "_" << refusal.rejoin.label;
}

class BatchRefusal : public RejoinFixture, public ::testing::TestWithParam<Refusal> {};

TEST_P(BatchRefusal, TouchesNothingAndTheShellScriptJoins) {
  const auto& [splitter, rejoin] = GetParam();
  Split(splitter, rejoin);
  TakeStock();
  const auto refused = Join(Cmd());
  EXPECT_NE(refused.exit_code, 0) << refused.output;
  EXPECT_NE(refused.output.find("ERROR: This batch cannot join these parts: the name "),
            std::string::npos)
      << refused.output;
  EXPECT_NE(refused.output.find("Nothing was changed."), std::string::npos) << refused.output;
  ExpectUnchanged();
  ExpectJoined(Join(Sh()), rejoin, Sh());
}

INSTANTIATE_TEST_SUITE_P(
    Names, BatchRefusal,
    ::testing::Values(
        Refusal{LinuxSplitter(), {"double_quote", "q\"t.bin", 5000, "-sk1"}},
        Refusal{LinuxSplitter(), {"accented", "Caf\xc3\xa9.bin", 5000, "-sk1"}},
        Refusal{WindowsSplitter(), {"greek", "\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1.bin", 5000, "-sk1"}},
        Refusal{WindowsSplitter(), {"euro", "prix\xe2\x82\xac.txt", 5000, "-sk1"}},
        Refusal{WindowsSplitter(), {"emoji", "smile\xf0\x9f\x98\x80.bin", 5000, "-sk1"}}),
    [](const auto& info) { return info.param.splitter.label + "_" + info.param.rejoin.label; });

// A drive letter of the wine prefix for a Linux folder, free again when the
// object goes. The letter is taken by creating its link, which fails when
// another test holds it.
class MappedDrive {
 public:
  explicit MappedDrive(const fs::path& folder) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) return;
    const fs::path devices = fs::path(prefix) / "dosdevices";
    for (char letter = 'r'; letter <= 'y' && link_.empty(); ++letter) {
      const fs::path link = devices / (std::string(1, letter) + ":");
      std::error_code taken;
      fs::create_directory_symlink(folder, link, taken);
      if (!taken) {
        link_ = link;
        letter_ = static_cast<char>(letter - 'a' + 'A');
      }
    }
  }
  ~MappedDrive() {
    std::error_code ignored;
    if (!link_.empty()) fs::remove(link_, ignored);
  }
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  bool mapped() const { return !link_.empty(); }
  std::string Path(const std::string& name) const { return std::string(1, letter_) + ":\\" + name; }

 private:
  fs::path link_;
  char letter_ = 0;
};

class CmdTrouble : public TroubleFixture,
                   public ::testing::TestWithParam<std::tuple<Joiner, TroubleCase>> {};

TEST_P(CmdTrouble, StopsBeforeDeletingAnythingAndFinishesOnceRepaired) {
  SplitTroubleAndJoin(WindowsSplitter(), std::get<0>(GetParam()), std::get<1>(GetParam()));
}

// wine's own certutil prints nothing: with it the batch checks sizes only.
INSTANTIATE_TEST_SUITE_P(
    Troubles, CmdTrouble,
    ::testing::Values(
        std::tuple{Cmd(), TroubleCase{"started_elsewhere", Trouble::kStartedElsewhere, ""}},
        std::tuple{Cmd(), TroubleCase{"missing_part", Trouble::kMissingPart, "The part \"big.003\" is missing.\r\n", false}},
        std::tuple{Cmd(), TroubleCase{"damaged_part", Trouble::kDamagedPart, "\"big.002\" has 59999 bytes instead of 60000.", false}},
        std::tuple{CmdWithStandIns("10"), TroubleCase{"swapped", Trouble::kSwappedParts, "\"big.002\" is damaged: ", false}},
        std::tuple{CmdWithStandIns("7"), TroubleCase{"changed_byte", Trouble::kChangedByte, "\"big.003\" is damaged: ", false}},
        std::tuple{CmdWithStandIns("7"), TroubleCase{"foreign_part", Trouble::kForeignPart, "\"big.002\" is damaged: ", false}},
        std::tuple{CmdWithStandIns("10"), TroubleCase{"locked", Trouble::kLocked, "Another join of these parts is running"}}),
    [](const auto& info) { return std::get<0>(info.param).label + "_" + std::get<1>(info.param).label; });

class CmdTroubles : public TroubleFixture, public ::testing::Test {};

// The trial copy finds that the small disk has no room for part 2 before
// anything is appended, so the join goes on once there is room. The batch
// runs from another folder, by the drive letter of the small disk.
TEST_F(CmdTroubles, AFullDiskStopsTheJoinBeforeItStarts) {
  if (!IsRoot()) GTEST_SKIP() << "a small disk needs a tmpfs mount, which needs root";
  Split(WindowsSplitter(), kThreeParts);
  JoinStart start = Prepare(Trouble::kFullDisk, Cmd());
  ASSERT_FALSE(HasFatalFailure());
  const MappedDrive drive(parts_.path());
  ASSERT_TRUE(drive.mapped()) << "no free drive letter from R: to Y:";
  start.folder = elsewhere_.path();
  start.script = drive.Path("unsplit.bat");
  ExpectStopped(Join(Cmd(), start),
                "ERROR: There is no room in this folder to append \"big.002\" (60000 bytes)");
  Repair(Trouble::kFullDisk, start);
  ExpectJoined(Join(Cmd(), start), kThreeParts, Cmd());
}

// cmd cannot cut part 1 back after an append that stopped halfway: the
// batch says so, refuses to go on from there (which would put that half in
// twice), and the shell script, which can cut it back, finishes the join.
TEST_F(CmdTroubles, AnAppendThatStopsHalfwayIsNeverAppendedTwice) {
  Split(WindowsSplitter(), kThreeParts);
  JoinStart start = Prepare(Trouble::kSizeLimit, Cmd());
  ExpectStopped(Join(Cmd(), start),
                "ERROR: The part \"big.002\" could not be appended to \"big.001\" completely.\r\n",
                "big.001", true);
  ASSERT_GT(fs::file_size(parts_ / "big.001"), 60000u);
  Repair(Trouble::kSizeLimit, start);
  TakeStock();
  ExpectStopped(Join(Cmd(), start), "ERROR: The part \"big.001\" has ");
  ExpectJoined(Join(Sh()), kThreeParts, Sh());
}

// wine as an ordinary user needs a prefix of its own: made once, on first use.
class UserWinePrefix : public ::testing::Environment {
 public:
  static const fs::path& Path() {
    if (path_.empty()) {
      path_ = fs::temp_directory_path() / ("zelbo-wine-user-" + std::to_string(::getpid()));
      // The server stays only for a prefix folder that exists before it starts;
      // otherwise every wine run after the boot would boot a session again.
      fs::create_directories(path_ / "prefix");
      GiveToOrdinaryUser(path_);
      Run({"sh", "-c", "wineserver -p </dev/null >/dev/null 2>&1; wine wineboot </dev/null >/dev/null 2>&1"});
    }
    return path_;
  }
  static std::vector<std::string> Environment() {
    return {"env", "HOME=" + path_.string(), "WINEPREFIX=" + (path_ / "prefix").string()};
  }
  void TearDown() override {
    if (path_.empty()) return;
    Run({"wineserver", "-k"});
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

 private:
  static void Run(std::vector<std::string> command) {
    std::vector<std::string> prefix = AsOrdinaryUser();
    const std::vector<std::string> environment = Environment();
    prefix.insert(prefix.end(), environment.begin(), environment.end());
    const std::string program = command.front();
    command.erase(command.begin());
    testing::RunOptions options;
    options.command_prefix = prefix;
    (void)testing::RunProgram(program, command, options);
  }
  static inline fs::path path_;
};

[[maybe_unused]] ::testing::Environment* const kUserWinePrefix =
    ::testing::AddGlobalTestEnvironment(new UserWinePrefix);

// Root ignores read-only files and sticky folders, and so does wine run by
// root: parts off a CD, and a part the batch cannot delete, meet an
// ordinary user.
TEST_F(CmdTroubles, ReadOnlyPartsAreJoinedAndAPartThatCannotBeDeletedStopsTheJoin) {
  Joiner cmd = Cmd();
  if (IsRoot()) {
    (void)UserWinePrefix::Path();
    cmd.prefix = UserWinePrefix::Environment();
    cmd.prefix.push_back("wine");
  }
  SplitTroubleAndJoin(WindowsSplitter(), cmd, {"read_only", Trouble::kReadOnly, ""});
  fs::remove_all(parts_.path());
  fs::create_directory(parts_.path());
  SplitTroubleAndJoin(WindowsSplitter(), cmd,
                      {"undeletable", Trouble::kUndeletable, "\"big.002\" was appended to \"big.001\" but could not"});
}

// Part 1 past 4 GiB (sparse): wine's cmd reads its size in 32 bits. Where
// fsutil finds FAT32, the batch refuses before it appends anything.
TEST_F(CmdTroubles, AFirstPartPastFourGiBIsJoined) {
  MakeLargeFirstPart();
  const auto refused = Join(CmdWithStandIns("10"));
  EXPECT_NE(refused.output.find("ERROR: The file system of this folder cannot hold a file of 5000000005 bytes."),
            std::string::npos) << refused.output;
  EXPECT_EQ(fs::file_size(parts_ / "big.001"), static_cast<std::uintmax_t>(kLargeFirst));
  const auto joined = Join(Cmd());
  EXPECT_EQ(joined.exit_code, 0) << joined.output;
  ExpectLargeFirstPartJoined("unsplit.sh");
}

}  // namespace
}  // namespace zelbo::e2e
