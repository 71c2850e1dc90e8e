// The windowing toolkit layer: the few things the windowed program needs
// from a user interface, behind one interface. Backends: toolkit_qt.cpp
// (Qt 6 Widgets) and toolkit_win32.cpp (USER32, GDI32, COMCTL32,
// COMDLG32). Nothing here names the backend's own types, so the program
// never includes them.
//
// Contracts that hold for every backend:
// - One Application exists before any control and outlives them all.
// - A form's controls are siblings: panels and group boxes are frames
//   drawn beneath the controls placed in them, not windows that hold
//   them. A control is placed relative to its parent (the form or a
//   frame), and shows its parent's hint when it has none of its own.
// - A control lies above the controls created before it; so a frame, made
//   before the controls placed in it, lies beneath them.
// - Controls are thin handles: the form owns the real widgets; a handle
//   must not outlive its form.
// - Every event handler runs through CallHandler(): an Exception escaping
//   it is shown in the standard error box and the message loop goes on;
//   any other exception travels on from the message loop, outside the
//   backend's own frames.
// - Positions are in pixels at 96 dots per inch for the desktop's default
//   font; the backend scales them with the screen's resolution and with
//   the desktop's font size (FontScale), so the window grows with a larger
//   font as a dialog does, and stays fixed-size at that scale.
// - A selection set by code in a ComboBox fires nothing; a text set by code
//   in an Edit fires OnChange when it differs from the text shown.
// - Titles of windows, dialogs and message boxes are shown exactly as given:
//   nothing (such as the application's name) is added to them.
// - Every window shows the application's icon, from the backend's own
//   resources.
// - Nothing is written to disk by the toolkit itself (no dialog history,
//   no settings of its own).
//
// What the backends share (hints, handlers, the close that waits for a
// running handler, Escape, file drops) is written once, in toolkit.cpp;
// a backend adds its widgets and the events that lead there.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelbo::toolkit {

// The base class of the errors that the toolkit shows in its standard error
// box (title: the application's title, error icon, OK).
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, std::string detail = {})
      : std::runtime_error(message), detail_(std::move(detail)) {}
  // What the system said, shown below the message; may be empty.
  const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

using Handler = std::function<void()>;

// Runs an event handler; an Exception that escapes it is shown in the
// standard error box instead of travelling on, and the result is false.
bool CallHandler(const Handler& handler);

// How much larger than drawn a layout is shown with a desktop font of
// `points`: the layouts are drawn for the desktops' default 9-point font,
// so a larger font scales them and a smaller one leaves them as drawn.
double FontScale(double points);

// The program's judgement of a path (UTF-8) the user chose: why it must not
// be taken, as the box that refuses it says; empty when it may.
using Refusal = std::function<std::string(const std::string& path)>;

// For the backends' message loops: an exception other than Exception that
// escaped an event handler travels on from here.
void RethrowEscaped();

struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;   // 0 with height 0: sized to the caption
  int height = 0;
};

enum class Cursor { kDefault, kHourGlass };
enum class MessageIcon { kError, kWarning, kInformation, kQuestion };
enum class MessageButtons { kOk, kRetryCancel };
enum class MessageAnswer { kOk, kRetry, kCancel };
enum class ControlKind { kForm, kPanel, kEtchedPanel, kGroupBox, kLabel, kButton, kEdit, kComboBox,
                         kCheckBox, kProgressBar, kStatusBar };

