// Platform conventions on Windows.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "platform/command_line_win32.h"
#include "platform/system.h"
#include "platform/wide_text_win32.h"

namespace zelbo::platform {
namespace {

using win32::Narrow;
using win32::Widen;

bool HasWildcard(std::wstring_view text) { return text.find_first_of(L"*?") != std::wstring_view::npos; }

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
  const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                         static_cast<int>(b.size()), TRUE);
  return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
}

// The names `pattern` matches, each after the pattern's folder as typed;
// the pattern itself when nothing matches.
std::vector<std::wstring> Expand(const std::wstring& pattern) {
  const std::size_t folder_end = pattern.find_last_of(L"\\/:");
  const std::wstring folder =
      folder_end == std::wstring::npos ? std::wstring() : pattern.substr(0, folder_end + 1);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring_view name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(folder + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  if (names.empty()) return {pattern};
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

template <typename Write>
void WriteWhole(HANDLE out, const auto* data, std::size_t size, Write write) {
  while (size > 0) {
    const DWORD wanted = size > 65536 ? 65536 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!write(out, data, wanted, &written) || written == 0) return;
    data += written;
    size -= written;
  }
}

}  // namespace

void PrepareProcess() {}

const PathStyle& NativePathStyle() { return kWindowsPaths; }

bool SlashIntroducesOptions() { return true; }

void WriteStdout(std::string_view text) {
  // Unbuffered on purpose: the progress mark must be seen as it turns. A
  // closed or full standard output is not a reason to stop a split.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = Widen(text);
    WriteWhole(out, wide.data(), wide.size(), [](HANDLE h, const wchar_t* d, DWORD n, DWORD* w) {
      return WriteConsoleW(h, d, n, w, nullptr);
    });
  } else {
    WriteWhole(out, text.data(), text.size(), [](HANDLE h, const char* d, DWORD n, DWORD* w) {
      return WriteFile(h, d, n, w, nullptr);
    });
  }
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> arguments;
  for (const win32::CommandLineWord& word : win32::SplitCommandLine(GetCommandLineW())) {
    if (word.quoted || !HasWildcard(word.text)) {
      arguments.push_back(Narrow(word.text));
      continue;
    }
    for (const std::wstring& name : Expand(word.text)) arguments.push_back(Narrow(name));
  }
  return arguments;
}

namespace {

// `text` (UTF-8) in the OEM code page, or nothing when that page lacks one
// of its characters. No "best fit": a name must not turn into another name,
// so the result is checked by converting it back.
std::optional<std::string> InOemCodePage(std::string_view text) {
  const UINT code_page = GetOEMCP();
  if (text.empty() || code_page == CP_UTF8) return std::string(text);
  const std::wstring wide = Widen(text);
  if (wide.empty()) return std::nullopt;
  const int wide_size = static_cast<int>(wide.size());
  BOOL lossy = FALSE;
  const int oem_size = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_size,
                                           nullptr, 0, nullptr, &lossy);
  if (oem_size == 0 || lossy) return std::nullopt;
  std::string oem(static_cast<std::size_t>(oem_size), '\0');
  WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_size, oem.data(),
                      oem_size, nullptr, nullptr);
  std::wstring back(wide.size(), L'\0');
  const int back_size = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, oem.data(), oem_size,
                                            back.data(), wide_size);
  if (back_size != wide_size || back != wide) return std::nullopt;
  return oem;
}

}  // namespace

std::string BatchFileBytes(std::string text) {
  std::optional<std::string> oem = InOemCodePage(text);
  if (oem) return std::move(*oem);
  return text;
}

bool BatchCanHold(std::string_view text) { return InOemCodePage(text).has_value(); }

bool ReservesDeviceNames() { return true; }

}  // namespace zelbo::platform
