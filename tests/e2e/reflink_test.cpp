// On other file systems than the test folder's: on XFS with reflink (in a
// loop file made for the test) the parts share the source's blocks, on
// tmpfs they are copied; the same bytes and the same screen as on the test
// folder's own file system either way. Needs root to mount.
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/e2e/console_e2e_test.h"

namespace zelbo::e2e {
namespace {

using testing::PatternBytes;
using testing::ReadFile;

// True when every extent of the file is shared with another file.
bool SharesAllItsBlocks(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  constexpr unsigned kExtents = 64;
  std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_length = ~0ULL;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  const bool mapped = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
  ::close(fd);
  if (!mapped || map->fm_mapped_extents == 0) return false;
  for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
    if ((map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED) == 0) return false;
  }
  return true;
}

class Reflink : public ConsoleRun {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a loop file system needs root";
    image_ = dir_ / "xfs.img";
    mount_ = dir_ / "mnt";
    fs::create_directory(mount_);
    const std::string make = "truncate -s 512M '" + image_.string() + "' && mkfs.xfs -q -m reflink=1 '" +
                             image_.string() + "' && mount -o loop '" + image_.string() + "' '" +
                             mount_.string() + "'";
    if (std::system((make + " 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "no XFS with reflink here (xfsprogs, loop devices)";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(mount_.c_str(), MNT_DETACH);
  }

  // Splits `bytes` in the folder `in` with `option`; returns what it printed.
  std::string SplitIn(const fs::path& in, const std::string& bytes, const std::string& option) {
    testing::WriteFile(in / "big.iso", bytes);
    testing::RunOptions options;
    options.working_directory = in;
    const auto run = testing::RunProgram(kProgram, {"big.iso", option}, options);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    return run.output;
  }

  fs::path image_, mount_;
  bool mounted_ = false;
};

TEST_F(Reflink, PartsShareTheSourcesBlocksAndShowTheSameProgress) {
  // 5 MiB parts and a remainder that ends inside a block.
  const std::string bytes = PatternBytes(23 * 1024 * 1024 + 777);
  const std::string copied = SplitIn(dir_.path(), bytes, "-sm5");
  const std::string cloned = SplitIn(mount_, bytes, "-sm5");
  EXPECT_EQ(cloned, copied) << "the same marks, byte for byte";
  for (int i = 1; i <= 5; ++i) {
    const fs::path part = mount_ / ("big.00" + std::to_string(i));
    EXPECT_EQ(ReadFile(part), bytes.substr((i - 1) * (5 << 20), 5 << 20)) << part;
    EXPECT_TRUE(SharesAllItsBlocks(part)) << part;
  }
}

TEST_F(Reflink, PartsNotAlignedToBlocksAreCopied) {
  const std::string bytes = PatternBytes(3 * 1000000 + 5);
  const std::string copied = SplitIn(dir_.path(), bytes, "-s1000000");
  EXPECT_EQ(SplitIn(mount_, bytes, "-s1000000"), copied);
  for (int i = 1; i <= 4; ++i) {
    const fs::path part = mount_ / ("big.00" + std::to_string(i));
    EXPECT_EQ(ReadFile(part), bytes.substr((i - 1) * 1000000, 1000000)) << part;
  }
  EXPECT_FALSE(SharesAllItsBlocks(mount_ / "big.002")) << "it starts inside a block";
}

TEST_F(Reflink, ATmpfsGivesTheSameScreenAndParts) {
  const fs::path memory = dir_ / "memory";
  fs::create_directory(memory);
  ASSERT_EQ(::mount("zelbo-test", memory.c_str(), "tmpfs", 0, "size=64m"), 0);
  const std::string bytes = PatternBytes(7 * 1000000 + 3);
  const std::string copied = SplitIn(dir_.path(), bytes, "-s1000000");
  const std::string inMemory = SplitIn(memory, bytes, "-s1000000");
  std::string parts;
  for (int i = 1; i <= 8; ++i) parts += ReadFile(memory / ("big.00" + std::to_string(i)));
  ::umount2(memory.c_str(), MNT_DETACH);
  EXPECT_EQ(inMemory, copied);
  EXPECT_EQ(parts, bytes);
}

}  // namespace
}  // namespace zelbo::e2e