class NativeWidget;  // the backend's widget, owned by the form
class Form;

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // A window's title, a label's, button's or frame's caption, an edit's
  // text, a status bar's simple text.
  void SetText(std::string_view text);
  std::string Text() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetVisible(bool visible);
  bool Visible() const;
  // The hint appears in the form's status bar while the mouse rests on the
  // control (a control without one shows its parent's), and as a tooltip
  // on controls that have one of their own.
  void SetHint(std::string_view hint);
  const std::string& Hint() const { return hint_; }
  void SetFocus();
  // True while the control has the keyboard focus.
  bool HasFocus() const;

  // For the backends.
  NativeWidget* native() const { return native_; }
  ControlKind kind() const { return kind_; }
  Form& form() const { return *form_; }
  const Bounds& bounds() const { return bounds_; }  // in the form, as drawn
  // The hint the status bar shows for the control: its own, else that of
  // the control it was placed in, and so on up to the form's.
  const std::string& ShownHint() const;
  // The user's click (a button), change of text (an edit) or choice (a
  // list): runs the control's handler as an event handler.
  void Fire();

 protected:
  // A control of `kind` on the form of `parent`, placed relative to it.
  Control(const Control& parent, ControlKind kind, std::string_view name, Bounds bounds,
          std::string_view text);
  // The form itself.
  Control(Form* form, Bounds bounds) : form_(form), kind_(ControlKind::kForm), bounds_(bounds) {}
  ~Control() = default;
  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  // A list's selected item (-1: none; one outside the items selects
  // nothing), a check box's state (0 or 1), a bar's position.
  void SetValue(int value);
  int Value() const;

  NativeWidget* native_ = nullptr;

 private:
  // The backend's widget for the control, at its place in the form.
  void Create(std::string_view name, std::string_view text);
  // The hint as the control's tooltip.
  void ShowTooltip();

  Form* form_;
  const Control* parent_ = nullptr;  // the form or a frame; none for the form
  ControlKind kind_;
  Bounds bounds_;
  std::string hint_;
  Handler handler_;
};

// A fixed-size dialog-style window: no minimise or maximise box, a close
// box, the system's button-face background.
class Form : public Control {
 public:
  Form(std::string_view name, std::string_view caption, int client_width, int client_height);
  ~Form();

  // Fired on every closing of the window (close box, Close(), Alt+F4); an
  // Exception escaping the handler keeps the window open. A close that
  // comes while an event handler is running (a close box clicked during the
  // message pump of a split run) fires the handler at once, but the window
  // stays shown and working until that event handler has returned; then it
  // closes, and Application::Run returns.
  void OnClose(Handler handler) { on_close_ = std::move(handler); }
  void Close();
  // Fired with the path (UTF-8) when the user drops one local file that
  // `takes` takes onto the window from a file manager, while drops are
  // enabled. Drops of anything else, of several files, or while disabled
  // are refused.
  using PathHandler = std::function<void(const std::string& path)>;
  void OnFileDrop(std::function<bool(const std::string& path)> takes, PathHandler handler) {
    takes_drop_ = std::move(takes);
    on_file_drop_ = std::move(handler);
  }
  void SetFileDropsEnabled(bool enabled);
  // The button that the Escape key clicks; nullptr for none.
  void SetCancelButton(Control* button) { cancel_button_ = button; }
  // The order of the listed controls: for the keyboard, over those that take
  // the focus; for assistive technology, over all of them where it reads a
  // window in that order (Win32), which also names a field by the label
  // listed right before it.
  void SetTabOrder(const std::vector<Control*>& order);
  // Draws the window now, not when the message loop comes round.
  void Repaint();

  // For the backends.
  // Runs an event handler; when the outermost one returns, a close that
  // came meanwhile takes effect.
  void RunHandler(const Handler& handler);
  // Whether a close that comes now closes the window (see OnClose).
  bool MayClose();
  // Escape: clicks the cancel button if one is set and enabled; false when
  // none was.
  bool PressCancel();
  // Whether a drop of this one local file is taken now; the drop itself,
  // which fires the handler only if it is.
  bool TakesDrop(const std::string& path) const;
  void Drop(const std::string& path);
  // Shows the hint of `control` in the status bar, if there is one.
  void ShowHint(const Control& control);

 private:
  friend class Control;
  Handler on_close_;
  std::function<bool(const std::string&)> takes_drop_;
  PathHandler on_file_drop_;
  bool drops_enabled_ = false;
  bool close_waiting_ = false;
  bool closing_after_handler_ = false;
  Control* cancel_button_ = nullptr;
  Control* status_bar_ = nullptr;
};

// A control that differs from the others by its kind only.
template <ControlKind kKind>
class Plain : public Control {
 public:
  Plain(const Control& parent, std::string_view name, Bounds bounds, std::string_view text = {})
      : Control(parent, kKind, name, bounds, text) {}
};

using GroupBox = Plain<ControlKind::kGroupBox>;
// One simple panel (its text) that shows the hint of the control under the
// mouse.
using StatusBar = Plain<ControlKind::kStatusBar>;

// A lowered frame, and one lowered with a raised inner rim.
using Panel = Plain<ControlKind::kPanel>;
using EtchedPanel = Plain<ControlKind::kEtchedPanel>;

