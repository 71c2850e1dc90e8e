// The windowed program's settings store on the Windows registry: the exact
// errors for values of the wrong type, which a user can put there with
// reg.exe, and writes that replace them.
#include "gui/settings_store.h"
#include "platform/toolkit.h"
#include "tests/unit/registry_win32_test.h"

namespace zelbo::gui {
namespace {

using platform::Registry;

class SettingsOnRegistry : public Registry {
 protected:
  // The message of the error that `read` raises, or "(none)".
  template <typename Read>
  std::string ErrorOf(Read read) {
    SettingsStore store;
    if (!store.OpenSettingsKey(path_, true)) return "(key not opened)";
    try {
      read(store);
    } catch (const toolkit::Exception& error) {
      return error.what();
    }
    return "(none)";
  }
};

TEST_F(SettingsOnRegistry, ValuesOfTheWrongTypeGiveTheExactErrors) {
  RegAdd(L"PartType", L"REG_SZ", L"7");        // fits four bytes: wrong type
  RegAdd(L"Parts", L"REG_DWORD", L"12");
  RegAdd(L"ShortNames", L"REG_BINARY", L"59657300");
  RegAdd(L"DestPath", L"REG_SZ", L"12345");    // six bytes: no number at all
  RegAdd(L"SourcePath", L"REG_QWORD", L"1");
  const auto number = [](std::string_view name) {
    return [name](SettingsStore& store) { store.ReadSettingNumber(name); };
  };
  const auto text = [](std::string_view name) {
    return [name](SettingsStore& store) { store.ReadSettingText(name); };
  };
  EXPECT_EQ(ErrorOf(number(kPartTypeValue)), "Invalid data type for 'PartType'");
  EXPECT_EQ(ErrorOf(text(kPartsValue)), "Invalid data type for 'Parts'");
  EXPECT_EQ(ErrorOf(text(kShortNamesValue)), "Invalid data type for 'ShortNames'");
  EXPECT_EQ(ErrorOf(number(kDestPathValue)), "Failed to get data for 'DestPath'");
  EXPECT_EQ(ErrorOf(number(kSourcePathValue)), "Failed to get data for 'SourcePath'");
  EXPECT_EQ(ErrorOf(text(kSourcePathValue)), "Invalid data type for 'SourcePath'");
}

TEST_F(SettingsOnRegistry, ReadsTextsAndNumbersAndReplacesWrongTypes) {
  RegAdd(L"SourcePath", L"REG_EXPAND_SZ", L"%TEMP%\\src");
  RegAdd(L"PartType", L"REG_SZ", L"7");
  SettingsStore store;
  ASSERT_TRUE(store.OpenSettingsKey(path_, true));
  EXPECT_TRUE(store.SettingExists("sourcepath"));
  EXPECT_FALSE(store.SettingExists(kDestPathValue));
  EXPECT_EQ(store.ReadSettingText(kSourcePathValue), "%TEMP%\\src");  // not expanded
  store.WriteSettingNumber(kPartTypeValue, -1);
  store.WriteSettingText(kShortNamesValue, "Yes");
  store.CloseSettingsKey();

  ASSERT_TRUE(store.OpenSettingsKey(path_, true));
  EXPECT_EQ(store.ReadSettingNumber(kPartTypeValue), -1);
  EXPECT_EQ(store.ReadSettingText(kShortNamesValue), "Yes");
  store.CloseSettingsKey();
}

}  // namespace
}  // namespace zelbo::gui
