// Running the Windows build of the console program through wine, from a
// Linux test. The environment (WINEPREFIX, a UTF-8 locale) comes from ctest.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/e2e/console_scenarios.h"

namespace zelbo::e2e {

inline const std::string kWindowsProgram = WINDOWS_CZELBO32_PATH;

// A Linux path as a Windows program sees it under wine, which maps the
// drive Z: to the root: /tmp/x/big.iso is Z:\tmp\x\big.iso.
inline std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// The Linux folder behind the Windows drive C: of the wine prefix.
inline fs::path DriveC() {
  const char* prefix = std::getenv("WINEPREFIX");
  return fs::path(prefix != nullptr ? prefix : "") / "drive_c";
}

// A temporary folder in which CZELBO32.exe runs under wine.
class WindowsRun : public ConsoleScenarios {
 protected:
  WindowsRun() {
    program_ = kWindowsProgram;
    prefix_ = {"wine"};
  }

  // The Windows path of a file in the test's folder.
  std::string Win(const std::string& name) const { return WindowsPath(dir_ / name); }
  std::string Arg(const std::string& name) const override { return Win(name); }
};

}  // namespace zelbo::e2e
