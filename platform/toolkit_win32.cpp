// The toolkit layer on the Windows user interface itself: USER32 windows,
// common controls 6 (COMCTL32), the common dialogs (COMDLG32 and the
// folder dialog of SHELL32) and GDI.
//
// Every control is a plain child window of the form, whose window
// procedure takes all their notifications and leads them to what the
// backends share. What Win32 does not give as the layer wants it, added
// here:
// - Each control goes on top of the z-order as it is created. The form's
//   order (SetTabOrder) then takes the top of it: the dialog manager walks
//   it for the focus, screen readers read it, and name a field by the label
//   right before it.
// - Keyboard: Enter presses nothing unless a dropped-down list takes it.
// - Hints: the message pump finds the control under the mouse, disabled
//   controls included, for the form's status bar.
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
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
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

// What the form's window keeps beside its Form, in its extra bytes.
struct FormState {
  int dpi = kDesignDpi;
  double font_scale = 1;
  HFONT font = nullptr;
  HWND tooltip = nullptr;
  int next_control_id = kFirstControlId;
  const Control* hint_shown_for = nullptr;
  HWND focus_when_inactive = nullptr;
  bool closed = false;
};

HWND Hwnd(const Control& control) { return reinterpret_cast<HWND>(control.native()); }

// The control of a window of the form (the form's own included); nullptr
// once the form is being destroyed.
Control* ControlOf(HWND hwnd) {
  return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

FormState& StateOf(const Control& control) {
  return *reinterpret_cast<FormState*>(GetWindowLongPtrW(Hwnd(control.form()), 0));
}

bool HasClass(HWND hwnd, const wchar_t* window_class) {
  wchar_t name[16];
  return hwnd != nullptr && GetClassNameW(hwnd, name, 16) != 0 &&
         lstrcmpiW(name, window_class) == 0;
}

// ---- Scale: the screen's dpi and the desktop's font ----

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDesignDpi;
}

