// The Windows conventions: splitting the command line as the C runtime
// does, the batch file's code page, and the programs' version records.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/command_line_win32.h"
#include "platform/system.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {
namespace {

using win32::SplitCommandLine;

struct Split {
  std::vector<std::wstring> texts;
  std::vector<bool> quoted;
};

Split SplitOf(std::wstring_view line) {
  Split split;
  for (const auto& word : SplitCommandLine(line)) {
    split.texts.push_back(word.text);
    split.quoted.push_back(word.quoted);
  }
  return split;
}

TEST(CommandLine, SplitsAsTheCRuntimeDoes) {
  using Words = std::vector<std::wstring>;
  // The program name ends at its closing quote; its backslashes are plain.
  EXPECT_EQ(SplitOf(L"\"C:\\Program Files\\CZELBO32.exe\" big.iso -sf").texts,
            (Words{L"big.iso", L"-sf"}));
  EXPECT_EQ(SplitOf(L"CZELBO32\\ big.iso").texts, (Words{L"big.iso"}));
  EXPECT_EQ(SplitOf(L"CZELBO32").texts, Words{});
  EXPECT_EQ(SplitOf(L"x  \t a\tb  ").texts, (Words{L"a", L"b"}));
  // Quotes group blanks and may stand inside a word.
  EXPECT_EQ(SplitOf(L"x \"Big File.iso\" a\" b\"c").texts, (Words{L"Big File.iso", L"a bc"}));
  EXPECT_EQ(SplitOf(L"x \"\"").texts, Words{L""});
  // Backslashes count only before a quote.
  EXPECT_EQ(SplitOf(L"x C:\\data\\ \\\\server\\share\\f").texts,
            (Words{L"C:\\data\\", L"\\\\server\\share\\f"}));
  EXPECT_EQ(SplitOf(L"x a\\\\\"b c\" d").texts, (Words{L"a\\b c", L"d"}));
  EXPECT_EQ(SplitOf(L"x a\\\"b c").texts, (Words{L"a\"b", L"c"}));
  EXPECT_EQ(SplitOf(L"x \"C:\\my data\\\\\" next").texts, (Words{L"C:\\my data\\", L"next"}));
  // Inside quotes "" is one literal quote.
  EXPECT_EQ(SplitOf(L"x \"a\"\"b\" c").texts, (Words{L"a\"b", L"c"}));
  // An unclosed quote runs to the end.
  EXPECT_EQ(SplitOf(L"x \"a b").texts, Words{L"a b"});
}

TEST(CommandLine, MarksQuotedWordsSoTheirWildcardsStay) {
  EXPECT_EQ(SplitOf(L"x *.iso \"*.iso\" a\"*\" \\\"*").quoted,
            (std::vector<bool>{false, true, true, true}));
}

TEST(BatchFile, IsWrittenInTheOemCodePage) {
  const std::string ascii = "COPY /B \"big.001\" + \"big.002\" \"big.001\"\r\n";
  EXPECT_EQ(BatchFileBytes(ascii), ascii);
  if (GetOEMCP() != 437 && GetOEMCP() != 850) GTEST_SKIP() << "OEM code page " << GetOEMCP();
  // "é" is 0x82 in both Western OEM code pages.
  EXPECT_EQ(BatchFileBytes("REN \"part.001\" \"Caf\xc3\xa9.bin\"\r\n"),
            "REN \"part.001\" \"Caf\x82.bin\"\r\n");
  // A name the code page cannot hold is not turned into another name.
  const std::string greek = "REN \"part.001\" \"\xce\xa9\xce\xbc.bin\"\r\n";
  EXPECT_EQ(BatchFileBytes(greek), greek);
  const std::string polish = "REN \"part.001\" \"\xc5\x82\xc3\xb3\x64\xc5\xba.bin\"\r\n";  // łódź
  EXPECT_EQ(BatchFileBytes(polish), polish);
}

TEST(BatchFile, CanHoldWhatTheOemCodePageHolds) {
  EXPECT_TRUE(BatchCanHold("Big File 100%.iso"));
  if (GetOEMCP() != 437 && GetOEMCP() != 850) GTEST_SKIP() << "OEM code page " << GetOEMCP();
  EXPECT_TRUE(BatchCanHold("Caf\xc3\xa9.bin"));
  EXPECT_FALSE(BatchCanHold("\xce\xa9\xce\xbc.bin"));        // Greek
  EXPECT_FALSE(BatchCanHold("prix\xe2\x82\xac.txt"));          // euro sign
  EXPECT_FALSE(BatchCanHold("smile\xf0\x9f\x98\x80.bin"));    // emoji
}

TEST(Paths, UsesWindowsConventions) {
  EXPECT_EQ(NativePathStyle().preferred, '\\');
  EXPECT_TRUE(NativePathStyle().IsSeparator('/'));
  EXPECT_TRUE(SlashIntroducesOptions());
  EXPECT_EQ(win32::NativePath("C:\\data\\big.iso"), L"C:\\data\\big.iso");
  const std::string long_name(300, 'x');
  EXPECT_EQ(win32::NativePath("C:/data/" + long_name), L"\\\\?\\C:\\data\\" + std::wstring(300, L'x'));
  EXPECT_EQ(win32::NativePath("\\\\server\\share\\" + long_name),
            L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'x'));
}

std::wstring VersionString(const std::wstring& file, const std::wstring& name) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return L"(no version record)";
  std::vector<char> record(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, record.data())) return L"(unreadable)";
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring query = L"\\StringFileInfo\\040904E4\\" + name;
  if (!VerQueryValueW(record.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return L"(missing)";
  }
  return std::wstring(value, length > 0 ? length - 1 : 0);
}

// A program built beside this test.
std::wstring BesideThisTest(const std::wstring& name) {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  return self.substr(0, self.find_last_of(L'\\') + 1) + name;
}

TEST(VersionRecord, NamesTheConsoleProgram) {
  const std::wstring program = BesideThisTest(L"CZELBO32.exe");
  EXPECT_EQ(VersionString(program, L"OriginalFilename"), L"CZELBO32.EXE");
  EXPECT_EQ(VersionString(program, L"InternalName"), L"CZELBO32.exe");
  EXPECT_EQ(VersionString(program, L"ProductName"), L"Zelbo");
  EXPECT_EQ(VersionString(program, L"FileVersion"), win32::Widen(ZELBO_VERSION));
}

}  // namespace
}  // namespace zelbo::platform
