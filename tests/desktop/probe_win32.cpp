// The eyes of the Linux tests on Zelbo32.exe under wine: a console program
// in the same wine session that answers one request per input line with
// one line about the program's windows and stored settings. It reads the
// windows, never acts on them (input comes from the X server, as a user's
// does), except for pasting text a keyboard cannot type.
//
// Fields are separated by tabs; text is escaped (\\, \t, \n).
//   state NAME [passive] -> ok TEXT ENABLED VISIBLE CHECKED INDEX POSITION L T R B
//   client               -> ok L T R B          the main window's client area
//   focus                -> ok NAME
//   kinds TITLE          -> ok KIND...          form, box, dialog or other
// A TITLE of * stands for any title.
//   box TITLE            -> ok TEXT BUTTON L T R B ...
//   dialog TITLE         -> ok FILENAME L T R B FILTER...
//   paste TITLE TEXT     -> ok                  into the dialog's file name
//   tooltip              -> ok TEXT
//   pointer              -> ok HANDLE           the shape shown now, as a number
//   settings clear | get NAME | set NAME text|number VALUE
//   dpi N                -> ok                  for programs started after it
//   font POINTS          -> ok                  the desktop's (message box) font, at 96 dpi, for
//                                               programs started after it; 0: as it was
// "passive" reads only what the system keeps of a window, so that it works
// while the program is stopped. Anything not found answers "missing".
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/wide_text_win32.h"
#include "tests/desktop/probe_words.h"

namespace {

using zelbo::platform::win32::Narrow;
using zelbo::testing::probe::Escape;
using zelbo::testing::probe::Fields;
using zelbo::platform::win32::Widen;

constexpr wchar_t kFormClass[] = L"ZelboForm";
constexpr char kSettingsKey[] = "\\Software\\OVallen\\Zelbo";
constexpr UINT kAnswerTimeout = 2000;  // ms for a sent message
// Controls of the common dialogs and boxes.
constexpr int kBoxText = 0xFFFF;
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
constexpr int kFileTypeCombo = 0x470;


std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

// The text as the window's own code answers it, else as the system keeps it.
std::string TextOf(HWND hwnd, bool passive) {
  DWORD_PTR length = 0;
  if (!passive && SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                      kAnswerTimeout, &length)) {
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kAnswerTimeout, &copied)) {
      text.resize(copied);
      return Narrow(text);
    }
  }
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

LRESULT Ask(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kAnswerTimeout, &result);
  return static_cast<LRESULT>(result);
}

std::string NameOf(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, L"ZelboName")));
  wchar_t name[256] = {};
  if (atom == 0 || GlobalGetAtomNameW(atom, name, 256) == 0) return {};
  return Narrow(name);
}

std::string RectText(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" + std::to_string(r.right) +
         "\t" + std::to_string(r.bottom);
}

