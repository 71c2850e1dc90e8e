#include <cstdint>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>

#include "console/path_helpers.h"
#include "tests/support/files.h"

namespace zelbo::console {
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
}

TEST(PathSplitting, WindowsPathsKeepTheClassicTable) {
  const SplitRow rows[] = {
      {"C:\\data\\iso\\big.iso", "C:", "\\data\\iso", "big", ".iso"},
      {"C:\\big.iso", "C:", "", "big", ".iso"},
      {"C:big.iso", "C:", "", "big", ".iso"},
      {"big.iso", "", "", "big", ".iso"},
      {"sub\\my.file.txt", "", "sub", "my.file", ".txt"},
      {"\\\\server\\share\\f.txt", "", "\\\\server\\share", "f", ".txt"},
      {"C:\\x.y\\readme", "C:", "\\x.y", "readme", ""},
      {"C:\\x\\.profile", "C:", "\\x", "", ".profile"},
      {"C:\\x\\file.", "C:", "\\x", "file", "."},
      {"archive.tar.gz", "", "", "archive.tar", ".gz"},
      {"README", "", "", "README", ""},
  };
  for (const SplitRow& row : rows) ExpectSplits(row, kWindowsPaths);
}

TEST(PathSplitting, ForwardSlashSeparatesOnWindowsToo) {
  ExpectSplits({"C:/data/big.iso", "C:", "/data", "big", ".iso"}, kWindowsPaths);
  ExpectSplits({"C:\\data/sub\\big.iso", "C:", "\\data/sub", "big", ".iso"}, kWindowsPaths);
}

TEST(PathSplitting, PosixPathsHaveNoDrivesAndOnlySlashes) {
  const SplitRow rows[] = {
      {"/data/iso/big.iso", "", "/data/iso", "big", ".iso"},
      {"/big.iso", "", "", "big", ".iso"},
      {"big.iso", "", "", "big", ".iso"},
      {"sub/my.file.txt", "", "sub", "my.file", ".txt"},
      {"C:big.iso", "", "", "C:big", ".iso"},
      {"dir\\name.txt", "", "", "dir\\name", ".txt"},
      {"/x.y/readme", "", "/x.y", "readme", ""},
      {"/x/.profile", "", "/x", "", ".profile"},
  };
  for (const SplitRow& row : rows) ExpectSplits(row, kPosixPaths);
}

TEST(PathMerging, FollowsTheClassicRules) {
  EXPECT_EQ(fnmerge("C:", "\\data", "big", ".bat", kWindowsPaths), "C:\\data\\big.bat");
  EXPECT_EQ(fnmerge("C:", "\\data\\", "big", "", kWindowsPaths), "C:\\data\\big");
  EXPECT_EQ(fnmerge("C:", "", "big", "", kWindowsPaths), "C:big");
  EXPECT_EQ(fnmerge("", "sub", "big", "", kWindowsPaths), "\\sub\\big");
  EXPECT_EQ(fnmerge("", "", "big", "iso", kWindowsPaths), "big.iso");
  EXPECT_EQ(fnmerge("", "", "", ".abc", kWindowsPaths), ".abc");
  EXPECT_EQ(fnmerge("C:", "\\data", "unsplit", ".sh", kWindowsPaths), "C:\\data\\unsplit.sh");
  EXPECT_EQ(fnmerge("C:", "\\data", "unsplit", "sh", kWindowsPaths), "C:\\data\\unsplit.sh");
  EXPECT_EQ(fnmerge("Cx:", "", "a", "", kWindowsPaths), "C:a");  // extra drive text ignored
  EXPECT_EQ(fnmerge("", "/data", "big", ".iso", kPosixPaths), "/data/big.iso");
  EXPECT_EQ(fnmerge("", "data", "big", ".iso", kPosixPaths), "/data/big.iso");
}

TEST(PathMerging, RoundTripsOnlyWhereTheClassicRulesDo) {
  for (const char* path : {"C:\\data\\big.iso", "\\\\server\\share\\f.txt", "big.iso"}) {
    const PathPieces p = fnsplit(path, kWindowsPaths);
    EXPECT_EQ(fnmerge(p.drive, p.directory, p.name, p.extension, kWindowsPaths), path);
  }
  const PathPieces root = fnsplit("C:\\big.iso", kWindowsPaths);
  EXPECT_EQ(fnmerge(root.drive, root.directory, root.name, "", kWindowsPaths), "C:big");
}

TEST(FolderPrefix, KeepsTheSourceFolderAsWritten) {
  // Unlike split + merge, a root folder and a relative folder stay put.
  EXPECT_EQ(FolderPrefix("C:\\big.iso", kWindowsPaths), "C:\\");
  EXPECT_EQ(FolderPrefix("sub\\big.iso", kWindowsPaths), "sub\\");
  EXPECT_EQ(FolderPrefix("..\\big.iso", kWindowsPaths), "..\\");
  EXPECT_EQ(FolderPrefix("C:big.iso", kWindowsPaths), "C:");
  EXPECT_EQ(FolderPrefix("C:/data/big.iso", kWindowsPaths), "C:/data/");
  EXPECT_EQ(FolderPrefix("big.iso", kWindowsPaths), "");
  EXPECT_EQ(FolderPrefix("/big.iso", kPosixPaths), "/");
  EXPECT_EQ(FolderPrefix("sub/big.iso", kPosixPaths), "sub/");
  EXPECT_EQ(FolderPrefix("../x/big.iso", kPosixPaths), "../x/");
  EXPECT_EQ(FolderPrefix("C:big.iso", kPosixPaths), "");
}

TEST(LongLongToStr, PrintsPlainDecimalDigits) {
  EXPECT_EQ(LongLongToStr(0), "0");
  EXPECT_EQ(LongLongToStr(1433600), "1433600");
  EXPECT_EQ(LongLongToStr(4928307200), "4928307200");
  EXPECT_EQ(LongLongToStr(-1), "-1");
  EXPECT_EQ(LongLongToStr(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(LongLongToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(GetTheFileSize, MeasuresFilesAndRefusesTheRest) {
  testing::TempDir dir;
  EXPECT_EQ(getthefilesize((dir / "missing").string()), -1);
  EXPECT_EQ(getthefilesize(dir.path().string()), -1);  // a directory

  testing::WriteFile(dir / "empty", "");
  EXPECT_EQ(getthefilesize((dir / "empty").string()), 0);

  testing::WriteFile(dir / "some", "12345");
  EXPECT_EQ(getthefilesize((dir / "some").string()), 5);
}

TEST(GetTheFileSize, MeasuresSparseFilesPastFourGigabytes) {
  testing::TempDir dir;
  const std::filesystem::path big = dir / "big.iso";
  testing::WriteFile(big, "");
  constexpr std::int64_t kSize = 4'500'000'000;
  std::filesystem::resize_file(big, kSize);
  EXPECT_EQ(getthefilesize(big.string()), kSize);
}

}  // namespace
}  // namespace zelbo::console
