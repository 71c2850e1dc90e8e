// Path pieces, numbers, and how the console shows names and measures files.
#include <cstdint>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "common/numbers.h"
#include "common/paths.h"
#include "console/path_helpers.h"
#include "tests/support/files.h"

namespace zelbo {
namespace {

using platform::kPosixPaths;
using platform::kWindowsPaths;

struct SplitRow {
  const char* path;
  const char* drive;
  const char* directory;
  const char* name;
  const char* extension;
};

void ExpectSplits(const SplitRow& row, const platform::PathStyle& style) {
  const PathPieces pieces = fnsplit(row.path, style);
  EXPECT_EQ(pieces.drive, row.drive) << row.path;
  EXPECT_EQ(pieces.directory, row.directory) << row.path;
  EXPECT_EQ(pieces.name, row.name) << row.path;
  EXPECT_EQ(pieces.extension, row.extension) << row.path;
  // The folder is the path up to the name, exactly as written.
  EXPECT_EQ(pieces.Folder() + pieces.FileName(), row.path);
}

TEST(PathSplitting, WindowsPaths) {
  const SplitRow rows[] = {
      {"C:\\data\\iso\\big.iso", "C:", "\\data\\iso\\", "big", ".iso"},
      {"C:\\big.iso", "C:", "\\", "big", ".iso"},
      {"C:big.iso", "C:", "", "big", ".iso"},
      {"big.iso", "", "", "big", ".iso"},
      {"sub\\my.file.txt", "", "sub\\", "my.file", ".txt"},
      {"..\\big.iso", "", "..\\", "big", ".iso"},
      {"\\\\server\\share\\f.txt", "", "\\\\server\\share\\", "f", ".txt"},
      {"C:\\x.y\\readme", "C:", "\\x.y\\", "readme", ""},
      {"C:\\x\\.profile", "C:", "\\x\\", "", ".profile"},
      {"C:\\x\\file.", "C:", "\\x\\", "file", "."},
      {"archive.tar.gz", "", "", "archive.tar", ".gz"},
      {"C:/data/sub\\big.iso", "C:", "/data/sub\\", "big", ".iso"},  // '/' separates too
      {"\\:x.bin", "", "\\", ":x", ".bin"},  // only a letter makes a drive
      {"1:x.bin", "", "", "1:x", ".bin"},
  };
  for (const SplitRow& row : rows) ExpectSplits(row, kWindowsPaths);
}

TEST(PathSplitting, PosixPathsHaveNoDrivesAndOnlySlashes) {
  const SplitRow rows[] = {
      {"/data/iso/big.iso", "", "/data/iso/", "big", ".iso"},
      {"/big.iso", "", "/", "big", ".iso"},
      {"sub/my.file.txt", "", "sub/", "my.file", ".txt"},
      {"C:big.iso", "", "", "C:big", ".iso"},
      {"dir\\name.txt", "", "", "dir\\name", ".txt"},
      {"/x/.profile", "", "/x/", "", ".profile"},
  };
  for (const SplitRow& row : rows) ExpectSplits(row, kPosixPaths);
}

TEST(PathMerging, AddsSeparatorsAndDotsWhereMissing) {
  EXPECT_EQ(fnmerge("C:", "\\data", "big", ".bat", kWindowsPaths), "C:\\data\\big.bat");
  EXPECT_EQ(fnmerge("C:", "\\data\\", "big", "", kWindowsPaths), "C:\\data\\big");
  EXPECT_EQ(fnmerge("C:", "", "big", "", kWindowsPaths), "C:big");
  EXPECT_EQ(fnmerge("", "sub", "big", "", kWindowsPaths), "\\sub\\big");
  EXPECT_EQ(fnmerge("", "", "big", "iso", kWindowsPaths), "big.iso");
  EXPECT_EQ(fnmerge("", "", "", ".abc", kWindowsPaths), ".abc");
  EXPECT_EQ(fnmerge("Cx:", "", "a", "", kWindowsPaths), "C:a");  // extra drive text ignored
  EXPECT_EQ(fnmerge("", "data", "big", ".iso", kPosixPaths), "/data/big.iso");
}

TEST(Numbers, ReadLikeTheCLibraryWithoutWrapping) {
  struct Row {
    const char* text;
    std::int64_t value;
    bool overflow;
  };
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  const Row rows[] = {
      {"", 0, false},       {"abc", 0, false},   {"  \t42x", 42, false},
      {"-7", -7, false},    {"007", 7, false},   {"+-3", 0, false},
      {"-9223372036854775808", kMin, false},     {"9223372036854775807", kMax, false},
      {"9223372036854775808", kMax, true},       {"-9223372036854775809", kMin, true},
  };
  for (const Row& row : rows) {
    const LeadingNumber number = ReadLeadingNumber(row.text);
    EXPECT_EQ(number.value, row.value) << row.text;
    EXPECT_EQ(number.overflow, row.overflow) << row.text;
  }
}

TEST(Numbers, DecimalTextWithAndWithoutGroups) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(4928307200), "4928307200");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(DecimalText(999, ','), "999");
  EXPECT_EQ(DecimalText(-1000, ','), "-1,000");
  EXPECT_EQ(DecimalText(3333334, ','), "3,333,334");
  EXPECT_EQ(CeilDiv(10, 3), 4);
  EXPECT_EQ(CeilDiv(9, 3), 3);
  EXPECT_EQ(CeilDiv(0, 3), 0);
}

TEST(ShownName, EscapesControlCharactersOnly) {
  EXPECT_EQ(console::ShownName("C:\\data\\Été 100%.iso"), "C:\\data\\Été 100%.iso");
  EXPECT_EQ(console::ShownName("a\x1b]2;owned\x07.bin"), "a\\x1b]2;owned\\x07.bin");
  EXPECT_EQ(console::ShownName("tab\there\x7f"), "tab\\x09here\\x7f");
  EXPECT_EQ(console::ShownName("c1\xc2\x9b" "31m"), "c1\\xc2\\x9b31m");
}

TEST(GetTheFileSize, MeasuresFilesAndRefusesTheRest) {
  testing::TempDir dir;
  EXPECT_EQ(console::getthefilesize((dir / "missing").string()), -1);
  EXPECT_EQ(console::getthefilesize(dir.path().string()), -1);  // a directory
  testing::WriteFile(dir / "empty", "");
  EXPECT_EQ(console::getthefilesize((dir / "empty").string()), 0);
  const std::filesystem::path big = dir / "big.iso";
  testing::WriteFile(big, "");
  std::filesystem::resize_file(big, 4'500'000'000);
  EXPECT_EQ(console::getthefilesize(big.string()), 4'500'000'000);
}

}  // namespace
}  // namespace zelbo
