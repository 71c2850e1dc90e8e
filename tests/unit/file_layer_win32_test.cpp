// What the file layer promises on Windows: the sharing lock on the source,
// the source recognised under other spellings of its name, UTF-8 names and
// paths past the classic 260 characters.
#include <windows.h>

#include <array>

#include "platform/wide_text_win32.h"
#include "tests/unit/file_layer_test.h"

namespace zelbo::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using win32::Widen;

// Whether another program could open `path` with `access`, sharing all.
bool OthersCanOpen(const fs::path& path, DWORD access) {
  const HANDLE handle = CreateFileW(path.c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

TEST_F(FileLayer, TheOpenSourceMayBeReadButNotWrittenByOthers) {
  {
    InputFile source = OpenSource();
    EXPECT_TRUE(OthersCanOpen(source_path_, GENERIC_READ));
    EXPECT_FALSE(OthersCanOpen(source_path_, GENERIC_WRITE));
  }
  EXPECT_TRUE(OthersCanOpen(source_path_, GENERIC_WRITE));
}

TEST_F(FileLayer, KnowsTheSourceUnderOtherSpellingsOfItsName) {
  ExpectRefused(dir_ / "BIG.ISO");
  ExpectRefused(fs::path(source_path_.generic_wstring()));  // '/' as separator
  ExpectRefused(dir_ / "sub" / ".." / "big.iso");
}

TEST_F(FileLayer, NeverWritesIntoAnOldFileThatIsInUse) {
  // Another program reads the old part and keeps it from being deleted.
  testing::WriteFile(dir_ / "big.001", "old");
  const HANDLE reader = CreateFileW((dir_ / "big.001").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  auto created = OutputFile::Create((dir_ / "big.001").string(), nullptr);
  CloseHandle(reader);
  ASSERT_FALSE(created.ok());
  EXPECT_EQ(created.error().kind, ErrorKind::kCreate);
  EXPECT_EQ(ReadFile(dir_ / "big.001"), "old");
}

TEST_F(FileLayer, ANewOutputTakesNoAttributesOfTheOldFile) {
  testing::WriteFile(dir_ / "big.001", "stale");
  SetFileAttributesW((dir_ / "big.001").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  CreateWith(dir_ / "big.001", "new part");
  const DWORD attributes = GetFileAttributesW((dir_ / "big.001").c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
}

TEST_F(FileLayer, TakesNamesAsUtf8) {
  const std::string name = "\xc3\x89t\xc3\xa9 \xce\xa9.bin";  // "Été Ω.bin"
  const std::string path = dir_.path().string() + "\\" + name;
  auto part = OutputFile::Create(path, nullptr);
  ASSERT_TRUE(part.ok()) << part.error().Describe();
  ASSERT_TRUE(part.value().Write("bytes").ok());
  ASSERT_TRUE(part.value().Close().ok());
  EXPECT_EQ(ReadFile(dir_.path() / Widen(name)), "bytes");
  auto input = InputFile::Open(path);
  ASSERT_TRUE(input.ok());
  EXPECT_EQ(input.value().Size().value(), 5);
}

TEST_F(FileLayer, HandlesPathsPastTheClassicLimit) {
  // Built with the \\?\ prefix: the test's own tools keep the old limit.
  std::wstring built = L"\\\\?\\" + dir_.path().wstring();
  std::string relative = ".";
  for (int level = 0; level < 5; ++level) {
    const std::string piece(70, static_cast<char>('a' + level));
    built += L"\\" + Widen(piece);
    relative += "\\" + piece;
    ASSERT_TRUE(CreateDirectoryW(built.c_str(), nullptr)) << GetLastError();
  }
  const std::string path = dir_.path().string() + relative.substr(1) + "\\big.001";
  ASSERT_GT(path.size(), 370u);
  auto part = OutputFile::Create(path, nullptr);
  ASSERT_TRUE(part.ok()) << part.error().Describe();
  ASSERT_TRUE(part.value().Write("long").ok());
  ASSERT_TRUE(part.value().Close().ok());
  auto input = InputFile::Open(path);
  ASSERT_TRUE(input.ok()) << input.error().Describe();
  EXPECT_EQ(input.value().Size().value(), 4);

  // Relative spellings are made absolute before the prefix goes on.
  const fs::path previous = fs::current_path();
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.path().c_str()));
  EXPECT_TRUE(IsReadable(relative + "\\big.001"));
  EXPECT_TRUE(IsReadable(relative.substr(2) + "/big.001"));
  SetCurrentDirectoryW(previous.c_str());
}

// A reserved name, with any extension, opens a device: no part goes there.
TEST_F(FileLayer, RefusesAnOutputNameThatOpensADevice) {
  for (const char* name : {"NUL", "nul.001"}) {
    auto created = OutputFile::Create((dir_ / name).string(), nullptr);
    ASSERT_FALSE(created.ok()) << name;
    EXPECT_EQ(created.error().kind, ErrorKind::kCreate) << created.error().Describe();
  }
}

TEST_F(FileLayer, ReportsTheSystemsOwnWords) {
  auto missing = InputFile::Open((dir_ / "missing").string());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().call, "CreateFileW");
  // The system's sentence, without the line end that FormatMessage adds.
  const std::string& text = missing.error().os_text;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("system error"), std::string::npos) << text;
}

}  // namespace
}  // namespace zelbo::platform
