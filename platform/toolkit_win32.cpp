// The toolkit layer on the Windows user interface itself: USER32 windows,
// common controls 6 (COMCTL32), the common dialogs (COMDLG32) and GDI.
//
// What Win32 does not give as the layer wants it, added here:
// - Panels and group boxes are windows of our own classes that draw their
//   frame and handle their children's notifications like the form does.
// - Keyboard: the focus order is a list of our own (Win32's is the z-order,
//   which the overlapping controls need for themselves); Enter presses
//   nothing unless a dropped-down list takes it; Escape clicks the chosen
//   cancel button.
// - Hints: the message pump puts the hint of the control under the mouse,
//   disabled controls included, into the form's status bar.
// - A close during a running event handler waits for the handler.
// - Every window is found by the name its code gives it: the property
//   "ZelboName" holds a global atom of that name, for automation tools.
//
// The program's resources must hold its icon as icon resource 1 and a
// manifest asking for common controls 6 (platform/toolkit_win32.rc).
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

// windows.h maps the name to MessageBoxW; the layer's MessageBox is its own.
#undef MessageBox

#include "platform/toolkit.h"
#include "platform/wide_text_win32.h"

namespace zelbo::toolkit {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

constexpr wchar_t kFormClass[] = L"ZelboForm";
constexpr wchar_t kPanelClass[] = L"ZelboPanel";
constexpr wchar_t kGroupBoxClass[] = L"ZelboGroupBox";
constexpr wchar_t kNameProperty[] = L"ZelboName";
constexpr int kIconResource = 1;
constexpr int kDesignDpi = 96;
constexpr int kFontPoints = 8;
// Child control ids start above the dialog manager's IDOK..IDHELP, so that
// its IDCANCEL for Escape can never be mistaken for a control.
constexpr int kFirstControlId = 100;

enum class Kind { kForm, kPanel, kGroupBox, kLabel, kButton, kEdit, kComboBox, kCheckBox,
                  kProgressBar, kStatusBar };

}  // namespace

// The backend's widget behind every Control handle. The form's widget owns
// the widgets of all its controls.
class NativeWidget {
 public:
  HWND hwnd = nullptr;
  Kind kind = Kind::kForm;
  NativeWidget* parent = nullptr;
  NativeWidget* form = nullptr;
  Bounds bounds;  // at 96 dpi, relative to the parent
  LabelStyle label_style;
  Bevel bevel = Bevel::kLowered;
  std::string hint;
  Handler on_click;
  Handler on_change;

  // The form's own state.
  std::vector<std::unique_ptr<NativeWidget>> children;
  int dpi = kDesignDpi;
  HFONT font = nullptr;
  HWND tooltip = nullptr;
  NativeWidget* cancel_button = nullptr;
  NativeWidget* hint_shown_for = nullptr;
  NativeWidget* focus_on_show = nullptr;
  HWND focus_when_inactive = nullptr;
  std::vector<NativeWidget*> tab_order;
  Handler on_close;
  std::function<void(const std::string&)> on_file_drop;
  bool close_pending = false;
  bool closed = false;
  int next_control_id = kFirstControlId;
};

