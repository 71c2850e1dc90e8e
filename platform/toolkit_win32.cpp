// The toolkit layer on the Windows user interface itself: USER32 windows,
// common controls 6 (COMCTL32), the common dialogs (COMDLG32 and the
// folder dialog of SHELL32) and GDI.
//
// Every control is a plain child window of the form, whose window
// procedure takes all their notifications. What Win32 does not give as the
// layer wants it, added here:
// - Frames lie at the bottom of the z-order, an outer one beneath the ones
//   drawn in it, so that they never cover a control. Above them the z-order
//   is the focus order, as the dialog manager walks it, with each label
//   right before the field it names, where screen readers look for it.
// - Keyboard: Enter presses nothing unless a dropped-down list takes it;
//   Escape clicks the chosen cancel button.
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
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
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
constexpr wchar_t kNameProperty[] = L"ZelboName";
constexpr int kIconResource = 1;
constexpr int kDesignDpi = 96;
constexpr int kFontPoints = 8;
// Child control ids start above the dialog manager's IDOK..IDHELP, so that
// its IDCANCEL for Escape can never be mistaken for a control.
constexpr int kFirstControlId = 100;

}  // namespace

// The backend's widget behind every Control handle. The form's widget owns
// the widgets of all its controls.
class NativeWidget {
 public:
  HWND hwnd = nullptr;
  ControlKind kind = ControlKind::kPanel;
  NativeWidget* parent = nullptr;  // the control it was placed in; none for the form
  NativeWidget* form = nullptr;
  Bounds bounds;  // in the form, as drawn
  std::string hint;
  Handler handler;
  int visible_rows = 0;            // of a drop-down list
  NativeWidget* buddy = nullptr;   // the field a label names

