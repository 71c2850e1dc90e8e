// The per-user registry on Windows: the keys below HKEY_CURRENT_USER. Names
// and texts travel as UTF-16 (the W functions), so that a folder name
// outside the ANSI code page is stored whole; texts are handed out as UTF-8.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {
namespace {

using win32::Narrow;
using win32::Widen;

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

HKEY Key(std::intptr_t handle) { return reinterpret_cast<HKEY>(handle); }

Error RegistryError(ErrorKind kind, const std::string& location, std::string call, LONG code) {
  return Error{kind, location, std::move(call), win32::ErrorText(static_cast<DWORD>(code))};
}

// "\Software\Maker\Product" names a key from the root of the hive; the
// registry functions take it without the leading backslash.
std::wstring SubKey(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  return Widen(path);
}

RegistryType TypeOf(DWORD type) {
  switch (type) {
    case REG_SZ: return RegistryType::kText;
    case REG_EXPAND_SZ: return RegistryType::kExpandedText;
    case REG_DWORD: return RegistryType::kNumber;
    default: return RegistryType::kOther;
  }
}

bool IsText(RegistryType type) {
  return type == RegistryType::kText || type == RegistryType::kExpandedText;
}

// A stored UTF-16 text as UTF-8, its terminating NUL (where stored) kept.
std::string TextOf(const std::vector<BYTE>& bytes) {
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  return Narrow(wide);
}

}  // namespace

Result<RegistryKey> RegistryKey::Open(std::string_view path, bool may_create) {
  const std::wstring sub_key = SubKey(path);
  const std::string location = std::string(kRoot) + "\\" + Narrow(sub_key);
  HKEY key = nullptr;
  const LONG status =
      may_create ? RegCreateKeyExW(HKEY_CURRENT_USER, sub_key.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                 : RegOpenKeyExW(HKEY_CURRENT_USER, sub_key.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (status != ERROR_SUCCESS) {
    return RegistryError(ErrorKind::kOpen, location,
                         may_create ? "RegCreateKeyExW" : "RegOpenKeyExW", status);
  }
  return RegistryKey(std::string(path), location, reinterpret_cast<std::intptr_t>(key));
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : path_(std::move(other.path_)), location_(std::move(other.location_)), handle_(other.handle_) {
  other.handle_ = 0;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    if (handle_ != 0) RegCloseKey(Key(handle_));
    path_ = std::move(other.path_);
    location_ = std::move(other.location_);
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

RegistryKey::~RegistryKey() {
  if (handle_ != 0) RegCloseKey(Key(handle_));
}

Result<std::optional<RegistryValue>> RegistryKey::Query(std::string_view name) const {
  const std::wstring value_name = Widen(name);
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG status = RegQueryValueExW(Key(handle_), value_name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<BYTE> bytes;
  // The value may grow between the two calls: ask again until it fits.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    bytes.resize(size);
    status = RegQueryValueExW(Key(handle_), value_name.c_str(), nullptr, &type, bytes.data(), &size);
    if (status == ERROR_SUCCESS) break;
  }
  if (status == ERROR_FILE_NOT_FOUND) return std::optional<RegistryValue>();
  if (status != ERROR_SUCCESS) {
    return RegistryError(ErrorKind::kRead, location_, "RegQueryValueExW", status);
  }
  bytes.resize(size);
  RegistryValue value;
  value.type = TypeOf(type);
  value.data = IsText(value.type) ? TextOf(bytes) : std::string(bytes.begin(), bytes.end());
  return std::optional<RegistryValue>(std::move(value));
}

Status RegistryKey::Set(std::string_view name, RegistryValue value) {
  DWORD type = REG_BINARY;
  std::vector<BYTE> bytes;
  if (IsText(value.type)) {
    type = value.type == RegistryType::kText ? REG_SZ : REG_EXPAND_SZ;
    const std::wstring wide = Widen(value.data);
    bytes.resize(wide.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), wide.data(), bytes.size());
  } else {
    if (value.type == RegistryType::kNumber) type = REG_DWORD;
    bytes.assign(value.data.begin(), value.data.end());
  }
  const LONG status = RegSetValueExW(Key(handle_), Widen(name).c_str(), 0, type, bytes.data(),
                                     static_cast<DWORD>(bytes.size()));
  if (status != ERROR_SUCCESS) {
    return RegistryError(ErrorKind::kWrite, location_, "RegSetValueExW", status);
  }
  return {};
}

Status RegistryKey::SetText(std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');  // stored with its terminating NUL
  return Set(name, RegistryValue{RegistryType::kText, std::move(data)});
}

Status RegistryKey::SetNumber(std::string_view name, std::int32_t number) {
  const auto bits = static_cast<std::uint32_t>(number);
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
  return Set(name, RegistryValue{RegistryType::kNumber, std::move(data)});
}

}  // namespace zelbo::platform
