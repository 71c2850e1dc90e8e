// What the window scenarios need of a running zelbo32, whatever its
// toolkit: start it, act on its controls as a user does, read what they
// show, answer its boxes and file dialogs by title, and read its stored
// settings. Two drivers: the Qt one drives the real window inside the test
// process; the wine one drives Zelbo32.exe from outside, through the X
// server, with a probe program reading its windows.
//
// Actions are asynchronous, as a user's are: a click may open a modal box
// and return before it shows. Reads see the program as it is now; the
// scenarios wait for what they expect.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelbo::desktop {

namespace fs = std::filesystem;

// What a control of the main window shows. Controls are named as the
// window's code names them ("Amount", "StatusBar1"); "MainForm" is the
// window itself.
struct ControlState {
  std::string text;  // caption, edit text, status bar text; a list's selected item
  bool enabled = false;
  bool visible = false;
  bool checked = false;
  int index = -1;    // the selected item of a list
  int position = 0;  // of a progress bar
};

struct BoxSeen {
  std::string text;
  std::vector<std::string> buttons;  // "OK", "Retry", "Cancel"
};

struct Stored {
  enum class Type { kNone, kText, kNumber, kOther };
  Type type = Type::kNone;
  std::string text;
  std::int32_t number = 0;
  bool operator==(const Stored&) const = default;
};

inline Stored StoredText(std::string text) { return {Stored::Type::kText, std::move(text), 0}; }
inline Stored StoredNumber(std::int32_t number) { return {Stored::Type::kNumber, {}, number}; }

class Driver {
 public:
  virtual ~Driver() = default;

  // Runs a scenario's body where this driver needs it to run.
  virtual void Play(const std::function<void()>& body) { body(); }

  // The path by which the program reaches a file of the test.
  virtual std::string ProgramPath(const fs::path& host) const = 0;
  // Makes a folder a medium of its own for the program (a drive under
  // Windows); returns the program's path of its root.
  virtual std::string AttachMedium(const fs::path& folder) = 0;
  // The medium attached there was taken out: Windows drops its drive.
  virtual void DetachMedium(const fs::path& folder) = 0;

  // Starts the program; returns once one of its windows shows.
  virtual void Launch() = 0;
  // Waits for the program to end; its exit code.
  virtual int WaitForExit() = 0;
  // The main window's client size in pixels.
  virtual std::pair<int, int> ClientSize() = 0;
  // The dots per inch of the screen, and the size in points of the
  // desktop's font (0: its own), for programs started from now on; false
  // where the driver cannot change them.
  virtual bool SetScreenDpi(int dpi) = 0;
  virtual bool SetDesktopFont(int points) = 0;
  // A file-size limit for the program, as `ulimit -f` sets one (-1: none);
  // false where its system has no such limit.
  virtual bool LimitFileSize(std::int64_t bytes) = 0;

  virtual ControlState State(std::string_view control) = 0;
  virtual std::string FocusedControl() = 0;  // "" when none has the focus
  // The tooltip shown now, waiting a while for one to appear.
  virtual std::string Tooltip() = 0;
  // The mouse pointer's shape now, as a name to compare with another.
  virtual std::string Pointer() = 0;

  virtual void Click(std::string_view control) = 0;
  // Replaces the text of an edit, one key at a time.
  virtual void Type(std::string_view control, std::string_view text) = 0;
  // Opens a drop-down list and chooses an item.
  virtual void Pick(std::string_view control, int index) = 0;
  virtual void Hover(std::string_view control) = 0;
  // A key to the main window: "Tab", "shift+Tab", "Escape", "Return", "space".
  virtual void Key(std::string_view key) = 0;
  // As the close box or Alt+F4 does.
  virtual void CloseWindow() = 0;

  // Boxes and file dialogs, by their title; "*" stands for any.
  virtual bool BoxShown(std::string_view title) = 0;
  virtual bool DialogShown(std::string_view title) = 0;
  virtual BoxSeen ReadBox(std::string_view title) = 0;
  virtual void Press(std::string_view title, std::string_view button) = 0;
  virtual std::string DialogFileName(std::string_view title) = 0;
  virtual std::vector<std::string> DialogFilters(std::string_view title) = 0;
  // Puts a path into the dialog's file name and confirms it; an empty one
  // cancels the dialog.
  virtual void AnswerDialog(std::string_view title, std::string_view path) = 0;

  // Holds the program still (between two of its messages) and lets it go
  // on. Input given meanwhile reaches it afterwards; reads still work.
  virtual void Freeze() = 0;
  virtual void Thaw() = 0;

  // The program's stored settings (the values of its settings key).
  virtual void Store(std::string_view name, const Stored& value) = 0;
  virtual Stored Read(std::string_view name) = 0;

  // Shows the folder dialog that a run shows to ask where its parts go,
  // beside the program; FolderChosen() waits for its answer: the folder,
  // or "" when it was cancelled.
  virtual void AskForFolder(std::string_view title, const fs::path& start) = 0;
  virtual std::string FolderChosen() = 0;

  // The commands that join parts with a script (`base` without extension)
  // in the folder, one for each system whose script can be run here.
  virtual std::vector<std::vector<std::string>> JoinCommands(std::string_view base) = 0;
};

// The driver of this test program; each call gives a fresh program setting
// (no stored settings).
std::unique_ptr<Driver> MakeDriver();

}  // namespace zelbo::desktop