namespace {

// ---- Application-wide state ----

struct Global {
  Application* application = nullptr;
  std::string title;
  Cursor cursor = Cursor::kDefault;
  int handlers_running = 0;
  DWORD queue_emptied = 0;  // GetTickCount() when the pump last emptied the queue
  // An exception other than Exception that escaped a handler: it travels
  // on from the message pump, outside the system's own frames.
  std::exception_ptr escaped;
};

Global& global() {
  static Global state;
  return state;
}

NativeWidget* WidgetOf(HWND hwnd) {
  return reinterpret_cast<NativeWidget*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

NativeWidget* Native(const Control& control) { return control.native(); }

void FinishClose(NativeWidget& form);

// Runs an event handler of the program. A close of the form asked for
// while a handler runs takes effect when the outermost one has returned.
void RunHandler(NativeWidget& form, const Handler& handler) {
  if (!handler) return;
  ++global().handlers_running;
  try {
    CallHandler(handler);
  } catch (...) {
    if (!global().escaped) global().escaped = std::current_exception();
  }
  --global().handlers_running;
  if (global().handlers_running == 0 && form.close_pending) FinishClose(form);
}

void RethrowEscaped() {
  if (std::exception_ptr escaped = std::exchange(global().escaped, nullptr)) {
    std::rethrow_exception(escaped);
  }
}

// ---- DPI (functions of Windows 10, looked up so that Windows 7 starts) ----

template <typename Function>
Function User32Function(const char* name) {
  const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

int DpiOf(HWND hwnd) {
  static const auto get_dpi = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const int dpi = get_dpi != nullptr ? static_cast<int>(get_dpi(hwnd)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

SIZE FrameSize(int client_width, int client_height, DWORD style, DWORD ex_style, int dpi) {
  static const auto adjust = User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
      "AdjustWindowRectExForDpi");
  RECT rect{0, 0, client_width, client_height};
  if (adjust != nullptr) {
    adjust(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }

bool FontInstalled(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  HDC screen = GetDC(nullptr);
  bool found = false;
  EnumFontFamiliesExW(
      screen, &wanted,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
        *reinterpret_cast<bool*>(found) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// 8-point "MS Sans Serif", the bitmap font the layouts were drawn in; above
// 96 dpi its TrueType twin of the same metrics, which scales cleanly.
HFONT CreateFormFont(int dpi) {
  const wchar_t* face = L"MS Sans Serif";
  if (dpi > kDesignDpi && FontInstalled(L"Microsoft Sans Serif")) face = L"Microsoft Sans Serif";
  return CreateFontW(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// ---- Text ----

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

SIZE TextExtent(HWND hwnd, const std::wstring& text) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, 0, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// ---- Placement ----

bool AutoSized(const NativeWidget& widget) {
  return widget.bounds.width == 0 && widget.bounds.height == 0;
}

void Place(NativeWidget& widget) {
  const int dpi = widget.form->dpi;
  const Bounds& b = widget.bounds;
  int width = Scaled(b.width, dpi);
  int height = Scaled(b.height, dpi);
  if (AutoSized(widget)) {
    const SIZE size = TextExtent(widget.hwnd, WindowText(widget.hwnd));
    width = size.cx;
    height = size.cy;
  }
  SetWindowPos(widget.hwnd, nullptr, Scaled(b.left, dpi), Scaled(b.top, dpi), width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fonts and positions for the form's dpi, after creation or a dpi change.
void ApplyDpi(NativeWidget& form, int dpi) {
  form.dpi = dpi;
  HFONT old = form.font;
  form.font = CreateFormFont(dpi);
  SendMessageW(form.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  for (const auto& child : form.children) {
    SendMessageW(child->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
    Place(*child);
  }
  if (old != nullptr) DeleteObject(old);
  InvalidateRect(form.hwnd, nullptr, TRUE);
}

void SetName(HWND hwnd, std::string_view name) {
  const ATOM atom = GlobalAddAtomW(Widen(name).c_str());
  if (atom != 0) SetPropW(hwnd, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

void ForgetName(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(hwnd, kNameProperty)));
  if (atom != 0) GlobalDeleteAtom(atom);
}

// Creates a child window of `parent` and the widget that stands for it.
NativeWidget* CreateChild(Container& parent, Kind kind, std::string_view name, Bounds bounds,
                          const wchar_t* window_class, DWORD style, DWORD ex_style,
                          std::string_view text) {
  NativeWidget* parent_widget = Native(parent);
  NativeWidget& form = *parent_widget->form;
  auto widget = std::make_unique<NativeWidget>();
  widget->kind = kind;
  widget->parent = parent_widget;
  widget->form = &form;
  widget->bounds = bounds;
  const int id = form.next_control_id++;
  widget->hwnd = CreateWindowExW(ex_style, window_class, Widen(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, 0, 0, 0, 0,
                                 parent_widget->hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(widget->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(widget.get()));
  SetName(widget->hwnd, name);
  SendMessageW(widget->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  Place(*widget);
  form.children.push_back(std::move(widget));
  return form.children.back().get();
}

// ---- Focus ----

bool Focusable(const NativeWidget& widget) {
  return IsWindowVisible(widget.hwnd) && IsWindowEnabled(widget.hwnd);
}

void FocusControl(HWND hwnd) {
  SetFocus(hwnd);
  // As the dialog manager does when the keyboard moves into an edit.
  if (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
    SendMessageW(hwnd, EM_SETSEL, 0, -1);
  }
}

// Tab and Shift+Tab along the form's focus order, from the focused control
// (or, when the focus is elsewhere, into the order at its start or end);
// false when the form has no order (the dialog manager then moves it).
bool MoveFocusAlongOrder(NativeWidget& form, bool backwards) {
  const std::vector<NativeWidget*>& order = form.tab_order;
  const HWND focus = GetFocus();
  auto current = std::find_if(order.begin(), order.end(),
                              [focus](const NativeWidget* w) { return w->hwnd == focus; });
  if (order.empty()) return false;
  std::size_t index = current == order.end()
                          ? (backwards ? 0 : order.size() - 1)
                          : static_cast<std::size_t>(current - order.begin());
  for (std::size_t step = 0; step < order.size(); ++step) {
    index = backwards ? (index + order.size() - 1) % order.size() : (index + 1) % order.size();
    if (Focusable(*order[index])) {
      FocusControl(order[index]->hwnd);
      return true;
    }
  }
  return true;
}

// ---- Hints ----

NativeWidget* DeepestWidgetAt(const NativeWidget& form, POINT screen) {
  HWND current = form.hwnd;
  for (;;) {
    POINT point = screen;
    ScreenToClient(current, &point);
    // Disabled controls too: their hints show as well.
    HWND child = ChildWindowFromPointEx(current, point, CWP_SKIPINVISIBLE);
    if (child == nullptr || child == current || WidgetOf(child) == nullptr) break;
    current = child;
  }
  return WidgetOf(current);
}

NativeWidget* StatusBarOf(const NativeWidget& form) {
  for (const auto& child : form.children) {
    if (child->kind == Kind::kStatusBar) return child.get();
  }
  return nullptr;
}

void SetStatusText(NativeWidget& bar, std::string_view text) {
  SendMessageW(bar.hwnd, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

// The hint of the control under the mouse, else of its nearest parent
// with one, into the status bar; only when the mouse reached another one.
void ShowHintAt(NativeWidget& form, POINT screen) {
  NativeWidget* under = DeepestWidgetAt(form, screen);
  if (under == nullptr || under == form.hint_shown_for) return;
  form.hint_shown_for = under;
  NativeWidget* bar = StatusBarOf(form);
  if (bar == nullptr) return;
  for (NativeWidget* widget = under; widget != nullptr; widget = widget->parent) {
    if (!widget->hint.empty()) {
      SetStatusText(*bar, widget->hint);
      return;
    }
  }
  SetStatusText(*bar, "");
}

bool ShowsTooltip(const NativeWidget& widget) {
  return widget.kind != Kind::kForm && widget.kind != Kind::kStatusBar;
}

void UpdateTooltip(NativeWidget& widget) {
  NativeWidget& form = *widget.form;
  if (form.tooltip == nullptr) {
    form.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form.hwnd,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(form.tooltip, TTM_SETMAXTIPWIDTH, 0, Scaled(400, form.dpi));
  }
  std::wstring text = Widen(widget.hint);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = widget.parent->hwnd;
  tool.uId = reinterpret_cast<UINT_PTR>(widget.hwnd);
  tool.lpszText = text.data();
  SendMessageW(form.tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (!text.empty()) SendMessageW(form.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// ---- Messages ----

bool IsEnter(const MSG& msg) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) &&
         (msg.wParam == VK_RETURN || msg.wParam == L'\r');
}

bool IsDroppedList(HWND hwnd) {
  const NativeWidget* widget = hwnd != nullptr ? WidgetOf(hwnd) : nullptr;
  return widget != nullptr && widget->kind == Kind::kComboBox &&
         SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

NativeWidget* FormOfWindow(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  HWND root = GetAncestor(hwnd, GA_ROOT);
  NativeWidget* widget = root != nullptr ? WidgetOf(root) : nullptr;
  wchar_t name[16];
  if (widget == nullptr || GetClassNameW(root, name, 16) == 0 || lstrcmpW(name, kFormClass) != 0) {
    return nullptr;
  }
  return widget;
}

// One message through the form's keyboard and hint rules, then on to its
// window. Messages of other windows (the system's dialogs) pass unchanged.
void Dispatch(MSG& msg) {
  if (NativeWidget* form = FormOfWindow(msg.hwnd)) {
    if (msg.message == WM_MOUSEMOVE) ShowHintAt(*form, msg.pt);
    if (IsEnter(msg) && !IsDroppedList(GetFocus())) return;  // Enter presses nothing
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB &&
        MoveFocusAlongOrder(*form, GetKeyState(VK_SHIFT) < 0)) {
      return;
    }
    if (IsDialogMessageW(form->hwnd, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

// ---- Drawing ----

HBRUSH FaceBrush() { return GetSysColorBrush(COLOR_BTNFACE); }

void DrawPanelFrame(const NativeWidget& panel, HDC dc) {
  RECT rect;
  GetClientRect(panel.hwnd, &rect);
  const UINT edge = panel.bevel == Bevel::kLowered ? BDR_SUNKENOUTER
                                                   : BDR_SUNKENOUTER | BDR_RAISEDINNER;
  DrawEdge(dc, &rect, edge, BF_RECT);
}

void DrawGroupBoxFrame(const NativeWidget& box, HDC dc) {
  RECT rect;
  GetClientRect(box.hwnd, &rect);
  const std::wstring caption = WindowText(box.hwnd);
  HGDIOBJ old_font = SelectObject(dc, box.form->font);
  SIZE text{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
  RECT frame = rect;
  frame.top += text.cy / 2;
  const int indent = Scaled(8, box.form->dpi);
  RECT label{indent, 0, indent + text.cx + Scaled(4, box.form->dpi), text.cy};
  HTHEME theme = OpenThemeData(box.hwnd, L"BUTTON");
  // The frame leaves a gap for the caption.
  const int saved = SaveDC(dc);
  ExcludeClipRect(dc, label.left, label.top, label.right, label.bottom);
  if (theme != nullptr) {
    DrawThemeBackground(theme, dc, BP_GROUPBOX, GBS_NORMAL, &frame, nullptr);
  } else {
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  }
  RestoreDC(dc, saved);
  SetBkMode(dc, TRANSPARENT);
  RECT text_rect{label.left + Scaled(2, box.form->dpi), 0, label.right, label.bottom};
  if (theme != nullptr) {
    DrawThemeText(theme, dc, BP_GROUPBOX, GBS_NORMAL, caption.c_str(),
                  static_cast<int>(caption.size()), DT_LEFT | DT_SINGLELINE | DT_NOPREFIX, 0,
                  &text_rect);
    CloseThemeData(theme);
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text_rect,
              DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, old_font);
}

// Labels that wrap and centre vertically draw themselves; '&' is text.
void DrawLabel(const DRAWITEMSTRUCT& item) {
  const NativeWidget* label = WidgetOf(item.hwndItem);
  if (label == nullptr) return;
  const std::wstring text = WindowText(item.hwndItem);
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, FaceBrush());
  HGDIOBJ old_font = SelectObject(dc, label->form->font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(IsWindowEnabled(item.hwndItem) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  UINT format = DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS;
  if (label->label_style.word_wrap) format |= DT_WORDBREAK | DT_EDITCONTROL;
  RECT rect = item.rcItem;
  if (label->label_style.centre_vertically) {
    RECT needed = rect;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed, format | DT_CALCRECT);
    const int spare = (rect.bottom - rect.top) - (needed.bottom - needed.top);
    if (spare > 0) rect.top += spare / 2;
  }
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
  SelectObject(dc, old_font);
}

// ---- Window procedures ----

// Notifications from the controls of any container of ours.
void Notify(HWND control, UINT code) {
  NativeWidget* widget = WidgetOf(control);
  if (widget == nullptr) return;
  NativeWidget& form = *widget->form;
  switch (widget->kind) {
    case Kind::kButton:
      if (code == BN_CLICKED) RunHandler(form, widget->on_click);
      break;
    case Kind::kEdit:
      if (code == EN_CHANGE) RunHandler(form, widget->on_change);
      break;
    case Kind::kComboBox:
      // A selection the user accepts: from a dropped-down list once, when
      // it closes on an item; from the closed list at each arrow key.
      if (code == CBN_SELENDOK ||
          (code == CBN_SELCHANGE && SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0) == 0)) {
        RunHandler(form, widget->on_change);
      }
      break;
    default:
      break;
  }
}

LRESULT ContainerMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam != 0) Notify(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
      SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(FaceBrush());
    case WM_DRAWITEM:
      DrawLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_PRINTCLIENT: {  // themed controls draw their parent's background
      RECT rect;
      GetClientRect(hwnd, &rect);
      FillRect(reinterpret_cast<HDC>(wparam), &rect, FaceBrush());
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (const NativeWidget* widget = WidgetOf(hwnd)) {
      if (widget->kind == Kind::kGroupBox) {
        DrawGroupBoxFrame(*widget, dc);
      } else {
        DrawPanelFrame(*widget, dc);
      }
    }
    EndPaint(hwnd, &paint);
    return 0;
  }
  if (message == WM_SETTEXT) {  // a group box caption drawn anew
    const LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
    InvalidateRect(hwnd, nullptr, TRUE);
    return result;
  }
  return ContainerMessage(hwnd, message, wparam, lparam);
}

void FinishClose(NativeWidget& form) {
  form.close_pending = false;
  form.closed = true;
  ShowWindow(form.hwnd, SW_HIDE);
  PostMessageW(form.hwnd, WM_NULL, 0, 0);  // wakes the message loop
}

void CloseForm(NativeWidget& form) {
  if (form.closed) return;
  bool stays_open = false;
  try {
    stays_open = form.on_close && !CallHandler(form.on_close);
  } catch (...) {  // travels on from the message pump, as in RunHandler
    if (!global().escaped) global().escaped = std::current_exception();
    return;
  }
  if (stays_open) return;
  if (global().handlers_running > 0) {
    form.close_pending = true;
  } else {
    FinishClose(form);
  }
}

void DropFiles(NativeWidget& form, HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::wstring path;
  if (count == 1) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
  }
  DragFinish(drop);
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  if (!form.on_file_drop) return;
  const std::string utf8 = Narrow(path);
  RunHandler(form, [&form, &utf8] { form.on_file_drop(utf8); });
}

// The busy pointer over the form and its controls (disabled ones too,
// whose mouse messages go to the form).
bool SetBusyCursor(LPARAM hit_and_message) {
  if (global().cursor != Cursor::kHourGlass || LOWORD(hit_and_message) != HTCLIENT) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  NativeWidget* form = WidgetOf(hwnd);
  if (form == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_CLOSE:
      CloseForm(*form);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL && lparam == 0) {  // Escape, from the dialog manager
        NativeWidget* button = form->cancel_button;
        if (button != nullptr && IsWindowEnabled(button->hwnd)) RunHandler(*form, button->on_click);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // Keep the focus on its control across a switch to another window.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd, focus)) form->focus_when_inactive = focus;
      } else if (form->focus_when_inactive != nullptr && IsWindow(form->focus_when_inactive) &&
                 IsWindowEnabled(form->focus_when_inactive)) {
        SetFocus(form->focus_when_inactive);
      } else {
        SetFocus(hwnd);
      }
      return 0;
    case WM_SETCURSOR:
      if (SetBusyCursor(lparam)) return TRUE;
      break;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ApplyDpi(*form, HIWORD(wparam));
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DROPFILES:
      DropFiles(*form, reinterpret_cast<HDROP>(wparam));
      return 0;
    default:
      break;
  }
  return ContainerMessage(hwnd, message, wparam, lparam);
}

void RegisterClasses() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  form.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                             0, 0, LR_DEFAULTSIZE));
  form.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  RegisterClassExW(&form);

  WNDCLASSEXW panel = form;
  panel.lpfnWndProc = PanelProc;
  panel.hIcon = panel.hIconSm = nullptr;
  for (const wchar_t* name : {kPanelClass, kGroupBoxClass}) {
    panel.lpszClassName = name;
    RegisterClassExW(&panel);
  }
}

// Gives the system's own windows (boxes, file dialogs) the program's icon
// for the task bar and the window switcher.
LRESULT CALLBACK IconHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const HWND hwnd = reinterpret_cast<HWND>(wparam);
    if (SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0) == 0) {
      const HINSTANCE instance = GetModuleHandleW(nullptr);
      SendMessageW(hwnd, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(LoadIconW(instance, MAKEINTRESOURCEW(kIconResource))));
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

class IconForSystemWindows {
 public:
  IconForSystemWindows()
      : hook_(SetWindowsHookExW(WH_CBT, IconHook, nullptr, GetCurrentThreadId())) {}
  ~IconForSystemWindows() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  }

 private:
  HHOOK hook_;
};

// The window that owns a modal dialog or box: the active form, if any is
// shown (a box before the main window appears has no owner).
HWND ModalOwner() {
  HWND active = GetActiveWindow();
  if (active != nullptr && IsWindowVisible(active) && FormOfWindow(active) != nullptr) return active;
  return nullptr;
}

}  // namespace

// ---- Form ----

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

NativeWidget* NewForm(std::string_view name, std::string_view caption, int width, int height) {
  auto* form = new NativeWidget;
  form->kind = Kind::kForm;
  form->form = form;
  form->bounds = {0, 0, width, height};
  form->hwnd = CreateWindowExW(kFormExStyle, kFormClass, Widen(caption).c_str(), kFormStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(form->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  SetName(form->hwnd, name);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (HICON small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                    IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0))) {
    SendMessageW(form->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  ApplyDpi(*form, DpiOf(form->hwnd));
  const SIZE frame = FrameSize(Scaled(width, form->dpi), Scaled(height, form->dpi), kFormStyle,
                               kFormExStyle, form->dpi);
  SetWindowPos(form->hwnd, nullptr, 0, 0, frame.cx, frame.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return form;
}

void CentreOnScreen(HWND hwnd) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT window;
  GetWindowRect(hwnd, &window);
  const RECT& area = monitor.rcWork;
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  SetWindowPos(hwnd, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Form::Form(std::string_view name, std::string_view caption, int client_width, int client_height)
    : Container(NewForm(name, caption, client_width, client_height)) {}

Form::~Form() {
  NativeWidget* form = native();
  for (const auto& child : form->children) ForgetName(child->hwnd);
  ForgetName(form->hwnd);
  DestroyWindow(form->hwnd);  // and with it every child and the tooltip
  if (form->font != nullptr) DeleteObject(form->font);
  delete form;
}

void Form::SetCaption(std::string_view caption) {
  SetWindowTextW(native()->hwnd, Widen(caption).c_str());
}

std::string Form::Caption() const { return Narrow(WindowText(native()->hwnd)); }

void Form::OnClose(Handler handler) { native()->on_close = std::move(handler); }

void Form::Close() { SendMessageW(native()->hwnd, WM_CLOSE, 0, 0); }

void Form::OnFileDrop(std::function<void(const std::string& path)> handler) {
  native()->on_file_drop = std::move(handler);
}

void Form::SetFileDropsEnabled(bool enabled) { DragAcceptFiles(native()->hwnd, enabled); }

void Form::SetCancelButton(Button* button) {
  native()->cancel_button = button != nullptr ? button->native() : nullptr;
}

void Form::SetTabOrder(const std::vector<Control*>& order) {
  std::vector<NativeWidget*>& tab_order = native()->tab_order;
  tab_order.clear();
  for (Control* control : order) {
    tab_order.push_back(control->native());
    SetWindowLongPtrW(control->native()->hwnd, GWL_STYLE,
                      GetWindowLongPtrW(control->native()->hwnd, GWL_STYLE) | WS_TABSTOP);
  }
}

// Paints what is waiting to be painted, now.
void Form::Repaint() {
  RedrawWindow(native()->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// ---- Control ----

void Control::SetEnabled(bool enabled) {
  HWND hwnd = native_->hwnd;
  // A disabled control loses the focus to the form, where Escape still works.
  if (!enabled && GetFocus() == hwnd) ::SetFocus(native_->form->hwnd);
  EnableWindow(hwnd, enabled);
}

bool Control::Enabled() const { return IsWindowEnabled(native_->hwnd) != FALSE; }

void Control::SetVisible(bool visible) {
  ShowWindow(native_->hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::Visible() const {
  return (GetWindowLongPtrW(native_->hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::SetHint(std::string_view hint) {
  native_->hint = hint;
  if (ShowsTooltip(*native_)) UpdateTooltip(*native_);
}

std::string Control::Hint() const { return native_->hint; }

void Control::SetFocus() {
  NativeWidget& form = *native_->form;
  if (IsWindowVisible(form.hwnd)) {
    FocusControl(native_->hwnd);
  } else {
    form.focus_on_show = native_;
  }
}

bool Control::HasFocus() const { return GetFocus() == native_->hwnd; }

void Control::BringToFront() {
  SetWindowPos(native_->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---- Containers and controls ----

Panel::Panel(Container& parent, std::string_view name, Bounds bounds, Bevel bevel)
    : Container(CreateChild(parent, Kind::kPanel, name, bounds, kPanelClass, WS_CLIPCHILDREN,
                            WS_EX_CONTROLPARENT, "")) {
  native()->bevel = bevel;
}

GroupBox::GroupBox(Container& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Container(CreateChild(parent, Kind::kGroupBox, name, bounds, kGroupBoxClass,
                            WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, caption)) {}

namespace {

DWORD LabelStyleBits(LabelStyle style) {
  // SS_NOTIFY: the label takes the mouse itself, so that it shows no
  // tooltip of its parent's.
  const DWORD common = SS_NOPREFIX | SS_NOTIFY;
  if (style.centre_vertically) return common | SS_OWNERDRAW;
  return common | (style.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
}

NativeWidget* NewLabel(Container& parent, std::string_view name, Bounds bounds,
                       std::string_view caption, LabelStyle style) {
  NativeWidget* label = CreateChild(parent, Kind::kLabel, name, bounds, WC_STATICW,
                                    LabelStyleBits(style), 0, caption);
  label->label_style = style;
  return label;
}

}  // namespace

Label::Label(Container& parent, std::string_view name, Bounds bounds, std::string_view caption,
             LabelStyle style)
    : Control(NewLabel(parent, name, bounds, caption, style)) {}

void Label::SetCaption(std::string_view caption) {
  NativeWidget& label = *native();
  SetWindowTextW(label.hwnd, Widen(caption).c_str());
  if (AutoSized(label)) Place(label);
  InvalidateRect(label.hwnd, nullptr, TRUE);
}

std::string Label::Caption() const { return Narrow(WindowText(native()->hwnd)); }

Button::Button(Container& parent, std::string_view name, Bounds bounds, std::string_view caption)
    : Control(CreateChild(parent, Kind::kButton, name, bounds, WC_BUTTONW,
                          BS_PUSHBUTTON | WS_TABSTOP, 0, caption)) {}

void Button::SetCaption(std::string_view caption) {
  SetWindowTextW(native()->hwnd, Widen(caption).c_str());
}

std::string Button::Caption() const { return Narrow(WindowText(native()->hwnd)); }

void Button::OnClick(Handler handler) { native()->on_click = std::move(handler); }

Edit::Edit(Container& parent, std::string_view name, Bounds bounds, std::string_view text)
    : Control(CreateChild(parent, Kind::kEdit, name, bounds, WC_EDITW,
                          ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP, WS_EX_CLIENTEDGE, text)) {}

// EN_CHANGE follows every WM_SETTEXT: the same text is not set again.
void Edit::SetText(std::string_view text) {
  const std::wstring wide = Widen(text);
  if (WindowText(native()->hwnd) != wide) SetWindowTextW(native()->hwnd, wide.c_str());
}

std::string Edit::Text() const { return Narrow(WindowText(native()->hwnd)); }

void Edit::OnChange(Handler handler) { native()->on_change = std::move(handler); }

namespace {

NativeWidget* NewComboBox(Container& parent, std::string_view name, Bounds bounds,
                          const std::vector<std::string>& items, int visible_rows) {
  NativeWidget* combo = CreateChild(parent, Kind::kComboBox, name, bounds, WC_COMBOBOXW,
                                    CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, "");
  for (const std::string& item : items) {
    SendMessageW(combo->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(combo->hwnd, CB_SETMINVISIBLE, static_cast<WPARAM>(visible_rows), 0);
  // Before common controls 6 the dropped list is as tall as the window.
  const auto item_height = static_cast<int>(SendMessageW(combo->hwnd, CB_GETITEMHEIGHT, 0, 0));
  RECT closed;
  GetWindowRect(combo->hwnd, &closed);
  SetWindowPos(combo->hwnd, nullptr, 0, 0, closed.right - closed.left,
               Scaled(bounds.height, combo->form->dpi) + visible_rows * item_height + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(combo->hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  return combo;
}

}  // namespace

ComboBox::ComboBox(Container& parent, std::string_view name, Bounds bounds,
                   const std::vector<std::string>& items, int visible_rows)
    : Control(NewComboBox(parent, name, bounds, items, visible_rows)) {}

void ComboBox::SetItemIndex(int index) {
  const auto count = static_cast<int>(SendMessageW(native()->hwnd, CB_GETCOUNT, 0, 0));
  SendMessageW(native()->hwnd, CB_SETCURSEL,
               static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
}

int ComboBox::ItemIndex() const {
  return static_cast<int>(SendMessageW(native()->hwnd, CB_GETCURSEL, 0, 0));
}

void ComboBox::OnChange(Handler handler) { native()->on_change = std::move(handler); }

CheckBox::CheckBox(Container& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Control(CreateChild(parent, Kind::kCheckBox, name, bounds, WC_BUTTONW,
                          BS_AUTOCHECKBOX | WS_TABSTOP, 0, caption)) {}

void CheckBox::SetChecked(bool checked) {
  SendMessageW(native()->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::Checked() const {
  return SendMessageW(native()->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

ProgressBar::ProgressBar(Container& parent, std::string_view name, Bounds bounds, int minimum,
                         int maximum)
    : Control(CreateChild(parent, Kind::kProgressBar, name, bounds, PROGRESS_CLASSW, 0, 0, "")) {
  SendMessageW(native()->hwnd, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  SendMessageW(native()->hwnd, PBM_SETPOS, static_cast<WPARAM>(minimum), 0);
}

void ProgressBar::SetPosition(int position) {
  SendMessageW(native()->hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::Position() const {
  return static_cast<int>(SendMessageW(native()->hwnd, PBM_GETPOS, 0, 0));
}

namespace {

NativeWidget* NewStatusBar(Form& parent, std::string_view name, Bounds bounds) {
  NativeWidget* bar =
      CreateChild(parent, Kind::kStatusBar, name, bounds, STATUSCLASSNAMEW,
                  CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOMOVEY, 0, "");
  int whole_width = -1;  // one part: the simple text
  SendMessageW(bar->hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole_width));
  return bar;
}

}  // namespace

StatusBar::StatusBar(Form& parent, std::string_view name, Bounds bounds)
    : Control(NewStatusBar(parent, name, bounds)) {}

void StatusBar::SetSimpleText(std::string_view text) { SetStatusText(*native(), text); }

std::string StatusBar::SimpleText() const {
  const HWND bar = native()->hwnd;
  std::wstring text(LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
  text.resize(LOWORD(SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()))));
  return Narrow(text);
}

// ---- Dialogs ----

FileDialog::FileDialog(Kind kind, std::string title, std::vector<FileFilter> filters)
    : kind_(kind), title_(std::move(title)), filters_(std::move(filters)) {}

namespace {

// "Description\0patterns\0...\0\0", as the common dialogs take filters.
std::wstring FilterText(const std::vector<FileFilter>& filters) {
  std::wstring text;
  for (const FileFilter& filter : filters) {
    text += Widen(filter.description);
    text.push_back(L'\0');
    text += Widen(filter.patterns);
    text.push_back(L'\0');
  }
  text.push_back(L'\0');
  return text;
}

// Room for a path of the longest length Windows knows.
constexpr std::size_t kPathRoom = 32768;

// An existing file that the calling user may not write: read-only by its
// attribute (which the save dialog's own check looks at, where it does),
// or refused to this user.
bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return true;
  // Opening an existing file for writing changes nothing in it.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(file);
  return false;
}

// The save dialog until it names no read-only file: such a name is
// refused with a message, and the dialog asks again; false when cancelled.
bool AskForWritableName(OPENFILENAMEW& dialog) {
  for (;;) {
    if (!GetSaveFileNameW(&dialog)) return false;
    const std::wstring chosen = dialog.lpstrFile;
    if (!IsReadOnlyFile(chosen)) return true;
    const std::wstring text = chosen + L"\nThis file is read-only.\nTry again with a different file name.";
    ::MessageBoxW(dialog.hwndOwner, text.c_str(), dialog.lpstrTitle, MB_ICONWARNING | MB_OK);
  }
}

}  // namespace

bool FileDialog::Execute() {
  const std::wstring filters = FilterText(filters_);
  const std::wstring title = Widen(title_);
  const std::wstring folder = Widen(initial_folder_);
  std::wstring name = Widen(file_name_);
  name.resize(std::max(kPathRoom, name.size() + 1), L'\0');

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = ModalOwner();
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.c_str();
  // The dialog neither changes the current folder nor adds to the recent
  // documents.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING |
                 OFN_NOCHANGEDIR | OFN_DONTADDTORECENT;
  if (kind_ == Kind::kOpen) {
    dialog.Flags |= OFN_FILEMUSTEXIST | OFN_SHAREAWARE | OFN_NONETWORKBUTTON;
  } else {
    dialog.Flags |= OFN_NOREADONLYRETURN;
  }
  IconForSystemWindows icon;
  const bool chosen = kind_ == Kind::kOpen ? GetOpenFileNameW(&dialog) != FALSE
                                           : AskForWritableName(dialog);
  if (!chosen) return false;
  file_name_ = Narrow(name.c_str());
  return true;
}

// ---- Application ----

struct Application::State {};  // the state is the thread's: see Global

Application::Application(int& argc, char** argv) {
  (void)argc;
  (void)argv;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterClasses();
  global().application = this;
}

Application::~Application() { global().application = nullptr; }

Application& Application::Instance() { return *global().application; }

void Application::SetTitle(std::string_view title) { global().title = title; }

std::string Application::Title() const { return global().title; }

void Application::Run(Form& main_form) {
  NativeWidget& form = *main_form.native();
  CentreOnScreen(form.hwnd);
  ShowWindow(form.hwnd, SW_SHOW);
  SetForegroundWindow(form.hwnd);
  if (form.focus_on_show != nullptr) FocusControl(form.focus_on_show->hwnd);
  MSG msg;
  while (!form.closed && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    Dispatch(msg);
    RethrowEscaped();
  }
}

// Asking for the queue's state takes one round trip to the window system
// (to wine's server), taking nothing out of an empty queue two; during a
// run most calls find nothing. The queue is still emptied now and then
// regardless, as Windows takes a program that has not done so for a few
// seconds to be hung.
void Application::ProcessMessages() {
  constexpr UINT kPending = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
  constexpr DWORD kEmptiedAtLeastEvery = 250;  // ms
  const DWORD now = GetTickCount();
  if (HIWORD(GetQueueStatus(kPending)) == 0 && now - global().queue_emptied < kEmptiedAtLeastEvery) {
    return;
  }
  global().queue_emptied = now;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // for the loop that waits for it
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Dispatch(msg);
    RethrowEscaped();
  }
}

Cursor Application::GetCursor() const { return global().cursor; }

void Application::SetCursor(Cursor cursor) {
  global().cursor = cursor;
  // The pointer changes at once if it rests on a window of the program.
  POINT point;
  GetCursorPos(&point);
  HWND under = WindowFromPoint(point);
  if (under == nullptr || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return;
  const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
  SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(hit, WM_MOUSEMOVE));
}

MessageAnswer Application::MessageBox(std::string_view text, std::string_view title,
                                      MessageIcon icon, MessageButtons buttons,
                                      std::string_view detail) {
  std::string whole(text);
  if (!detail.empty()) whole += "\n\n" + std::string(detail);
  UINT style = MB_SETFOREGROUND;
  switch (icon) {
    case MessageIcon::kError: style |= MB_ICONERROR; break;
    case MessageIcon::kWarning: style |= MB_ICONWARNING; break;
    case MessageIcon::kInformation: style |= MB_ICONINFORMATION; break;
    case MessageIcon::kQuestion: style |= MB_ICONQUESTION; break;
  }
  style |= buttons == MessageButtons::kRetryCancel ? MB_RETRYCANCEL : MB_OK;
  IconForSystemWindows icon_hook;
  switch (::MessageBoxW(ModalOwner(), Widen(whole).c_str(), Widen(title).c_str(), style)) {
    case IDRETRY: return MessageAnswer::kRetry;
    case IDCANCEL: return MessageAnswer::kCancel;
    default: return MessageAnswer::kOk;
  }
}

void Application::ShowException(const Exception& error) {
  MessageBox(StandardErrorText(error.what()), global().title, MessageIcon::kError,
             MessageButtons::kOk);
}

}  // namespace zelbo::toolkit
