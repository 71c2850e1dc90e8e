#include <unistd.h>

#include <array>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/run_program.h"

namespace zelbo::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(source_path_, "precious source bytes"); }

  InputFile OpenSource() {
    auto source = InputFile::Open(source_path_.string());
    EXPECT_TRUE(source.ok());
    return std::move(source.value());
  }

  void ExpectRefused(const fs::path& output) {
    InputFile source = OpenSource();
    auto created = OutputFile::Create(output.string(), &source.identity());
    ASSERT_FALSE(created.ok()) << output;
    EXPECT_EQ(created.error().kind, ErrorKind::kSameAsSource);
    EXPECT_EQ(ReadFile(source_path_), "precious source bytes");
  }

  testing::TempDir dir_;
  fs::path source_path_ = dir_ / "big.iso";
};

TEST_F(FileLayer, NeverCreatesAnOutputOverTheSource) {
  ExpectRefused(source_path_);
  fs::create_hard_link(source_path_, dir_ / "hard.001");
  ExpectRefused(dir_ / "hard.001");
  fs::create_symlink(source_path_, dir_ / "soft.001");
  ExpectRefused(dir_ / "soft.001");
  fs::create_symlink("big.iso", dir_ / "relative.001");
  ExpectRefused(dir_ / "relative.001");
  ExpectRefused(dir_ / "." / "big.iso");
}

TEST_F(FileLayer, ReplacesSymlinksInsteadOfWritingThroughThem) {
  WriteFile(dir_ / "other", "someone else's file");
  fs::create_symlink(dir_ / "other", dir_ / "big.001");
  fs::create_symlink(dir_ / "nowhere", dir_ / "big.002");
  InputFile source = OpenSource();
  for (const char* name : {"big.001", "big.002"}) {
    auto part = OutputFile::Create((dir_ / name).string(), &source.identity());
    ASSERT_TRUE(part.ok()) << part.error().Describe();
    ASSERT_TRUE(part.value().Write("new part").ok());
    ASSERT_TRUE(part.value().Close().ok());
    EXPECT_FALSE(fs::is_symlink(dir_ / name));
    EXPECT_EQ(ReadFile(dir_ / name), "new part");
  }
  EXPECT_EQ(ReadFile(dir_ / "other"), "someone else's file");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(FileLayer, EmptiesAnExistingOutput) {
  WriteFile(dir_ / "big.001", "an old and much longer part");
  auto part = OutputFile::Create((dir_ / "big.001").string(), nullptr);
  ASSERT_TRUE(part.ok());
  ASSERT_TRUE(part.value().Write("new").ok());
  ASSERT_TRUE(part.value().Close().ok());
  EXPECT_EQ(ReadFile(dir_ / "big.001"), "new");
}

TEST_F(FileLayer, ReportsFailuresWithCallPathAndReason) {
  auto missing = InputFile::Open((dir_ / "missing").string());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::kOpen);
  EXPECT_EQ(missing.error().Describe(), "open " + (dir_ / "missing").string() +
                                            ": No such file or directory");

  auto directory = InputFile::Open(dir_.path().string());
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.error().kind, ErrorKind::kOpen);

  auto nowhere = OutputFile::Create((dir_ / "no" / "such.001").string(), nullptr);
  ASSERT_FALSE(nowhere.ok());
  EXPECT_EQ(nowhere.error().kind, ErrorKind::kCreate);
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

TEST_F(FileLayer, StagedBytesKeepTheirOrderWithDirectWrites) {
  const std::string bytes = testing::PatternBytes(200000);
  WriteFile(source_path_, bytes);
  InputFile source = OpenSource();
  auto out = OutputFile::Create((dir_ / "mixed").string(), &source.identity());
  ASSERT_TRUE(out.ok());
  std::array<std::byte, 32768> buffer;
  ASSERT_EQ(TransferChunk(source, out.value(), buffer).value(), 32768u);
  ASSERT_TRUE(out.value().Write("|between|").ok());
  while (TransferChunk(source, out.value(), buffer).value() != 0) {
  }
  ASSERT_TRUE(out.value().Close().ok());
  EXPECT_EQ(ReadFile(dir_ / "mixed"), bytes.substr(0, 32768) + "|between|" + bytes.substr(32768));
}

TEST_F(FileLayer, TransfersInUnitsUntilTheEnd) {
  const std::string bytes = testing::PatternBytes(100000);
  WriteFile(source_path_, bytes);
  InputFile source = OpenSource();
  ASSERT_EQ(source.Size().value(), 100000);
  auto out = OutputFile::Create((dir_ / "copy").string(), &source.identity());
  ASSERT_TRUE(out.ok());
  std::array<std::byte, 32768> buffer;
  std::vector<std::size_t> units;
  for (;;) {
    auto moved = TransferChunk(source, out.value(), buffer);
    ASSERT_TRUE(moved.ok()) << moved.error().Describe();
    units.push_back(moved.value());
    if (moved.value() == 0) break;
  }
  ASSERT_TRUE(out.value().Close().ok());
  EXPECT_EQ(units, (std::vector<std::size_t>{32768, 32768, 32768, 1696, 0}));
  EXPECT_EQ(ReadFile(dir_ / "copy"), bytes);
}

TEST_F(FileLayer, UnitsThatStartInsideAPageAreMovedWhole) {
  // Parts whose size is no multiple of the page size make every later unit
  // straddle pages; each must still arrive whole, in one call.
  const std::string bytes = testing::PatternBytes(5 * 1024 * 1024);
  WriteFile(source_path_, bytes);
  InputFile source = OpenSource();
  ASSERT_TRUE(source.Seek(1000).ok());
  auto out = OutputFile::Create((dir_ / "tail").string(), &source.identity());
  ASSERT_TRUE(out.ok());
  std::array<std::byte, 32768> buffer;
  std::size_t total = 0;
  for (;;) {
    auto moved = TransferChunk(source, out.value(), buffer);
    ASSERT_TRUE(moved.ok()) << moved.error().Describe();
    if (moved.value() == 0) break;
    total += moved.value();
    if (total < bytes.size() - 1000) {
      ASSERT_EQ(moved.value(), buffer.size());
    }
  }
  ASSERT_TRUE(out.value().Close().ok());
  EXPECT_EQ(ReadFile(dir_ / "tail"), bytes.substr(1000));
}

TEST_F(FileLayer, SeeksBackForARepeatedRead) {
  WriteFile(source_path_, "0123456789");
  InputFile source = OpenSource();
  std::array<std::byte, 4> buffer;
  ASSERT_EQ(source.Read(buffer).value(), 4u);
  ASSERT_TRUE(source.Seek(2).ok());
  ASSERT_EQ(source.Read(buffer).value(), 4u);
  EXPECT_EQ(static_cast<char>(buffer[0]), '2');
  ASSERT_TRUE(source.Seek(10).ok());
  EXPECT_EQ(source.Read(buffer).value(), 0u);
}

}  // namespace
}  // namespace zelbo::platform
