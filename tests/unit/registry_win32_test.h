// A registry key of a test's own below HKEY_CURRENT_USER, and wine's own
// reg.exe to write values into it the way a user might.
#pragma once

#include <windows.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {

using win32::Widen;

// Runs reg.exe with `arguments` and returns its exit code.
inline DWORD RunReg(const std::wstring& arguments) {
  std::wstring command = L"reg.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError() | 0x80000000u;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// A key of its own below the maker's key, removed afterwards.
class Registry : public ::testing::Test {
 protected:
  Registry() : path_("\\Software\\OVallen\\ZelboTest" + std::to_string(std::random_device()())) {}
  ~Registry() override { RegDeleteTreeW(HKEY_CURRENT_USER, Widen(path_.substr(1)).c_str()); }

  RegistryKey OpenKey() {
    auto key = RegistryKey::Open(path_, true);
    EXPECT_TRUE(key.ok()) << key.error().Describe();
    return std::move(key.value());
  }

  // reg.exe add of one value in this key, e.g. (L"PartType", L"REG_SZ", L"7").
  void RegAdd(const std::wstring& name, const std::wstring& type, const std::wstring& data) {
    const std::wstring key = L"HKCU" + Widen(path_);
    ASSERT_EQ(RunReg(L"add \"" + key + L"\" /v " + name + L" /t " + type + L" /d \"" + data +
                     L"\" /f"),
              0u);
  }

  RegistryValue Value(const RegistryKey& key, std::string_view name) {
    auto value = key.Query(name);
    EXPECT_TRUE(value.ok());
    EXPECT_TRUE(value.value().has_value()) << name;
    return value.value().value_or(RegistryValue{});
  }

  std::string path_;
};

}  // namespace zelbo::platform
