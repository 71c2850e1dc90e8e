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
// - Controls are thin handles: the form owns the real widgets; a handle
//   must not outlive its form.
// - Every event handler runs through CallHandler(): an Exception escaping
//   it is shown in the standard error box and the message loop goes on.
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

// The standard error box's text: the message, with a full stop appended
// when its last character has a code above that of the full stop.
std::string StandardErrorText(std::string_view message);

// How much larger than drawn a layout is shown with a desktop font of
// `points`: the layouts are drawn for the desktops' default 9-point font,
// so a larger font scales them and a smaller one leaves them as drawn.
double FontScale(double points);

// The name a label gives its field for assistive technology: its caption
// without a closing colon.
std::string AccessibleName(std::string_view caption);

// Why the save dialog must not return `path`, as the box that refuses it
// says: a folder that does not exist or that this user cannot write to, or
// an existing file that is read-only (for the calling user). Empty when it
// may.
std::string SaveRefusal(const std::string& path);

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
enum class Bevel { kLowered, kLoweredWithRaisedInner };
enum class ControlKind { kPanel, kEtchedPanel, kGroupBox, kLabel, kButton, kEdit, kComboBox,
                         kCheckBox, kProgressBar, kStatusBar };

class NativeWidget;  // the backend's widget, owned by the form

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
  std::string Hint() const;
  void SetFocus();
  // True while the control has the keyboard focus.
  bool HasFocus() const;
  // Puts the control above its overlapping siblings.
  void BringToFront();

  NativeWidget* native() const { return native_; }

 protected:
  // A control of `kind` on the form of `parent`, placed relative to it.
  Control(const Control& parent, ControlKind kind, std::string_view name, Bounds bounds,
          std::string_view text);
  explicit Control(NativeWidget* native) : native_(native) {}
  ~Control() = default;
  // The user's click (a button), change of text (an edit) or choice (a
  // list).
  void SetHandler(Handler handler);

 private:
  // The backend's widget for a new control, at `bounds` in the form.
  static NativeWidget* Create(NativeWidget* parent, ControlKind kind, std::string_view name,
                              Bounds bounds, std::string_view text);

  NativeWidget* native_;
  int left_ = 0;  // in the form, as drawn
  int top_ = 0;
};

class Button;

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
  void OnClose(Handler handler);
  void Close();
  // Fired with the path (UTF-8) when the user drops one local file onto the
  // window from a file manager, while drops are enabled. Drops of anything
  // else, of several files, or while disabled are refused.
  void OnFileDrop(std::function<void(const std::string& path)> handler);
  void SetFileDropsEnabled(bool enabled);
  // The button that the Escape key clicks; nullptr for none.
  void SetCancelButton(Button* button);
  // Keyboard focus order over the listed controls.
  void SetTabOrder(const std::vector<Control*>& order);
  // Draws the window now, not when the message loop comes round.
  void Repaint();
};

class Panel : public Control {
 public:
  Panel(const Control& parent, std::string_view name, Bounds bounds, Bevel bevel);
};

class GroupBox : public Control {
 public:
  GroupBox(const Control& parent, std::string_view name, Bounds bounds, std::string_view caption);
};

// A label of no size takes the size of its caption; one with a size wraps
// its caption and centres it vertically.
class Label : public Control {
 public:
  Label(const Control& parent, std::string_view name, Bounds bounds, std::string_view caption);
  // The label names `field` for assistive technology: as the field's name,
  // without a closing colon, or, where the platform names a field by its
  // own text (a label; a list on Linux), as the label tied to it. Where a
  // field's name is the label before it (Win32), the label goes before the
  // first field it names.
  void Names(Control& field);
};

class Button : public Control {
 public:
  Button(const Control& parent, std::string_view name, Bounds bounds, std::string_view caption);
  void OnClick(Handler handler) { SetHandler(std::move(handler)); }
};

// A single-line edit that accepts any text.
class Edit : public Control {
 public:
  Edit(const Control& parent, std::string_view name, Bounds bounds, std::string_view text);
  void OnChange(Handler handler) { SetHandler(std::move(handler)); }
};

// A drop-down list without typing. -1 selects nothing.
class ComboBox : public Control {
 public:
  ComboBox(const Control& parent, std::string_view name, Bounds bounds,
           const std::vector<std::string>& items, int visible_rows);
  void SetItemIndex(int index);  // an index outside the items selects nothing
  int ItemIndex() const;
  // Fired when the user selects an item.
  void OnChange(Handler handler) { SetHandler(std::move(handler)); }
};

class CheckBox : public Control {
 public:
  CheckBox(const Control& parent, std::string_view name, Bounds bounds, std::string_view caption);
  void SetChecked(bool checked);
  bool Checked() const;
};

class ProgressBar : public Control {
 public:
  ProgressBar(const Control& parent, std::string_view name, Bounds bounds, int minimum,
              int maximum);
  void SetPosition(int position);
  int Position() const;
};

// One simple panel (its text) that shows the hint of the control under the
// mouse.
class StatusBar : public Control {
 public:
  StatusBar(const Form& parent, std::string_view name, Bounds bounds);
};

struct FileFilter {
  std::string description;  // "Movies (*.mov;*.avi)"
  std::string patterns;     // "*.mov;*.avi"; "*.*" admits every file
};

// Modal file-open and file-save dialogs. The open dialog returns only an
// existing file. The save dialog returns a name in an existing folder,
// without adding an extension or asking before an existing file is named;
// it refuses, with a message of its own and without closing, what
// SaveRefusal() refuses.
class FileDialog {
 public:
  enum class Kind { kOpen, kSave };
  FileDialog(Kind kind, std::string title, std::vector<FileFilter> filters)
      : kind_(kind), title_(std::move(title)), filters_(std::move(filters)) {}

  void SetInitialFolder(std::string folder) { initial_folder_ = std::move(folder); }
  const std::string& InitialFolder() const { return initial_folder_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }
  // After a confirmed Execute(): the full path chosen.
  const std::string& FileName() const { return file_name_; }

  // Shows the dialog modally; true when the user confirmed a file.
  bool Execute();

 private:
  Kind kind_;
  std::string title_;
  std::vector<FileFilter> filters_;
  std::string initial_folder_;
  std::string file_name_;
};

class Application {
 public:
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application& Instance();

  void SetTitle(std::string_view title);
  std::string Title() const;

  // Shows the form centred on the screen and processes messages until it
  // has been closed.
  void Run(Form& main_form);
  // Processes the pending messages and returns.
  void ProcessMessages();

  Cursor GetCursor() const;
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
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zelbo::toolkit
