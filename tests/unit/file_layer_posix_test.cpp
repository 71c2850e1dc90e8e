// What the file layer promises where POSIX links, devices and errno exist.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <functional>
#include <vector>

#include "common/split_engine.h"
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

TEST_F(FileLayer, ACopyBeyondTheFileSizeLimitFailsOnItsOutput) {
  WriteFile(source_path_, testing::PatternBytes(200000));
  InputFile source = OpenSource();
  auto out = OutputFile::Create((dir_ / "limited").string(), nullptr);
  ASSERT_TRUE(out.ok());
  rlimit original{};
  ::getrlimit(RLIMIT_FSIZE, &original);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = original;
  limit.rlim_cur = 100000;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  Result<std::int64_t> copied = std::int64_t{0};
  do {
    copied = CopyRange(source, out.value(), 32768);
  } while (copied.ok() && copied.value() > 0);
  ::setrlimit(RLIMIT_FSIZE, &original);
  std::signal(SIGXFSZ, previous);
  ASSERT_FALSE(copied.ok());
  EXPECT_EQ(copied.error().kind, ErrorKind::kTooLarge) << "no other medium would help";
  EXPECT_EQ(copied.error().path, (dir_ / "limited").string());
  EXPECT_EQ(copied.error().os_text, "File too large");
}

TEST_F(FileLayer, ScriptsTakeTheSourcesPermissionsTheShellScriptExecutable) {
  const RunNames names = ConsoleRunNames(source_path_.string());
  const SourceFacts facts{{9, 9}, 0640};
  const mode_t umask = ::umask(022);
  CopyOutcome copied;
  copied.partSizes = {5};
  const ScriptInput input = ScriptInputFor(names, ScriptVariant::kConsole, copied);
  ASSERT_TRUE(WriteDosBatch(names, input, facts, false).ok());
  ASSERT_TRUE(WriteShellScript(names, input, facts, false).ok());
  ::umask(umask);
  struct stat info {};
  ASSERT_EQ(::stat(names.BatchPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ASSERT_EQ(::stat(names.ShellPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u) << "executable where readable";
}

// A real medium (a tmpfs) that goes between parts leaves its bare mount
// point on the disk below: no part may land there. A new medium mounted in
// its place is taken as it is.
TEST_F(FileLayer, ABareMountPointIsNoPlaceForParts) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  const fs::path out = dir_ / "out";
  fs::create_directories(out);
  fs::create_directories(dir_ / "other");
  const auto mount = [&] { return ::mount("zelbo-test", out.c_str(), "tmpfs", 0, "size=1m") == 0; };
  if (!mount()) GTEST_SKIP() << "no tmpfs here";
  constexpr std::int64_t kPart = 40000;
  WriteFile(source_path_, testing::PatternBytes(3 * kPart));
  struct Medium final : CopyObserver {
    std::function<void(std::int64_t)> on_progress;
    std::vector<FolderProblem> lost;
    Proceed BytesCopied(std::int64_t done) override {
      on_progress(done);
      return Proceed::kGo;
    }
    std::string FolderLost(const FolderLoss& loss) override {
      lost.push_back(loss.problem);
      return loss.folder + "../other/";
    }
  } medium;
  std::vector<std::string> onTheNewMedium;
  medium.on_progress = [&](std::int64_t done) {
    if (done == kPart) {  // part 1 goes with the medium, another one comes
      ::umount2(out.c_str(), MNT_DETACH);
      if (!mount()) ADD_FAILURE() << "no second medium";
    }
    if (done == 2 * kPart) {  // that one goes, and none comes
      onTheNewMedium = testing::SortedNames(out);
      ::umount2(out.c_str(), MNT_DETACH);
    }
  };
  InputFile source = OpenSource();
  const RunNames names = WindowedRunNames(source_path_.string(), (out / "movie.bat").string(), false);
  PartCopier copier(source, names, kPart, medium);
  const CopyOutcome copied = copier.Copy(3);
  EXPECT_EQ(copied.end, CopyEnd::kFinished);
  EXPECT_EQ(medium.lost, std::vector<FolderProblem>{FolderProblem::kGone});
  EXPECT_EQ(onTheNewMedium, std::vector<std::string>{"movie.002"});
  EXPECT_TRUE(testing::SortedNames(out).empty()) << "nothing below the mount point";
  EXPECT_EQ(testing::SortedNames(dir_ / "other"), std::vector<std::string>{"movie.003"});
}

TEST_F(FileLayer, AFileWithoutReadPermissionHasNoSize) {
  if (testing::RanAsOrdinaryUser()) return;
  ::chmod(source_path_.c_str(), 0);
  EXPECT_FALSE(IsReadable(source_path_.string()));
  EXPECT_EQ(console::getthefilesize(source_path_.string()), -1);
}

}  // namespace
}  // namespace zelbo::platform
