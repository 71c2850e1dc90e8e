#include "platform/wide_text_win32.h"

#include <climits>

namespace zelbo::platform::win32 {
namespace {

// Below this length every API takes a plain path (directories are limited
// to 248 characters, files to 260 with the terminator).
constexpr std::size_t kPlainPathLimit = 248;

int Length(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

bool HasPrefix(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), wide.data(), size);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), Length(utf16.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), Length(utf16.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

std::wstring NativePath(std::string_view utf8) {
  std::wstring path = Widen(utf8);
  if (path.size() < kPlainPathLimit || HasPrefix(path, L"\\\\?\\") ||
      HasPrefix(path, L"\\\\.\\")) {
    return path;
  }
  // GetFullPathNameW also turns '/' into '\', which \\?\ paths require.
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  if (HasPrefix(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "system error " + std::to_string(code);
  return Narrow(text);
}

}  // namespace zelbo::platform::win32
