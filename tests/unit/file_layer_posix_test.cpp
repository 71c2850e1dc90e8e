// What the file layer promises where POSIX links, devices and errno exist.
#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "console/path_helpers.h"
#include "tests/unit/file_layer_test.h"

namespace zelbo::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

TEST_F(FileLayer, RefusesSymlinksToTheSource) {
  fs::create_symlink(source_path_, dir_ / "soft.001");
  ExpectRefused(dir_ / "soft.001");
  fs::create_symlink("big.iso", dir_ / "relative.001");
  ExpectRefused(dir_ / "relative.001");
}

TEST_F(FileLayer, ReplacesSymlinksInsteadOfWritingThroughThem) {
  WriteFile(dir_ / "other", "someone else's file");
  fs::create_symlink(dir_ / "other", dir_ / "big.001");
  fs::create_symlink(dir_ / "nowhere", dir_ / "big.002");
  InputFile source = OpenSource();
  for (const char* name : {"big.001", "big.002"}) {
    CreateWith(dir_ / name, "new part", &source.identity());
    EXPECT_FALSE(fs::is_symlink(dir_ / name));
  }
  EXPECT_EQ(ReadFile(dir_ / "other"), "someone else's file");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(FileLayer, ReportsTheSystemsOwnWords) {
  auto missing = InputFile::Open((dir_ / "missing").string());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().Describe(),
            "open " + (dir_ / "missing").string() + ": No such file or directory");
}

TEST_F(FileLayer, AFullDeviceIsAWriteErrorNotASilentSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto full = OutputFile::Create("/dev/full", nullptr);
  ASSERT_TRUE(full.ok());
  const Status written = full.value().Write("bytes that cannot land");
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.error().kind, ErrorKind::kWrite);
  EXPECT_EQ(written.error().path, "/dev/full");
  EXPECT_EQ(written.error().os_text, "No space left on device");

  auto again = OutputFile::Create("/dev/full", nullptr);
  ASSERT_TRUE(again.ok());
  InputFile source = OpenSource();
  std::array<std::byte, 8> buffer;
  // Transferred bytes may be staged: the failure surfaces by the close.
  auto moved = TransferChunk(source, again.value(), buffer);
  const Status closed = moved.ok() ? again.value().Close() : Status(moved.error());
  ASSERT_FALSE(closed.ok());
  EXPECT_EQ(closed.error().kind, ErrorKind::kWrite);
  EXPECT_EQ(closed.error().os_text, "No space left on device");
}

TEST_F(FileLayer, AFileWithoutReadPermissionHasNoSize) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ::chmod(source_path_.c_str(), 0);
  EXPECT_FALSE(IsReadable(source_path_.string()));
  EXPECT_EQ(console::getthefilesize(source_path_.string()), -1);
}

}  // namespace
}  // namespace zelbo::platform
