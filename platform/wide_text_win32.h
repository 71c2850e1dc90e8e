// Text and path helpers shared by the Win32 sources of the platform layer.
// Inside the programs all text is UTF-8; Windows is spoken to in UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zelbo::platform::win32 {

// UTF-8 to UTF-16 and back. Invalid sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// `path` as CreateFileW and its kin take it. A path too long for the
// classic 260-character limit is made absolute and given the \\?\ prefix
// (\\?\UNC\ for a share), which lifts the limit; shorter paths stay as
// typed, so that relative and drive-relative paths keep their meaning.
std::wstring NativePath(std::string_view utf8);

// The system's text for an error code, without the trailing line end.
std::string ErrorText(DWORD code);

}  // namespace zelbo::platform::win32
