// The per-user registry: named keys holding typed values (text or 32-bit
// integer). One source per platform: registry_posix.cpp keeps each key in
// a file of its own below ${XDG_CONFIG_HOME:-~/.config}; the Windows source
// maps it onto HKEY_CURRENT_USER.
//
// Contracts:
// - Nothing is cached: every query reads the stored key again, and every
//   write replaces the stored key atomically, merged with what another
//   process may have written meanwhile.
// - A stored key that cannot be read or understood is a key that cannot be
//   opened; it is never overwritten.
// - Value names compare without regard to ASCII letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace zelbo::platform {

enum class RegistryType {
  kText,          // REG_SZ
  kExpandedText,  // REG_EXPAND_SZ, handed out without expansion
  kNumber,        // REG_DWORD, four bytes, little-endian
  kOther,         // binary or any other type
};

struct RegistryValue {
  RegistryType type = RegistryType::kOther;
  std::string data;  // the stored bytes; a text includes its terminating NUL
};

class RegistryKey {
 public:
  // Opens `path` ("\Software\Maker\Product") below the current user's root;
  // with `may_create` the key and its missing parents are created first.
  static Result<RegistryKey> Open(std::string_view path, bool may_create);

  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();  // closes the key

  // The value of that name; empty when there is none.
  Result<std::optional<RegistryValue>> Query(std::string_view name) const;

  // Store a value, replacing any value of that name whatever its type.
  Status SetText(std::string_view name, std::string_view text);
  Status SetNumber(std::string_view name, std::int32_t number);

  const std::string& location() const { return location_; }

 private:
  RegistryKey(std::string path, std::string location, std::intptr_t handle)
      : path_(std::move(path)), location_(std::move(location)), handle_(handle) {}
  Status Set(std::string_view name, RegistryValue value);

  std::string path_;          // the key path as given
  std::string location_;      // where the platform keeps it
  [[maybe_unused]] std::intptr_t handle_ = 0;  // the platform's open key, where it has one
};

}  // namespace zelbo::platform
