// The registry below HKEY_CURRENT_USER as the settings store sees it: keys
// created with their parents, values with their types, and values of the
// wrong type written by wine's own reg.exe, the way a user might.
#include "tests/unit/registry_win32_test.h"

namespace zelbo::platform {
namespace {

TEST_F(Registry, CreatesTheKeyWithItsParentsOnlyWhenAllowed) {
  const std::string nested = path_ + "\\Deeper\\Key";
  auto missing = RegistryKey::Open(nested, false);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().kind, ErrorKind::kOpen);
  EXPECT_EQ(missing.error().path, "HKEY_CURRENT_USER" + nested);

  ASSERT_TRUE(RegistryKey::Open(nested, true).ok());
  auto existing = RegistryKey::Open(nested, false);
  ASSERT_TRUE(existing.ok());
  EXPECT_EQ(existing.value().location(), "HKEY_CURRENT_USER" + nested);
  auto nothing = existing.value().Query("Parts");
  ASSERT_TRUE(nothing.ok());
  EXPECT_FALSE(nothing.value().has_value());
}

TEST_F(Registry, StoresTextsAndNumbersWithTheirTypes) {
  {
    RegistryKey key = OpenKey();
    ASSERT_TRUE(key.SetText("Parts", "12").ok());
    ASSERT_TRUE(key.SetNumber("PartType", -1).ok());
    ASSERT_TRUE(key.SetText("SourcePath", "C:\\\xc3\x89t\xc3\xa9 \xce\xa9\\").ok());  // Été Ω
    ASSERT_TRUE(key.SetText("DestPath", "").ok());
  }
  RegistryKey key = OpenKey();  // read back through a new open: nothing cached
  EXPECT_EQ(Value(key, "Parts").type, RegistryType::kText);
  EXPECT_EQ(Value(key, "Parts").data, std::string("12\0", 3));
  EXPECT_EQ(Value(key, "parts").data, std::string("12\0", 3));  // names ignore case
  EXPECT_EQ(Value(key, "PartType").type, RegistryType::kNumber);
  EXPECT_EQ(Value(key, "PartType").data, "\xff\xff\xff\xff");
  EXPECT_EQ(Value(key, "SourcePath").data, std::string("C:\\\xc3\x89t\xc3\xa9 \xce\xa9\\\0", 13));
  EXPECT_EQ(Value(key, "DestPath").data, std::string(1, '\0'));

  // A write replaces a value of any type.
  ASSERT_TRUE(key.SetNumber("Parts", 7).ok());
  EXPECT_EQ(Value(key, "Parts").type, RegistryType::kNumber);
  EXPECT_EQ(Value(key, "Parts").data, std::string("\x07\0\0\0", 4));
  ASSERT_TRUE(key.SetText("PartType", "text").ok());
  EXPECT_EQ(Value(key, "PartType").type, RegistryType::kText);
}

// What a settings reader needs to tell "Invalid data type" (a value of
// another type that fits four bytes) from "Failed to get data" (one that
// does not): the type, and the size as the 8-bit text has it.
TEST_F(Registry, ReportsTheTypeAndSizeOfValuesWrittenByReg) {
  RegAdd(L"PartType", L"REG_SZ", L"7");
  RegAdd(L"Parts", L"REG_DWORD", L"12");
  RegAdd(L"SourcePath", L"REG_EXPAND_SZ", L"%TEMP%\\src");
  RegAdd(L"ShortNames", L"REG_BINARY", L"0102030405");
  RegAdd(L"DestPath", L"REG_QWORD", L"5");
  RegistryKey key = OpenKey();

  EXPECT_EQ(Value(key, "PartType").type, RegistryType::kText);
  EXPECT_EQ(Value(key, "PartType").data, std::string("7\0", 2));
  EXPECT_EQ(Value(key, "Parts").type, RegistryType::kNumber);
  EXPECT_EQ(Value(key, "Parts").data, std::string("\x0c\0\0\0", 4));
  EXPECT_EQ(Value(key, "SourcePath").type, RegistryType::kExpandedText);
  EXPECT_EQ(Value(key, "SourcePath").data, std::string("%TEMP%\\src\0", 11));  // not expanded
  EXPECT_EQ(Value(key, "ShortNames").type, RegistryType::kOther);
  EXPECT_EQ(Value(key, "ShortNames").data, "\x01\x02\x03\x04\x05");
  EXPECT_EQ(Value(key, "DestPath").type, RegistryType::kOther);
  EXPECT_EQ(Value(key, "DestPath").data.size(), 8u);
}

}  // namespace
}  // namespace zelbo::platform
