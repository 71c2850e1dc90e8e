// The written unsplit.sh, run by real shells in the parts' folder, gives
// back the source byte for byte.
#include <unistd.h>

#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {
namespace {

using testing::PatternBytes;

struct Shell {
  std::string label;
  std::string program;
  std::vector<std::string> leading_arguments;
};

std::string BusyboxPath() {
  for (const char* path : {"/bin/busybox", "/usr/bin/busybox"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "";
}

std::vector<Shell> Shells() {
  return {{"dash", "/bin/sh", {}}, {"busybox", BusyboxPath(), {"sh"}}};
}

struct RejoinCase {
  std::string label;
  std::string source_name;
  std::size_t size;
  std::string option;
};

void PrintTo(const Shell& shell, std::ostream* out) { *out << shell.label; }
void PrintTo(const RejoinCase& rejoin, std::ostream* out) { *out << rejoin.label; }

class RejoinFixture {
 protected:
  void SplitAndRejoin(const Shell& shell, const RejoinCase& rejoin, bool destination_exists) {
    ASSERT_FALSE(shell.program.empty()) << "busybox is missing: run scripts/setup.sh";
    const std::string bytes = PatternBytes(rejoin.size, 7);
    testing::WriteFile(parts_ / rejoin.source_name, bytes);
    testing::RunOptions in_parts;
    in_parts.working_directory = parts_.path();
    // "./" keeps a name that starts with '-' from reading as an option.
    ASSERT_EQ(testing::RunProgram(kProgram, {"./" + rejoin.source_name, rejoin.option}, in_parts)
                  .exit_code,
              0);

    const fs::path original = elsewhere_ / "original";
    fs::rename(parts_ / rejoin.source_name, original);
    if (destination_exists) testing::WriteFile(parts_ / rejoin.source_name, "in the way");

    std::vector<std::string> arguments = shell.leading_arguments;
    arguments.push_back("unsplit.sh");
    const auto joined = testing::RunProgram(shell.program, arguments, in_parts);
    EXPECT_EQ(joined.exit_code, 0) << joined.output;
    EXPECT_TRUE(joined.output.ends_with("Finished!\n"));
    const auto compared =
        testing::RunProgram("/usr/bin/cmp", {(parts_ / rejoin.source_name).string(), original.string()});
    EXPECT_EQ(compared.exit_code, 0) << compared.output;
    // Only the restored file and the batch for the other system remain.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(parts_.path())) {
      left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {rejoin.source_name, "unsplit.bat"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
  }

  testing::TempDir parts_;
  testing::TempDir elsewhere_;
};

class Rejoin : public RejoinFixture,
               public ::testing::TestWithParam<std::tuple<Shell, RejoinCase>> {};

TEST_P(Rejoin, RestoresTheSourceByteForByte) {
  SplitAndRejoin(std::get<0>(GetParam()), std::get<1>(GetParam()), false);
}

class RejoinOverExisting : public RejoinFixture, public ::testing::TestWithParam<Shell> {};

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
