// The file layer's contract, checked the same way on every platform.
#include "tests/unit/file_layer_test.h"

#include "platform/digest.h"

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

// The copy goes on from wherever both files stand, and stops short only
// at the end of the input.
TEST_F(FileLayer, CopiesRangesFromTheReadPositionToTheEndOfTheOutput) {
  const std::string bytes = testing::PatternBytes(3 * 1024 * 1024 + 1000);
  WriteFile(source_path_, bytes);
  InputFile source = OpenSource();
  ASSERT_TRUE(source.Seek(1000).ok());
  auto out = OutputFile::Create((dir_ / "tail").string(), &source.identity());
  ASSERT_TRUE(out.ok());
  ASSERT_TRUE(out.value().Write("head|").ok());
  std::vector<std::int64_t> moved;
  for (;;) {
    auto copied = CopyRange(source, out.value(), 1 << 20);
    ASSERT_TRUE(copied.ok()) << copied.error().Describe();
    moved.push_back(copied.value());
    if (copied.value() == 0) break;
  }
  ASSERT_TRUE(out.value().Close().ok());
  EXPECT_EQ(moved, (std::vector<std::int64_t>{1 << 20, 1 << 20, 1 << 20, 0}));
  EXPECT_EQ(ReadFile(dir_ / "tail"), "head|" + bytes.substr(1000));
}

// What a test injects at a system call is what the caller gets: the copy
// names the side that failed, a close that fails is an error.
TEST_F(FileLayer, InjectedFailuresReachTheCallerAsErrorsOfTheirSide) {
  InputFile source = OpenSource();
  auto out = OutputFile::Create((dir_ / "big.001").string(), &source.identity());
  ASSERT_TRUE(out.ok());
  {
    ScopedFaults faults({{SystemCall::kRead, "big.iso", FailureCode::kIo, 1, 1, 8}});
    EXPECT_EQ(CopyRange(source, out.value(), 100).value(), 8);  // the bytes before the bad spot
    const auto failed = CopyRange(source, out.value(), 100);
    EXPECT_EQ(failed.error().kind, ErrorKind::kRead);
    EXPECT_EQ(failed.error().path, source_path_.string());
  }
  {
    ScopedFaults faults({{SystemCall::kWrite, "big.001", FailureCode::kNoSpace}});
    EXPECT_EQ(CopyRange(source, out.value(), 100).error().kind, ErrorKind::kWrite);
  }
  ScopedFaults faults({{SystemCall::kClose, "big.001"}});
  const Status closed = out.value().Close();
  EXPECT_EQ(closed.error().kind, ErrorKind::kClose);
  EXPECT_EQ(faults.struck(0), 1);
  EXPECT_TRUE(out.value().Close().ok()) << "closed once, for good";
  EXPECT_EQ(ReadFile(dir_ / "big.001"), "precious");
}

TEST(Sha256, GivesTheKnownDigestsAndStartsAgainAfterEach) {
  Sha256 sha;
  EXPECT_EQ(sha.Finish(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const std::string abc = "abc";
  sha.Update(std::as_bytes(std::span(abc.data(), 1)));
  sha.Update(std::as_bytes(std::span(abc.data() + 1, 2)));
  EXPECT_EQ(sha.Finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
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
