// The windowed program's remembered choices: one per-user registry key,
// opened, used and closed within one command. Reading a value of the wrong
// type and failing to store one are errors of the toolkit's Exception
// class, which the toolkit shows in its standard error box; a failed store
// names where the key is kept and the system's reason as its detail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace zelbo::gui {

inline constexpr std::string_view kSettingsKeyPath = "\\Software\\OVallen\\Zelbo";

// The stored values.
inline constexpr std::string_view kSourcePathValue = "SourcePath";
inline constexpr std::string_view kDestPathValue = "DestPath";
inline constexpr std::string_view kPartsValue = "Parts";
inline constexpr std::string_view kPartTypeValue = "PartType";
inline constexpr std::string_view kShortNamesValue = "ShortNames";

class SettingsStore {
 public:
  // Opens the key (creating it and its parents when `may_create`); false,
  // without a message, when it can be neither opened nor created.
  bool OpenSettingsKey(std::string_view path, bool may_create);
  // True when the open key holds a value of that name, of any type.
  bool SettingExists(std::string_view name) const;
  // The text up to its first NUL; "Invalid data type for '<name>'" for a
  // value that is not text. A value of no bytes reads as the empty text.
  std::string ReadSettingText(std::string_view name) const;
  // "Failed to get data for '<name>'" when the value does not fit four
  // bytes, "Invalid data type for '<name>'" when it fits but is no number.
  std::int32_t ReadSettingNumber(std::string_view name) const;
  // Replace the value whatever its type; "Failed to set data for '<name>'".
  void WriteSettingText(std::string_view name, std::string_view text);
  void WriteSettingNumber(std::string_view name, std::int32_t number);
  void CloseSettingsKey();

 private:
  std::optional<platform::RegistryValue> Lookup(std::string_view name) const;

  std::optional<platform::RegistryKey> key_;
};

}  // namespace zelbo::gui