  // The form's own state.
  std::vector<std::unique_ptr<NativeWidget>> children;
  int dpi = kDesignDpi;
  double font_scale = 1;
  HFONT font = nullptr;
  HWND tooltip = nullptr;
  HWND top_frame = nullptr;  // the innermost frame so far
  NativeWidget* cancel_button = nullptr;
  NativeWidget* hint_shown_for = nullptr;
  NativeWidget* focus_on_show = nullptr;
  HWND focus_when_inactive = nullptr;
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

// ---- Scale: the screen's dpi (functions of Windows 10, looked up so that
// Windows 7 starts) and the desktop's font ----

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

// The desktop's font is the one of message boxes.
double DesktopFontScale() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return 1;
  return FontScale(std::abs(metrics.lfMessageFont.lfHeight) * 72.0 / SystemDpi());
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

int Scaled(int pixels, const NativeWidget& form) {
  return static_cast<int>(std::lround(pixels * form.dpi * form.font_scale / kDesignDpi));
}

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

// 8-point "MS Sans Serif", the bitmap font the layouts were drawn in; at
// any other size its TrueType twin of the same metrics, where installed,
// which scales cleanly.
HFONT CreateFormFont(const NativeWidget& form) {
  const bool as_drawn = form.dpi == kDesignDpi && form.font_scale == 1;
  const auto height = std::lround(kFontPoints * form.dpi * form.font_scale / 72.0);
  const wchar_t* face = L"MS Sans Serif";
  if (!as_drawn && FontInstalled(L"Microsoft Sans Serif")) face = L"Microsoft Sans Serif";
  return CreateFontW(-static_cast<int>(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// ---- Text ----

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The size of the window's text in the form's font, wrapped at `width`
// when it is not 0, as a label draws it.
SIZE TextSize(const NativeWidget& widget, int width) {
  const std::wstring text = WindowText(widget.hwnd);
  HDC dc = GetDC(widget.hwnd);
  HGDIOBJ old = SelectObject(dc, widget.form->font);
  RECT rect{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS |
                (width > 0 ? DT_WORDBREAK | DT_EDITCONTROL : 0));
  SelectObject(dc, old);
  ReleaseDC(widget.hwnd, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// ---- Placement ----

bool IsFrame(ControlKind kind) {
  return kind == ControlKind::kPanel || kind == ControlKind::kEtchedPanel ||
         kind == ControlKind::kGroupBox;
}

void Place(NativeWidget& widget) {
  const NativeWidget& form = *widget.form;
  const Bounds& b = widget.bounds;
  int top = Scaled(b.top, form);
  int width = Scaled(b.width, form);
  int height = Scaled(b.height, form);
  if (widget.kind == ControlKind::kLabel) {
    const SIZE text = TextSize(widget, width);
    if (width == 0) {
      width = text.cx;
      height = text.cy;
    } else if (text.cy < height) {  // centred vertically
      top += (height - text.cy) / 2;
      height = text.cy;
    }
  } else if (widget.kind == ControlKind::kComboBox) {  // and its dropped list
    height += widget.visible_rows *
                  static_cast<int>(SendMessageW(widget.hwnd, CB_GETITEMHEIGHT, 0, 0)) + 2;
  }
  SetWindowPos(widget.hwnd, nullptr, Scaled(b.left, form), top, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fonts and positions for the form's dpi, after creation or a dpi change.
void ApplyDpi(NativeWidget& form, int dpi) {
  form.dpi = dpi;
  HFONT old = form.font;
  form.font = CreateFormFont(form);
  SendMessageW(form.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  for (const auto& child : form.children) {
    SendMessageW(child->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
    Place(*child);
  }
  if (old != nullptr) DeleteObject(old);
  InvalidateRect(form.hwnd, nullptr, TRUE);
}

void PutAfter(HWND hwnd, HWND after) {
  if (after != hwnd) {
    SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

// Right above `below`: after the window above it, or on top.
void PutAbove(HWND hwnd, HWND below) {
  const HWND above = GetWindow(below, GW_HWNDPREV);
  PutAfter(hwnd, above != nullptr ? above : HWND_TOP);
}

// Frames go beneath every control, a new one (drawn inside the older ones)
// above the older ones; every other control goes right above the frames.
void Stack(NativeWidget& widget) {
  NativeWidget& form = *widget.form;
  if (form.top_frame != nullptr) {
    PutAbove(widget.hwnd, form.top_frame);
  } else {
    PutAfter(widget.hwnd, HWND_BOTTOM);
  }
  if (IsFrame(widget.kind)) form.top_frame = widget.hwnd;
}

void SetName(HWND hwnd, std::string_view name) {
  const ATOM atom = GlobalAddAtomW(Widen(name).c_str());
  if (atom != 0) SetPropW(hwnd, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

void ForgetName(HWND hwnd) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(hwnd, kNameProperty)));
  if (atom != 0) GlobalDeleteAtom(atom);
}

// The window of each kind of control, in the order of ControlKind. SS_NOTIFY:
// a frame or label takes the mouse itself, for a tooltip of its own and so
// that it shows none of the control beneath; a label with a size wraps.
struct WindowKind {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
};
constexpr WindowKind kWindowKinds[] = {
    {WC_STATICW, SS_NOTIFY, WS_EX_STATICEDGE},
    {WC_STATICW, SS_NOTIFY | SS_ETCHEDFRAME, 0},
    {WC_BUTTONW, BS_GROUPBOX, 0},
    {WC_STATICW, SS_NOPREFIX | SS_NOTIFY | SS_LEFTNOWORDWRAP, 0},
    {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
    {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {PROGRESS_CLASSW, 0, 0},
    {STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOMOVEY, 0},
};
constexpr DWORD kWrappedLabel = SS_NOPREFIX | SS_NOTIFY | SS_EDITCONTROL;

// ---- Focus and hints ----

void FocusControl(HWND hwnd) {
  SetFocus(hwnd);
  // As the dialog manager does when the keyboard moves into an edit.
  if (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

NativeWidget* StatusBarOf(const NativeWidget& form) {
  for (const auto& child : form.children) {
    if (child->kind == ControlKind::kStatusBar) return child.get();
  }
  return nullptr;
}

void SetStatusText(NativeWidget& bar, std::string_view text) {
  SendMessageW(bar.hwnd, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

// The hint of the control under the mouse, else of the control it was
// placed in, into the status bar; only when the mouse reached another one.
void ShowHintAt(NativeWidget& form, POINT point) {
  ScreenToClient(form.hwnd, &point);
  // Disabled controls too: their hints show as well.
  const HWND child = ChildWindowFromPointEx(form.hwnd, point, CWP_SKIPINVISIBLE);
  NativeWidget* under = child != nullptr ? WidgetOf(child) : nullptr;
  if (under == nullptr || under == form.hint_shown_for) return;
  form.hint_shown_for = under;
  NativeWidget* bar = StatusBarOf(form);
  if (bar == nullptr) return;
  while (under->parent != nullptr && under->hint.empty()) under = under->parent;
  SetStatusText(*bar, under->hint);
}

void UpdateTooltip(NativeWidget& widget) {
  NativeWidget& form = *widget.form;
  if (form.tooltip == nullptr) {
    form.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form.hwnd,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(form.tooltip, TTM_SETMAXTIPWIDTH, 0, Scaled(400, form));
  }
  std::wstring text = Widen(widget.hint);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = form.hwnd;
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
  return widget != nullptr && widget->kind == ControlKind::kComboBox &&
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
    if (IsDialogMessageW(form->hwnd, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

// ---- Window procedure ----

// The notifications of the form's controls.
void Notify(HWND control, UINT code) {
  NativeWidget* widget = WidgetOf(control);
  if (widget == nullptr) return;
  switch (widget->kind) {
    case ControlKind::kButton:
      if (code == BN_CLICKED) RunHandler(*widget->form, widget->handler);
      break;
    case ControlKind::kEdit:
      if (code == EN_CHANGE) RunHandler(*widget->form, widget->handler);
      break;
    case ControlKind::kComboBox:
      // A selection the user accepts: from a dropped-down list once, when
      // it closes on an item; from the closed list at each arrow key.
      if (code == CBN_SELENDOK ||
          (code == CBN_SELCHANGE && SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0) == 0)) {
        RunHandler(*widget->form, widget->handler);
      }
      break;
    default:
      break;
  }
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

// Keeps the focus on its control across a switch to another window.
void KeepFocus(NativeWidget& form, bool activated) {
  if (!activated) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(form.hwnd, focus)) form.focus_when_inactive = focus;
  } else if (form.focus_when_inactive != nullptr && IsWindow(form.focus_when_inactive) &&
             IsWindowEnabled(form.focus_when_inactive)) {
    SetFocus(form.focus_when_inactive);
  } else {
    SetFocus(form.hwnd);
  }
}

HBRUSH FaceBrush() { return GetSysColorBrush(COLOR_BTNFACE); }

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
        if (button != nullptr && IsWindowEnabled(button->hwnd)) RunHandler(*form, button->handler);
      } else if (lparam != 0) {
        Notify(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
      SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(FaceBrush());
    case WM_PRINTCLIENT: {  // themed controls draw their parent's background
      RECT rect;
      GetClientRect(hwnd, &rect);
      FillRect(reinterpret_cast<HDC>(wparam), &rect, FaceBrush());
      return 0;
    }
    case WM_ACTIVATE:
      KeepFocus(*form, LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_SETCURSOR:  // the busy pointer over the form and its controls, disabled ones too
      if (global().cursor == Cursor::kHourGlass && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
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
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HICON Icon(int width, int height) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                       IMAGE_ICON, width, height, width == 0 ? LR_DEFAULTSIZE : 0));
}

HICON SmallIcon() { return Icon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)); }

void RegisterFormClass() {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = GetModuleHandleW(nullptr);
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  form.hIcon = Icon(0, 0);
  form.hIconSm = SmallIcon();
  RegisterClassExW(&form);
}

// Gives the system's own windows (boxes, file dialogs) the program's icon
// for the task bar and the window switcher.
LRESULT CALLBACK IconHook(int code, WPARAM wparam, LPARAM lparam) {
  const HWND hwnd = reinterpret_cast<HWND>(wparam);
  if (code == HCBT_ACTIVATE && SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0) == 0) {
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon(0, 0)));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

struct IconForSystemWindows {
  HHOOK hook = SetWindowsHookExW(WH_CBT, IconHook, nullptr, GetCurrentThreadId());
  ~IconForSystemWindows() {
    if (hook != nullptr) UnhookWindowsHookEx(hook);
  }
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

// Not WS_CLIPCHILDREN: the frames' insides are the form's background.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

NativeWidget* NewForm(std::string_view name, std::string_view caption, int width, int height) {
  auto* form = new NativeWidget;
  form->form = form;
  form->bounds = {0, 0, width, height};
  form->font_scale = DesktopFontScale();
  form->hwnd = CreateWindowExW(kFormExStyle, kFormClass, Widen(caption).c_str(), kFormStyle,
                               CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(form->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  SetName(form->hwnd, name);
  SendMessageW(form->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon()));
  ApplyDpi(*form, DpiOf(form->hwnd));
  const SIZE frame = FrameSize(Scaled(width, *form), Scaled(height, *form), kFormStyle,
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
    : Control(NewForm(name, caption, client_width, client_height)) {}

Form::~Form() {
  NativeWidget* form = native();
  for (const auto& child : form->children) ForgetName(child->hwnd);
  ForgetName(form->hwnd);
  DestroyWindow(form->hwnd);  // and with it every child and the tooltip
  if (form->font != nullptr) DeleteObject(form->font);
  delete form;
}

void Form::OnClose(Handler handler) { native()->on_close = std::move(handler); }

void Form::Close() { SendMessageW(native()->hwnd, WM_CLOSE, 0, 0); }

void Form::OnFileDrop(std::function<void(const std::string& path)> handler) {
  native()->on_file_drop = std::move(handler);
}

void Form::SetFileDropsEnabled(bool enabled) { DragAcceptFiles(native()->hwnd, enabled); }

void Form::SetCancelButton(Button* button) {
  native()->cancel_button = button != nullptr ? button->native() : nullptr;
}

// The dialog manager moves the focus along the z-order.
void Form::SetTabOrder(const std::vector<Control*>& order) {
  HWND after = HWND_TOP;
  for (Control* control : order) {
    PutAfter(control->native()->hwnd, after);
    after = control->native()->hwnd;
  }
}

// Paints what is waiting to be painted, now.
void Form::Repaint() {
  RedrawWindow(native()->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// ---- Controls ----

NativeWidget* Control::Create(NativeWidget* parent, ControlKind kind, std::string_view name,
                              Bounds bounds, std::string_view text) {
  NativeWidget& form = *parent->form;
  auto widget = std::make_unique<NativeWidget>();
  widget->kind = kind;
  widget->parent = parent;
  widget->form = &form;
  widget->bounds = bounds;
  WindowKind window = kWindowKinds[static_cast<int>(kind)];
  if (kind == ControlKind::kLabel && bounds.width != 0) window.style = kWrappedLabel;
  const int id = form.next_control_id++;
  widget->hwnd = CreateWindowExW(window.ex_style, window.window_class, Widen(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | window.style, 0, 0, 0,
                                 0, form.hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(widget->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(widget.get()));
  SetName(widget->hwnd, name);
  SendMessageW(widget->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  Stack(*widget);
  Place(*widget);
  if (kind == ControlKind::kStatusBar) {
    int whole_width = -1;  // one part: the simple text
    SendMessageW(widget->hwnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole_width));
  }
  form.children.push_back(std::move(widget));
  return form.children.back().get();
}

void Control::SetText(std::string_view text) {
  NativeWidget& widget = *native_;
  if (widget.kind == ControlKind::kStatusBar && widget.form != &widget) {
    SetStatusText(widget, text);
    return;
  }
  // EN_CHANGE follows every WM_SETTEXT: the same text is not set again.
  const std::wstring wide = Widen(text);
  if (WindowText(widget.hwnd) == wide) return;
  SetWindowTextW(widget.hwnd, wide.c_str());
  if (widget.kind == ControlKind::kLabel) Place(widget);
}

std::string Control::Text() const {
  const HWND hwnd = native_->hwnd;
  if (native_->kind == ControlKind::kStatusBar && native_->form != native_) {
    std::wstring text(LOWORD(SendMessageW(hwnd, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
    text.resize(LOWORD(SendMessageW(hwnd, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()))));
    return Narrow(text);
  }
  return Narrow(WindowText(hwnd));
}

void Control::SetHandler(Handler handler) { native_->handler = std::move(handler); }

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
  const bool shows_tooltip = native_->form != native_ && native_->kind != ControlKind::kStatusBar;
  if (shows_tooltip) UpdateTooltip(*native_);
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

void Control::BringToFront() { PutAfter(native_->hwnd, HWND_TOP); }

void Label::Names(Control& field) {
  if (native()->buddy != nullptr) return;
  native()->buddy = field.native();
  PutAbove(native()->hwnd, field.native()->hwnd);
}

ComboBox::ComboBox(const Control& parent, std::string_view name, Bounds bounds,
                   const std::vector<std::string>& items, int visible_rows)
    : Control(parent, ControlKind::kComboBox, name, bounds, {}) {
  const HWND combo = native()->hwnd;
  for (const std::string& item : items) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(visible_rows), 0);
  native()->visible_rows = visible_rows;
  Place(*native());
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void ComboBox::SetItemIndex(int index) {
  const auto count = static_cast<int>(SendMessageW(native()->hwnd, CB_GETCOUNT, 0, 0));
  SendMessageW(native()->hwnd, CB_SETCURSEL,
               static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
}

int ComboBox::ItemIndex() const {
  return static_cast<int>(SendMessageW(native()->hwnd, CB_GETCURSEL, 0, 0));
}

void CheckBox::SetChecked(bool checked) {
  SendMessageW(native()->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckBox::Checked() const {
  return SendMessageW(native()->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

ProgressBar::ProgressBar(const Control& parent, std::string_view name, Bounds bounds, int minimum,
                         int maximum)
    : Control(parent, ControlKind::kProgressBar, name, bounds, {}) {
  SendMessageW(native()->hwnd, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  SendMessageW(native()->hwnd, PBM_SETPOS, static_cast<WPARAM>(minimum), 0);
}

void ProgressBar::SetPosition(int position) {
  SendMessageW(native()->hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::Position() const {
  return static_cast<int>(SendMessageW(native()->hwnd, PBM_GETPOS, 0, 0));
}

// ---- Dialogs ----

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

// The save dialog until it names nothing that SaveRefusal() refuses: such
// a name is refused with a message, and the dialog asks again; false when
// cancelled.
bool AskForUsableName(OPENFILENAMEW& dialog) {
  for (;;) {
    if (!GetSaveFileNameW(&dialog)) return false;
    const std::string refusal = SaveRefusal(Narrow(dialog.lpstrFile));
    if (refusal.empty()) return true;
    ::MessageBoxW(dialog.hwndOwner, Widen(refusal).c_str(), dialog.lpstrTitle,
                  MB_ICONWARNING | MB_OK);
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
                                           : AskForUsableName(dialog);
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
  RegisterFormClass();
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
  constexpr UINT kIcons[] = {MB_ICONERROR, MB_ICONWARNING, MB_ICONINFORMATION, MB_ICONQUESTION};
  const UINT style = MB_SETFOREGROUND | kIcons[static_cast<int>(icon)] |
                     (buttons == MessageButtons::kRetryCancel ? MB_RETRYCANCEL : MB_OK);
  IconForSystemWindows icon_hook;
  switch (::MessageBoxW(ModalOwner(), Widen(whole).c_str(), Widen(title).c_str(), style)) {
    case IDRETRY: return MessageAnswer::kRetry;
    case IDCANCEL: return MessageAnswer::kCancel;
    default: return MessageAnswer::kOk;
  }
}

void Application::ShowException(const Exception& error) {
  MessageBox(StandardErrorText(error.what()), global().title, MessageIcon::kError,
             MessageButtons::kOk, error.detail());
}

namespace {

// Releases a COM object at the end of its scope.
template <typename T>
struct Held {
  T* object = nullptr;
  ~Held() {
    if (object != nullptr) object->Release();
  }
};

}  // namespace

std::optional<std::string> Application::ChooseFolder(std::string_view title,
                                                     std::string_view start_folder) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<std::string> chosen;
  {
    Held<IFileOpenDialog> dialog;
    Held<IShellItem> start, result;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&dialog.object)))) {
      FILEOPENDIALOGOPTIONS options = 0;
      dialog.object->GetOptions(&options);
      dialog.object->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM |
                                FOS_NOCHANGEDIR | FOS_DONTADDTORECENT);
      dialog.object->SetTitle(Widen(title).c_str());
      if (!start_folder.empty() &&
          SUCCEEDED(SHCreateItemFromParsingName(Widen(start_folder).c_str(), nullptr,
                                                IID_PPV_ARGS(&start.object)))) {
        dialog.object->SetFolder(start.object);
      }
      IconForSystemWindows icon;
      wchar_t* path = nullptr;
      if (SUCCEEDED(dialog.object->Show(ModalOwner())) &&
          SUCCEEDED(dialog.object->GetResult(&result.object)) &&
          SUCCEEDED(result.object->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = Narrow(path);
        CoTaskMemFree(path);
      }
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

}  // namespace zelbo::toolkit