// A label of no size takes the size of its caption; one with a size wraps
// its caption and centres it vertically.
class Label : public Plain<ControlKind::kLabel> {
 public:
  using Plain::Plain;
  // The label names `field` for assistive technology: as the field's name,
  // without a closing colon, or, where the platform names a field by its
  // own text (a label; a list on Linux), as the label tied to it. Where a
  // field's name is the label before it (Win32), SetTabOrder() names it.
  void Names(Control& field);
};

class Button : public Plain<ControlKind::kButton> {
 public:
  using Plain::Plain;
  void OnClick(Handler handler) { SetHandler(std::move(handler)); }
};

// A single-line edit that accepts any text.
class Edit : public Plain<ControlKind::kEdit> {
 public:
  using Plain::Plain;
  void OnChange(Handler handler) { SetHandler(std::move(handler)); }
};

// A drop-down list without typing. -1 selects nothing.
class ComboBox : public Control {
 public:
  ComboBox(const Control& parent, std::string_view name, Bounds bounds,
           const std::vector<std::string>& items, int visible_rows)
      : Control(parent, ControlKind::kComboBox, name, bounds, {}) {
    Fill(items, visible_rows);
  }
  void SetItemIndex(int index) { SetValue(index); }  // an index outside the items selects nothing
  int ItemIndex() const { return Value(); }
  // Fired when the user selects an item.
  void OnChange(Handler handler) { SetHandler(std::move(handler)); }

 private:
  void Fill(const std::vector<std::string>& items, int visible_rows);
};

class CheckBox : public Plain<ControlKind::kCheckBox> {
 public:
  using Plain::Plain;
  void SetChecked(bool checked) { SetValue(checked ? 1 : 0); }
  bool Checked() const { return Value() != 0; }
};

// A bar from 0 to 100, at 0 when created.
class ProgressBar : public Plain<ControlKind::kProgressBar> {
 public:
  using Plain::Plain;
  void SetPosition(int position) { SetValue(position); }
  int Position() const { return Value(); }
};

struct FileFilter {
  std::string description;  // "Movies (*.mov;*.avi)"
  std::string patterns;     // "*.mov;*.avi"; "*.*" admits every file
};

// Modal file-open and file-save dialogs. The open dialog returns only an
// existing file. The save dialog returns a name in an existing folder,
// without adding an extension or asking before an existing file is named.
// Either refuses what `refusal` refuses, with its words in a box of the
// dialog's own, and stays open for another name.
struct FileDialog {
  enum class Kind { kOpen, kSave };
  FileDialog(Kind kind, std::string title, std::vector<FileFilter> filters)
      : kind(kind), title(std::move(title)), filters(std::move(filters)) {}

  // Shows the dialog modally; true when the user confirmed a file.
  bool Execute();

  Kind kind;
  std::string title;
  std::vector<FileFilter> filters;
  std::string initial_folder;  // the system's choice when empty
  std::string file_name;       // shown first; after a confirmed Execute(), the full path chosen
  Refusal refusal;             // none: every name the dialog admits is taken
};

class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application& Instance() { return *instance_; }

  // The title of the standard error box.
  void SetTitle(std::string_view title) { title_ = title; }

  // Shows the form centred on the screen and processes messages until it
  // has been closed.
  void Run(Form& main_form);
  // Processes the pending messages and returns.
  void ProcessMessages();

  Cursor GetCursor() const { return cursor_; }
  void SetCursor(Cursor cursor);

  // A modal box; `detail`, when not empty, is shown below the text (the
  // system's reason for a failure, for example).
  MessageAnswer MessageBox(std::string_view text, std::string_view title,
                           MessageIcon icon, MessageButtons buttons,
                           std::string_view detail = {});
  void ShowException(const Exception& error);
  // A modal dialog that asks for an existing folder, starting in
  // `start_folder` (the system's choice when empty); the folder chosen, or
  // nothing when the user cancels.
  std::optional<std::string> ChooseFolder(std::string_view title,
                                          std::string_view start_folder);

 private:
  static inline Application* instance_ = nullptr;
  struct State;
  std::unique_ptr<State> state_;
  std::string title_;
  Cursor cursor_ = Cursor::kDefault;
};

}  // namespace zelbo::toolkit
