// The written unsplit.sh, run by real shells in the parts' folder, gives
// back the source byte for byte.
#include <unistd.h>

#include "tests/e2e/rejoin.h"

namespace zelbo::e2e {
namespace {

std::string BusyboxPath() {
  for (const char* path : {"/bin/busybox", "/usr/bin/busybox"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

std::vector<Joiner> Shells() {
  return {{"dash", "/bin/sh", {}, {}, "unsplit.sh", "unsplit.bat"},
          {"busybox", BusyboxPath(), {}, {"sh"}, "unsplit.sh", "unsplit.bat"}};
}

class ShellRejoin : public RejoinFixture {
 protected:
  void SplitAndRejoin(const Joiner& shell, const RejoinCase& rejoin, bool destination_exists) {
    ASSERT_FALSE(shell.program.empty()) << "busybox is missing: run scripts/setup.sh";
    const auto joined = SplitAndJoin(LinuxSplitter(), shell, rejoin, destination_exists);
    EXPECT_EQ(joined.exit_code, 0) << joined.output;
    EXPECT_TRUE(joined.output.ends_with("Finished!\n"));
    ExpectRestored(rejoin, shell);
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
    {"one_part", "one.bin", 10, "-s10"},
    {"parts_1001", "many.bin", 1000 * 7 + 1, "-s7"},
};

INSTANTIATE_TEST_SUITE_P(
    Shells, Rejoin, ::testing::Combine(::testing::ValuesIn(Shells()), ::testing::ValuesIn(kCases)),
    [](const auto& info) {
      return std::get<0>(info.param).label + "_" + std::get<1>(info.param).label;
    });

INSTANTIATE_TEST_SUITE_P(Shells, RejoinOverExisting, ::testing::ValuesIn(Shells()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
}  // namespace zelbo::e2e