HWND MainForm() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND hwnd, LPARAM found) -> BOOL {
        if (ClassOf(hwnd) != kFormClass || !IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND ControlNamed(const std::string& name) {
  HWND form = MainForm();
  if (form == nullptr || name == "MainForm") return form;
  struct Search {
    std::string name;
    HWND found;
  } search{name, nullptr};
  EnumChildWindows(
      form,
      [](HWND hwnd, LPARAM search) -> BOOL {
        auto* s = reinterpret_cast<Search*>(search);
        if (NameOf(hwnd) != s->name) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> TopLevelTitled(const std::string& title) {
  struct Search {
    std::wstring title;
    std::vector<HWND> found;
  } search{Widen(title), {}};
  EnumWindows(
      [](HWND hwnd, LPARAM search) -> BOOL {
        auto* s = reinterpret_cast<Search*>(search);
        wchar_t text[512] = {};
        GetWindowTextW(hwnd, text, 512);
        if (IsWindowVisible(hwnd) && (s->title == L"*" || s->title == text)) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The edit of the file name, inside its combo box (or boxes) where it has one.
HWND FileNameField(HWND dialog) {
  HWND combo = GetDlgItem(dialog, kFileNameCombo);
  if (combo == nullptr) return GetDlgItem(dialog, kFileNameEdit);
  HWND edit = nullptr;
  EnumChildWindows(
      combo,
      [](HWND hwnd, LPARAM edit) -> BOOL {
        if (ClassOf(hwnd) != L"Edit") return TRUE;
        *reinterpret_cast<HWND*>(edit) = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&edit));
  return edit != nullptr ? edit : combo;
}

std::string KindOf(HWND hwnd) {
  if (ClassOf(hwnd) == kFormClass) return "form";
  if (ClassOf(hwnd) != L"#32770") return "other";
  if (GetDlgItem(hwnd, kBoxText) != nullptr) return "box";
  if (FileNameField(hwnd) != nullptr) return "dialog";
  return "other";
}

HWND TopLevel(const std::string& title, const std::string& kind) {
  for (HWND hwnd : TopLevelTitled(title)) {
    if (KindOf(hwnd) == kind) return hwnd;
  }
  return nullptr;
}

std::string State(const std::vector<std::string>& args) {
  HWND control = args.size() > 1 ? ControlNamed(args[1]) : nullptr;
  if (control == nullptr) return "missing";
  const bool passive = args.size() > 2 && args[2] == "passive";
  const std::wstring kind = ClassOf(control);
  int checked = 0, index = -1, position = 0;
  if (!passive) {
    if (kind == L"Button") checked = Ask(control, BM_GETCHECK) == BST_CHECKED;
    if (kind == L"ComboBox") index = static_cast<int>(Ask(control, CB_GETCURSEL));
    if (kind == PROGRESS_CLASSW) position = static_cast<int>(Ask(control, PBM_GETPOS));
  }
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  return "ok\t" + Escape(TextOf(control, passive)) + "\t" +
         std::to_string(IsWindowEnabled(control) ? 1 : 0) + "\t" +
         std::to_string((style & WS_VISIBLE) != 0 ? 1 : 0) + "\t" + std::to_string(checked) + "\t" +
         std::to_string(index) + "\t" + std::to_string(position) + "\t" + RectText(control);
}

std::string Client() {
  HWND form = MainForm();
  if (form == nullptr) return "missing";
  RECT r{};
  GetClientRect(form, &r);
  POINT origin{0, 0};
  ClientToScreen(form, &origin);
  return "ok\t" + std::to_string(origin.x) + "\t" + std::to_string(origin.y) + "\t" +
         std::to_string(origin.x + r.right) + "\t" + std::to_string(origin.y + r.bottom);
}

std::string Focus() {
  HWND form = MainForm();
  if (form == nullptr) return "missing";
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
  return "ok\t" + Escape(info.hwndFocus != nullptr ? NameOf(info.hwndFocus) : "");
}

std::string Kinds(const std::vector<std::string>& args) {
  if (args.size() < 2) return "missing";
  std::string reply = "ok";
  for (HWND hwnd : TopLevelTitled(args[1])) reply += "\t" + KindOf(hwnd);
  return reply;
}

std::string Box(const std::vector<std::string>& args) {
  HWND box = args.size() > 1 ? TopLevel(args[1], "box") : nullptr;
  if (box == nullptr) return "missing";
  std::string reply = "ok\t" + Escape(TextOf(GetDlgItem(box, kBoxText), false));
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != L"Button" || !IsWindowVisible(child)) continue;
    std::string caption = TextOf(child, false);
    std::erase(caption, '&');
    reply += "\t" + Escape(caption) + "\t" + RectText(child);
  }
  return reply;
}

std::string Dialog(const std::vector<std::string>& args) {
  HWND dialog = args.size() > 1 ? TopLevel(args[1], "dialog") : nullptr;
  if (dialog == nullptr) return "missing";
  HWND field = FileNameField(dialog);
  std::string reply = "ok\t" + Escape(TextOf(field, false)) + "\t" + RectText(field);
  HWND types = GetDlgItem(dialog, kFileTypeCombo);
  const auto count = static_cast<int>(Ask(types, CB_GETCOUNT));
  for (int i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(Ask(types, CB_GETLBTEXTLEN, i)) + 1, L'\0');
    item.resize(static_cast<std::size_t>(
        Ask(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()))));
    reply += "\t" + Escape(Narrow(item));
  }
  return reply;
}

std::string Paste(const std::vector<std::string>& args) {
  HWND dialog = args.size() > 2 ? TopLevel(args[1], "dialog") : nullptr;
  if (dialog == nullptr) return "missing";
  const std::wstring text = Widen(args[2]);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(FileNameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                      SMTO_ABORTIFHUNG, kAnswerTimeout, &result);
  return "ok";
}

std::string Tooltip() {
  std::string text;
  for (HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tip != nullptr;
       tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
    if (IsWindowVisible(tip)) text = TextOf(tip, false);
  }
  return "ok\t" + Escape(text);
}

std::string Pointer() {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info)) return "missing";
  return "ok\t" + std::to_string(reinterpret_cast<UINT_PTR>(info.hCursor));
}

std::string Settings(const std::vector<std::string>& args) {
  using zelbo::platform::RegistryKey;
  using zelbo::platform::RegistryType;
  const std::string what = args.size() > 1 ? args[1] : "";
  if (what == "clear") {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OVallen\\Zelbo");
    return "ok";
  }
  auto key = RegistryKey::Open(kSettingsKey, true);
  if (!key.ok() || args.size() < 3) return "missing";
  if (what == "set" && args.size() == 5) {
    const bool text = args[3] == "text";
    const auto stored = text ? key.value().SetText(args[2], args[4])
                             : key.value().SetNumber(args[2], std::stoi(args[4]));
    return stored.ok() ? "ok" : "missing";
  }
  auto value = key.value().Query(args[2]);
  if (!value.ok() || !value.value().has_value()) return "ok\tnone";
  const auto& stored = *value.value();
  switch (stored.type) {
    case RegistryType::kText:
    case RegistryType::kExpandedText:
      return "ok\ttext\t" + Escape(stored.data.substr(0, stored.data.find('\0')));
    case RegistryType::kNumber: {
      std::int32_t number = 0;
      for (int i = 3; i >= 0; --i) {
        number = static_cast<std::int32_t>(static_cast<std::uint32_t>(number) << 8 |
                                           static_cast<unsigned char>(stored.data[static_cast<std::size_t>(i)]));
      }
      return "ok\tnumber\t" + std::to_string(number);
    }
    default:
      return "ok\tother";
  }
}

// The screen's dots per inch, as wine reads them when a program starts.
std::string Dpi(const std::vector<std::string>& args) {
  if (args.size() < 2) return "missing";
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return "missing";
  }
  const DWORD dpi = static_cast<DWORD>(std::stoul(args[1]));
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  RegCloseKey(key);
  return "ok";
}

std::string Font(const std::vector<std::string>& args) {
  static const NONCLIENTMETRICSW original = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    return metrics;
  }();
  if (args.size() < 2) return "missing";
  NONCLIENTMETRICSW metrics = original;
  if (const int points = std::stoi(args[1]); points > 0) metrics.lfMessageFont.lfHeight = -points * 4 / 3;
  SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, SPIF_UPDATEINIFILE);
  return "ok";
}

std::string Answer(const std::string& line) {
  const std::vector<std::string> args = Fields(line);
  if (args.empty()) return "missing";
  const std::string& verb = args[0];
  if (verb == "state") return State(args);
  if (verb == "client") return Client();
  if (verb == "focus") return Focus();
  if (verb == "kinds") return Kinds(args);
  if (verb == "box") return Box(args);
  if (verb == "dialog") return Dialog(args);
  if (verb == "paste") return Paste(args);
  if (verb == "tooltip") return Tooltip();
  if (verb == "pointer") return Pointer();
  if (verb == "settings") return Settings(args);
  if (verb == "dpi") return Dpi(args);
  if (verb == "font") return Font(args);
  return "missing";
}

}  // namespace

int main() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::cout << Answer(line) << std::endl;
  }
  return 0;
}
