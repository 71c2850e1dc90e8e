// The file layer's contract, checked the same way on every platform.
#include "tests/unit/file_layer_test.h"

#include <array>
#include <vector>

namespace zelbo::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

TEST_F(FileLayer, NeverCreatesAnOutputOverTheSource) {
  ExpectRefused(source_path_);
  ExpectRefused(dir_ / "." / "big.iso");
  fs::create_hard_link(source_path_, dir_ / "hard.001");
  ExpectRefused(dir_ / "hard.001");
  // The protection holds after the source is closed, as for the scripts.
  FileIdentity closed;
  { closed = OpenSource().identity(); }
  auto created = OutputFile::Create((dir_ / "hard.001").string(), &closed);
  ASSERT_FALSE(created.ok());
  EXPECT_EQ(created.error().kind, ErrorKind::kSameAsSource);
  EXPECT_EQ(ReadFile(source_path_), "precious source bytes");
}

TEST_F(FileLayer, ReplacesOldOutputsSoTheirOtherNamesKeepTheirBytes) {
  WriteFile(dir_ / "big.001", "an old and much longer part");
  fs::create_hard_link(dir_ / "big.001", dir_ / "big.002");
  InputFile source = OpenSource();
  CreateWith(dir_ / "big.001", "new", &source.identity());
  EXPECT_EQ(ReadFile(dir_ / "big.002"), "an old and much longer part");
}

TEST_F(FileLayer, ReportsFailuresByKindAndPath) {
  const std::string missing_path = (dir_ / "missing").string();
  auto missing = InputFile::Open(missing_path);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::kOpen);
  EXPECT_EQ(missing.error().path, missing_path);
  EXPECT_FALSE(missing.error().os_text.empty());

  auto directory = InputFile::Open(dir_.path().string());
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.error().kind, ErrorKind::kOpen);

  auto nowhere = OutputFile::Create((dir_ / "no" / "such.001").string(), nullptr);
  ASSERT_FALSE(nowhere.ok());
  EXPECT_EQ(nowhere.error().kind, ErrorKind::kCreate);

  fs::create_directory(dir_ / "folder.001");
  auto folder = OutputFile::Create((dir_ / "folder.001").string(), nullptr);
  ASSERT_FALSE(folder.ok());
  EXPECT_EQ(folder.error().kind, ErrorKind::kCreate);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.001"));

  EXPECT_TRUE(IsReadable(source_path_.string()));
  EXPECT_FALSE(IsReadable(missing_path));
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

TEST_F(FileLayer, MeasuresSparseFilesPastFourGigabytes) {
  constexpr std::int64_t kSize = 4'500'000'000;
  fs::resize_file(source_path_, kSize);
  InputFile source = OpenSource();
  EXPECT_EQ(source.Size().value(), kSize);
  ASSERT_TRUE(source.Seek(kSize - 1).ok());
  std::array<std::byte, 4> buffer;
  EXPECT_EQ(source.Read(buffer).value(), 1u);
}

}  // namespace
}  // namespace zelbo::platform
