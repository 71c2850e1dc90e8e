// The scripts meet interpreters nobody here wrote: wine's cmd runs the
// batch that either build wrote, /bin/sh the shell script of the Windows
// build. Each join must give back the source byte for byte.
#include "tests/e2e/rejoin.h"
#include "tests/wine/wine_run.h"

namespace zelbo::e2e {
namespace {

Splitter WindowsSplitter() { return {"windows", kWindowsProgram, {"wine"}}; }
Joiner Cmd() { return {"cmd", "cmd", {"wine"}, {"/c"}, "unsplit.bat", "unsplit.sh"}; }
Joiner Sh() { return {"sh", "/bin/sh", {}, {}, "unsplit.sh", "unsplit.bat"}; }

struct Route {
  Splitter splitter;
  Joiner joiner;
};

void PrintTo(const Route& route, std::ostream* out) {
  *out << route.splitter.label << "_" << route.joiner.label;
}

const RejoinCase kFloppy{"floppy", "big.iso", 3000000, "-sf"};
const RejoinCase kAccented{"accented", "Café.bin", 5000, "-sk1"};
const RejoinCase kAsciiCases[] = {
    kFloppy,
    {"blank_in_name", "Big File.iso", 100000, "-sk30"},
    {"percent", "100%.bin", 5000, "-sk1"},
    {"one_part", "one.bin", 10, "-s10"},
    {"parts_1001", "many.bin", 1000 * 7 + 1, "-s7"},
};

// The Linux build writes its batch in UTF-8, which cmd would read in the
// OEM code page: the accented name travels only in the Windows build's batch.
std::vector<std::tuple<Route, RejoinCase>> Journeys() {
  std::vector<std::tuple<Route, RejoinCase>> journeys;
  for (const Route& route : {Route{WindowsSplitter(), Cmd()}, Route{WindowsSplitter(), Sh()},
                             Route{LinuxSplitter(), Cmd()}}) {
    for (const RejoinCase& rejoin : kAsciiCases) journeys.emplace_back(route, rejoin);
    if (route.splitter.label == "windows") journeys.emplace_back(route, kAccented);
  }
  return journeys;
}

class CrossRejoin : public RejoinFixture,
                    public ::testing::TestWithParam<std::tuple<Route, RejoinCase>> {};

TEST_P(CrossRejoin, RestoresTheSourceByteForByte) {
  const auto& [route, rejoin] = GetParam();
  const auto joined = SplitAndJoin(route.splitter, route.joiner, rejoin, false);
  EXPECT_EQ(joined.exit_code, 0) << joined.output;
  EXPECT_NE(joined.output.find("Finished!"), std::string::npos) << joined.output;
  ExpectRestored(rejoin, route.joiner);
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

}  // namespace
}  // namespace zelbo::e2e