// The window's own dpi is known from Windows 10 on; the function is looked
// up, so that the program still starts on Windows 7.
int DpiOf(HWND hwnd) {
  static const auto get_dpi = reinterpret_cast<UINT(WINAPI*)(HWND)>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
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

int Scaled(int pixels, const FormState& form) {
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
HFONT CreateFormFont(const FormState& form) {
  const bool as_drawn = form.dpi == kDesignDpi && form.font_scale == 1;
  const auto height = std::lround(kFontPoints * form.dpi * form.font_scale / 72.0);
  const wchar_t* face = L"MS Sans Serif";
  if (!as_drawn && FontInstalled(L"Microsoft Sans Serif")) face = L"Microsoft Sans Serif";
  return CreateFontW(-static_cast<int>(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face);
}

// ---- Text and placement ----

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The size of the window's text in `font`, wrapped at `width` when it is
// not 0, as a label draws it.
SIZE TextSize(HWND hwnd, HFONT font, int width) {
  const std::wstring text = WindowText(hwnd);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font);
  RECT rect{0, 0, width, 0};
  DrawTextW(
      dc, text.c_str(), static_cast<int>(text.size()), &rect,
      DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (width > 0 ? DT_WORDBREAK | DT_EDITCONTROL : 0));
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void Place(const Control& control) {
  const FormState& form = StateOf(control);
  const HWND hwnd = Hwnd(control);
  const Bounds& b = control.bounds();
  int top = Scaled(b.top, form);
  int width = Scaled(b.width, form);
  int height = Scaled(b.height, form);
  if (control.kind() == ControlKind::kLabel) {
    const SIZE text = TextSize(hwnd, form.font, width);
    if (width == 0) {
      width = text.cx;
      height = text.cy;
    } else if (text.cy < height) {  // centred vertically
      top += (height - text.cy) / 2;
      height = text.cy;
    }
  } else if (control.kind() == ControlKind::kComboBox) {  // and its dropped list
    height += static_cast<int>(SendMessageW(hwnd, CB_GETMINVISIBLE, 0, 0) *
                               SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0)) +
              2;
  }
  SetWindowPos(hwnd, nullptr, Scaled(b.left, form), top, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fonts and positions for the form's dpi, after creation or a dpi change.
void ApplyDpi(const Form& form, int dpi) {
  FormState& state = StateOf(form);
  state.dpi = dpi;
  HFONT old = state.font;
  state.font = CreateFormFont(state);
  EnumChildWindows(
      Hwnd(form),
      [](HWND child, LPARAM font) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
        if (const Control* control = ControlOf(child)) Place(*control);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(state.font));
  if (old != nullptr) DeleteObject(old);
  InvalidateRect(Hwnd(form), nullptr, TRUE);
}

void PutAfter(HWND hwnd, HWND after) {
  if (after != hwnd) {
    SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void SetName(HWND hwnd, std::string_view name) {
  const ATOM atom = GlobalAddAtomW(Widen(name).c_str());
  if (atom != 0)
    SetPropW(hwnd, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

BOOL CALLBACK ForgetName(HWND hwnd, LPARAM) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(hwnd, kNameProperty)));
  if (atom != 0) GlobalDeleteAtom(atom);
  return TRUE;
}

// The window of each kind of control, in the order of ControlKind. SS_NOTIFY:
// a frame or label takes the mouse itself, for a tooltip of its own and so
// that it shows none of the control beneath; a label with a size wraps.
// The form is not WS_CLIPCHILDREN: the frames' insides are its background.
struct WindowKind {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
  UINT set_value = 0;  // a list's selection, a check box's state, a bar's position
  UINT get_value = 0;
};
constexpr WindowKind kWindowKinds[] = {
    {kFormClass, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
     WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW},
    {WC_STATICW, SS_NOTIFY, WS_EX_STATICEDGE},
    {WC_STATICW, SS_NOTIFY | SS_ETCHEDFRAME, 0},
    {WC_BUTTONW, BS_GROUPBOX, 0},
    {WC_STATICW, SS_NOPREFIX | SS_NOTIFY | SS_LEFTNOWORDWRAP, 0},
    {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0},
    {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, CB_SETCURSEL, CB_GETCURSEL},
    {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0, BM_SETCHECK, BM_GETCHECK},
    {PROGRESS_CLASSW, 0, 0, PBM_SETPOS, PBM_GETPOS},  // from 0 to 100 as created
    {STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOMOVEY, 0},
};
constexpr WindowKind kFormWindow = kWindowKinds[0];
constexpr DWORD kWrappedLabel = SS_NOPREFIX | SS_NOTIFY | SS_EDITCONTROL;

// ---- Messages ----

void FocusControl(HWND hwnd) {
  SetFocus(hwnd);
  // As the dialog manager does when the keyboard moves into an edit.
  if (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
    SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

// The hint of the control under the mouse, disabled ones too, into the
// status bar; only when the mouse reached another control.
void ShowHintAt(Form& form, POINT point) {
  ScreenToClient(Hwnd(form), &point);
  const HWND child = ChildWindowFromPointEx(Hwnd(form), point, CWP_SKIPINVISIBLE);
  const Control* under = child != nullptr ? ControlOf(child) : nullptr;
  FormState& state = StateOf(form);
  if (under == nullptr || under == state.hint_shown_for) return;
  state.hint_shown_for = under;
  form.ShowHint(*under);
}

bool IsEnter(const MSG& msg) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) &&
         (msg.wParam == VK_RETURN || msg.wParam == L'\r');
}

bool IsDroppedList(HWND hwnd) {
  return HasClass(hwnd, WC_COMBOBOXW) && SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

Form* FormOfWindow(HWND hwnd) {
  const HWND root = hwnd != nullptr ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  Control* form = HasClass(root, kFormClass) ? ControlOf(root) : nullptr;
  return form != nullptr ? &form->form() : nullptr;
}

// One message through the form's keyboard and hint rules, then on to its
// window. Messages of other windows (the system's dialogs) pass unchanged.
void Dispatch(MSG& msg) {
  if (Form* form = FormOfWindow(msg.hwnd)) {
    if (msg.message == WM_MOUSEMOVE) ShowHintAt(*form, msg.pt);
    if (IsEnter(msg) && !IsDroppedList(GetFocus())) return;  // Enter presses nothing
    if (IsDialogMessageW(Hwnd(*form), &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

// Whether a notification is the user's click (a button), change of text
// (an edit) or choice (a list: from a dropped-down list once, when it
// closes on an item; from the closed list at each arrow key). No other
// control of the form sends one of these codes to a handler of its own.
bool IsUserAction(HWND control, UINT code) {
  return code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELENDOK ||
         (code == CBN_SELCHANGE && !IsDroppedList(control));
}

void DropFiles(Form& form, HDROP drop) {
  std::wstring path;
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
  }
  DragFinish(drop);
  if (!path.empty()) form.Drop(Narrow(path));
}

// Keeps the focus on its control across a switch to another window.
void KeepFocus(const Form& form, bool activated) {
  FormState& state = StateOf(form);
  if (!activated) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(Hwnd(form), focus)) state.focus_when_inactive = focus;
  } else if (state.focus_when_inactive != nullptr && IsWindow(state.focus_when_inactive) &&
             IsWindowEnabled(state.focus_when_inactive)) {
    SetFocus(state.focus_when_inactive);
  } else {
    SetFocus(Hwnd(form));
  }
}

void HideClosed(const Form& form) {
  FormState& state = StateOf(form);
  state.closed = true;
  ShowWindow(Hwnd(form), SW_HIDE);
  PostMessageW(Hwnd(form), WM_NULL, 0, 0);  // wakes the message loop
}

HBRUSH FaceBrush() { return GetSysColorBrush(COLOR_BTNFACE); }

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Control* control = ControlOf(hwnd);
  if (control == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  Form& form = control->form();
  switch (message) {
    case WM_CLOSE:
      if (!StateOf(form).closed && form.MayClose()) HideClosed(form);
      return 0;
    case WM_COMMAND:
      if (lparam == 0) {
        if (LOWORD(wparam) == IDCANCEL) form.PressCancel();  // Escape, from the dialog manager
      } else if (Control* sender = ControlOf(reinterpret_cast<HWND>(lparam));
                 sender != nullptr && IsUserAction(Hwnd(*sender), HIWORD(wparam))) {
        sender->Fire();
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
      KeepFocus(form, LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_SETCURSOR:  // the busy pointer over the form and its controls, disabled ones too
      if (Application::Instance().GetCursor() == Cursor::kHourGlass && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ApplyDpi(form, HIWORD(wparam));
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DROPFILES:
      DropFiles(form, reinterpret_cast<HDROP>(wparam));
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// ---- Icons and owners ----

HICON Icon(int width, int height) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                       IMAGE_ICON, width, height, width == 0 ? LR_DEFAULTSIZE : 0));
}

HICON SmallIcon() { return Icon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)); }

void RegisterFormClass() {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.cbWndExtra = sizeof(FormState*);
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
  return IsWindowVisible(active) && FormOfWindow(active) != nullptr ? active : nullptr;
}

// On the primary monitor's work area.
void CentreOnScreen(HWND hwnd) {
  RECT area, window;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(hwnd, &window);
  SetWindowPos(hwnd, nullptr,
               area.left + (area.right - area.left - (window.right - window.left)) / 2,
               area.top + (area.bottom - area.top - (window.bottom - window.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// ---- Form ----

Form::Form(std::string_view name, std::string_view caption, int client_width, int client_height)
    : Control(this, {0, 0, client_width, client_height}) {
  const HWND hwnd =
      CreateWindowExW(kFormWindow.ex_style, kFormClass, Widen(caption).c_str(), kFormWindow.style,
                      CW_USEDEFAULT, CW_USEDEFAULT, client_width, client_height, nullptr, nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  native_ = reinterpret_cast<NativeWidget*>(hwnd);
  auto* state = new FormState;
  state->font_scale = DesktopFontScale();
  SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(state));
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Control*>(this)));
  SetName(hwnd, name);
  SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon()));
  ApplyDpi(*this, DpiOf(hwnd));
  state->tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  SendMessageW(state->tooltip, TTM_SETMAXTIPWIDTH, 0, Scaled(400, *state));
  // The frame around the client area, as the system drew it for this dpi.
  RECT window, client;
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  SetWindowPos(hwnd, nullptr, 0, 0,
               Scaled(client_width, *state) + window.right - window.left - client.right,
               Scaled(client_height, *state) + window.bottom - window.top - client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The controls' handles are gone by now: the form's window stops leading
// messages to them before it is destroyed.
Form::~Form() {
  const HWND hwnd = Hwnd(*this);
  FormState* state = &StateOf(*this);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  EnumChildWindows(hwnd, ForgetName, 0);
  ForgetName(hwnd, 0);
  DestroyWindow(hwnd);  // and with it every control and the tooltip
  DeleteObject(state->font);
  delete state;
}

void Form::Close() { SendMessageW(Hwnd(*this), WM_CLOSE, 0, 0); }

void Form::SetFileDropsEnabled(bool enabled) {
  drops_enabled_ = enabled;
  DragAcceptFiles(Hwnd(*this), enabled);
}

// The dialog manager moves the focus along the z-order.
void Form::SetTabOrder(const std::vector<Control*>& order) {
  HWND after = HWND_TOP;
  for (Control* control : order) {
    PutAfter(Hwnd(*control), after);
    after = Hwnd(*control);
  }
}

// Paints what is waiting to be painted, now.
void Form::Repaint() {
  RedrawWindow(Hwnd(*this), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// ---- Controls ----

void Control::Create(std::string_view name, std::string_view text) {
  FormState& form = StateOf(*this);
  WindowKind window = kWindowKinds[static_cast<int>(kind_)];
  if (kind_ == ControlKind::kLabel && bounds_.width != 0) window.style = kWrappedLabel;
  const HWND hwnd = CreateWindowExW(
      window.ex_style, window.window_class, Widen(text).c_str(),
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | window.style, 0, 0, 0, 0, Hwnd(*form_),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(form.next_control_id++)),
      GetModuleHandleW(nullptr), nullptr);
  native_ = reinterpret_cast<NativeWidget*>(hwnd);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetName(hwnd, name);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  PutAfter(hwnd, HWND_TOP);
  Place(*this);
}

// A status bar's text is that of its one part.
void Control::SetText(std::string_view text) {
  // EN_CHANGE follows every WM_SETTEXT: the same text is not set again.
  const std::wstring wide = Widen(text);
  if (WindowText(Hwnd(*this)) == wide) return;
  SetWindowTextW(Hwnd(*this), wide.c_str());
  if (kind_ == ControlKind::kLabel) Place(*this);
}

std::string Control::Text() const { return Narrow(WindowText(Hwnd(*this))); }

void Control::SetValue(int value) {
  const HWND hwnd = Hwnd(*this);
  // An index outside the items selects nothing, whatever the version.
  if (kind_ == ControlKind::kComboBox && value >= SendMessageW(hwnd, CB_GETCOUNT, 0, 0)) value = -1;
  SendMessageW(hwnd, kWindowKinds[static_cast<int>(kind_)].set_value,
               static_cast<WPARAM>(std::max(value, -1)), 0);
}

int Control::Value() const {
  return static_cast<int>(
      SendMessageW(Hwnd(*this), kWindowKinds[static_cast<int>(kind_)].get_value, 0, 0));
}

void Control::SetEnabled(bool enabled) {
  // A disabled control loses the focus to the form, where Escape still works.
  if (!enabled && GetFocus() == Hwnd(*this)) ::SetFocus(Hwnd(*form_));
  EnableWindow(Hwnd(*this), enabled);
}

bool Control::Enabled() const { return IsWindowEnabled(Hwnd(*this)) != FALSE; }

void Control::SetVisible(bool visible) { ShowWindow(Hwnd(*this), visible ? SW_SHOWNA : SW_HIDE); }

bool Control::Visible() const {
  return (GetWindowLongPtrW(Hwnd(*this), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::ShowTooltip() {
  std::wstring text = Widen(hint_);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Hwnd(*form_);
  tool.uId = reinterpret_cast<UINT_PTR>(Hwnd(*this));
  tool.lpszText = text.data();
  const HWND tooltip = StateOf(*this).tooltip;
  SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (!text.empty()) SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Also where the form's activation puts the focus, when it is first shown
// or is activated again before anyone moved the focus.
void Control::SetFocus() {
  StateOf(*this).focus_when_inactive = Hwnd(*this);
  if (IsWindowVisible(Hwnd(*form_))) FocusControl(Hwnd(*this));
}

bool Control::HasFocus() const { return GetFocus() == Hwnd(*this); }

// A field is named by the label before it in the form's order.
void Label::Names(Control&) {}

void ComboBox::Fill(const std::vector<std::string>& items, int visible_rows) {
  const HWND combo = Hwnd(*this);
  for (const std::string& item : items) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETMINVISIBLE, static_cast<WPARAM>(visible_rows), 0);
  Place(*this);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

// ---- Dialogs ----

namespace {

// "Description\0patterns\0...\0\0", as the common dialogs take filters.
std::wstring FilterText(const std::vector<FileFilter>& filters) {
  std::wstring text;
  for (const FileFilter& filter : filters) {
    text += Widen(filter.description) + L'\0' + Widen(filter.patterns) + L'\0';
  }
  return text + L'\0';
}

// Room for a path of the longest length Windows knows.
constexpr std::size_t kPathRoom = 32768;

// The dialog until it names nothing that `refusal` refuses: such a name is
// refused with a message, and the dialog asks again; false when cancelled.
bool AskForUsableName(OPENFILENAMEW& dialog, FileDialog::Kind kind, const Refusal& refusal) {
  for (;;) {
    if (!(kind == FileDialog::Kind::kOpen ? GetOpenFileNameW : GetSaveFileNameW)(&dialog)) {
      return false;
    }
    const std::string refused = refusal ? refusal(Narrow(dialog.lpstrFile)) : "";
    if (refused.empty()) return true;
    ::MessageBoxW(dialog.hwndOwner, Widen(refused).c_str(), dialog.lpstrTitle,
                  MB_ICONWARNING | MB_OK);
  }
}

}  // namespace

bool FileDialog::Execute() {
  const std::wstring filter_text = FilterText(filters);
  const std::wstring wide_title = Widen(title);
  const std::wstring folder = Widen(initial_folder);
  std::wstring name = Widen(file_name);
  name.resize(std::max(kPathRoom, name.size() + 1), L'\0');

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = ModalOwner();
  dialog.lpstrFilter = filter_text.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = wide_title.c_str();
  // The dialog neither changes the current folder nor adds to the recent
  // documents.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLESIZING |
                 OFN_NOCHANGEDIR | OFN_DONTADDTORECENT;
  if (kind == Kind::kOpen) {
    dialog.Flags |= OFN_FILEMUSTEXIST | OFN_SHAREAWARE | OFN_NONETWORKBUTTON;
  } else {
    dialog.Flags |= OFN_NOREADONLYRETURN;
  }
  IconForSystemWindows icon;
  const bool chosen = AskForUsableName(dialog, kind, refusal);
  if (chosen) file_name = Narrow(name.c_str());
  return chosen;
}

// ---- Application ----

struct Application::State {};  // the thread's own: the windows and their queue

Application::Application(int&, char**) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterFormClass();
  instance_ = this;
}

Application::~Application() { instance_ = nullptr; }

void Application::Run(Form& main_form) {
  const HWND form = Hwnd(main_form);
  const FormState& state = StateOf(main_form);
  CentreOnScreen(form);
  ShowWindow(form, SW_SHOW);
  SetForegroundWindow(form);
  if (state.focus_when_inactive != nullptr) FocusControl(state.focus_when_inactive);
  MSG msg;
  while (!state.closed && GetMessageW(&msg, nullptr, 0, 0) > 0) {
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
  static DWORD emptied = 0;                    // when the queue was last emptied
  const DWORD now = GetTickCount();
  if (HIWORD(GetQueueStatus(kPending)) == 0 && now - emptied < kEmptiedAtLeastEvery) return;
  emptied = now;
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

void Application::SetCursor(Cursor cursor) {
  cursor_ = cursor;
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

namespace {

// The folder the user picks in the shell's folder dialog, if any.
std::optional<std::string> PickFolder(std::string_view title, std::string_view start_folder) {
  Microsoft::WRL::ComPtr<IFileOpenDialog> dialog;  // each released at the end
  Microsoft::WRL::ComPtr<IShellItem> start, result;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(dialog.GetAddressOf())))) {
    return std::nullopt;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR |
                     FOS_DONTADDTORECENT);
  dialog->SetTitle(Widen(title).c_str());
  if (!start_folder.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(Widen(start_folder).c_str(), nullptr,
                                            IID_PPV_ARGS(start.GetAddressOf())))) {
    dialog->SetFolder(start.Get());
  }
  IconForSystemWindows icon;
  wchar_t* path = nullptr;
  if (FAILED(dialog->Show(ModalOwner())) || FAILED(dialog->GetResult(result.GetAddressOf())) ||
      FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    return std::nullopt;
  }
  std::string chosen = Narrow(path);
  CoTaskMemFree(path);
  return chosen;
}

}  // namespace

std::optional<std::string> Application::ChooseFolder(std::string_view title,
                                                     std::string_view start_folder) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::optional<std::string> chosen = PickFolder(title, start_folder);
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

}  // namespace zelbo::toolkit
