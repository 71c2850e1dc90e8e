#include "gui/settings_store.h"

#include "platform/toolkit.h"

namespace zelbo::gui {
namespace {

using platform::RegistryType;
using platform::RegistryValue;

[[noreturn]] void Fail(std::string_view message, std::string_view name,
                       std::string detail = {}) {
  throw toolkit::Exception(std::string(message) + " '" + std::string(name) + "'",
                           std::move(detail));
}

// Where the value could not be stored, and why.
void Stored(const Status& status, std::string_view name) {
  if (!status.ok()) {
    Fail("Failed to set data for", name, status.error().path + ": " + status.error().os_text);
  }
}

}  // namespace

bool SettingsStore::OpenSettingsKey(std::string_view path, bool may_create) {
  key_.reset();
  auto key = platform::RegistryKey::Open(path, may_create);
  if (!key.ok()) return false;
  key_.emplace(std::move(key.value()));
  return true;
}

std::optional<RegistryValue> SettingsStore::Lookup(std::string_view name) const {
  if (!key_) return std::nullopt;
  auto value = key_->Query(name);
  if (!value.ok()) return std::nullopt;
  return std::move(value.value());
}

bool SettingsStore::SettingExists(std::string_view name) const {
  return Lookup(name).has_value();
}

std::string SettingsStore::ReadSettingText(std::string_view name) const {
  const auto value = Lookup(name);
  if (!value || value->data.empty()) return {};
  if (value->type != RegistryType::kText && value->type != RegistryType::kExpandedText) {
    Fail("Invalid data type for", name);
  }
  return value->data.substr(0, value->data.find('\0'));
}

std::int32_t SettingsStore::ReadSettingNumber(std::string_view name) const {
  const auto value = Lookup(name);
  if (!value || value->data.size() > 4) Fail("Failed to get data for", name);
  if (value->type != RegistryType::kNumber) Fail("Invalid data type for", name);
  std::uint32_t bits = 0;
  for (std::size_t i = value->data.size(); i-- > 0;) {
    bits = bits << 8 | static_cast<unsigned char>(value->data[i]);
  }
  return static_cast<std::int32_t>(bits);
}

void SettingsStore::WriteSettingText(std::string_view name, std::string_view text) {
  if (!key_) Fail("Failed to set data for", name);
  Stored(key_->SetText(name, text), name);
}

void SettingsStore::WriteSettingNumber(std::string_view name, std::int32_t number) {
  if (!key_) Fail("Failed to set data for", name);
  Stored(key_->SetNumber(name, number), name);
}

void SettingsStore::CloseSettingsKey() { key_.reset(); }

}  // namespace zelbo::gui
