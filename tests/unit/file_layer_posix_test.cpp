// What the file layer promises where POSIX links, devices and errno exist.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <vector>

#include "console/path_helpers.h"
#include "tests/support/ordinary_user.h"
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

TEST_F(FileLayer, NamesThatAreNoRegularFilesAreRefusedUnopened) {
  // Opening a FIFO would wait for a reader; a device would take the bytes.
  ASSERT_EQ(::mkfifo((dir_ / "fifo.001").c_str(), 0644), 0);
  std::vector<fs::path> names = {dir_ / "fifo.001"};
  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod((dir_ / "null.001").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    names.push_back(dir_ / "null.001");
  }
  for (const fs::path& name : names) {
    auto created = OutputFile::Create(name.string(), nullptr);
    ASSERT_FALSE(created.ok()) << name;
    EXPECT_EQ(created.error().kind, ErrorKind::kCreate);
    EXPECT_FALSE(fs::is_regular_file(name));
  }
  auto source = InputFile::Open((dir_ / "fifo.001").string());
  ASSERT_FALSE(source.ok());
  EXPECT_EQ(source.error().kind, ErrorKind::kOpen);
}

TEST_F(FileLayer, OutputsTakeTheGivenPermissions) {
  const mode_t umask = ::umask(022);
  auto part = OutputFile::Create((dir_ / "private.001").string(), nullptr, 0640);
  ::umask(umask);
  ASSERT_TRUE(part.ok());
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "private.001").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ::chmod(source_path_.c_str(), 0600);
  EXPECT_EQ(OpenSource().permissions(), 0600u);
}

TEST_F(FileLayer, AWriteBeyondTheFileSizeLimitFailsByTheCloseAtTheLatest) {
  const std::string bytes = testing::PatternBytes(200000);
  WriteFile(source_path_, bytes);
  InputFile source = OpenSource();
  auto out = OutputFile::Create((dir_ / "limited").string(), nullptr);
  ASSERT_TRUE(out.ok());
  rlimit original{};
  ::getrlimit(RLIMIT_FSIZE, &original);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = original;
  limit.rlim_cur = 100000;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::array<std::byte, 32768> buffer;
  Status status;
  for (;;) {
    auto moved = TransferChunk(source, out.value(), buffer);
    if (!moved.ok()) status = moved.error();
    if (!moved.ok() || moved.value() == 0) break;
  }
  if (status.ok()) status = out.value().Close();
  ::setrlimit(RLIMIT_FSIZE, &original);
  std::signal(SIGXFSZ, previous);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind, ErrorKind::kWrite);
  EXPECT_EQ(status.error().path, (dir_ / "limited").string());
  EXPECT_EQ(status.error().os_text, "File too large");
}

TEST_F(FileLayer, AFileWithoutReadPermissionHasNoSize) {
  if (testing::RanAsOrdinaryUser()) return;
  ::chmod(source_path_.c_str(), 0);
  EXPECT_FALSE(IsReadable(source_path_.string()));
  EXPECT_EQ(console::getthefilesize(RealFileSystem(), source_path_.string()), -1);
}

}  // namespace
}  // namespace zelbo::platform
