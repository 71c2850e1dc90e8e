// Drives Zelbo32.exe under wine from outside, as a user at the screen
// does: input through the X server (xdotool), windows found by title, and
// what the window shows read by the probe (zelbo_probe.exe) in the same
// wine session. Needs DISPLAY (with a window manager), WINEPREFIX and
// ZELBO_WINDOWS_BIN, the folder of Zelbo32.exe and zelbo_probe.exe.
#pragma once

#include <sys/types.h>

#include <future>
#include <map>

#include "tests/desktop/driver.h"

namespace zelbo::desktop {

// A program of the wine session that answers one line with one line.
class Probe {
 public:
  explicit Probe(const fs::path& program);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // The answer's fields after "ok"; empty with `found` false for "missing".
  std::vector<std::string> Ask(const std::vector<std::string>& request, bool* found = nullptr);

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string pending_;
};

class WineDriver : public Driver {
 public:
  WineDriver();
  ~WineDriver() override;

  std::string ProgramPath(const fs::path& host) const override;
  std::string AttachMedium(const fs::path& folder) override;
  void DetachMedium(const fs::path& folder) override;

  void Launch() override;
  int WaitForExit() override;
  std::pair<int, int> ClientSize() override;
  bool SetScreenDpi(int dpi) override;
  bool SetDesktopFont(int points) override;
  bool LimitFileSize(std::int64_t) override { return false; }

  ControlState State(std::string_view control) override;
  std::string FocusedControl() override;
  std::string Tooltip() override;
  std::string Pointer() override;

  void Click(std::string_view control) override;
  void Type(std::string_view control, std::string_view text) override;
  void Pick(std::string_view control, int index) override;
  void Hover(std::string_view control) override;
  void Key(std::string_view key) override;
  void CloseWindow() override;

  bool BoxShown(std::string_view title) override;
  bool DialogShown(std::string_view title) override;
  BoxSeen ReadBox(std::string_view title) override;
  void Press(std::string_view title, std::string_view button) override;
  std::string DialogFileName(std::string_view title) override;
  std::vector<std::string> DialogFilters(std::string_view title) override;
  void AnswerDialog(std::string_view title, std::string_view path) override;

  void Freeze() override;
  void Thaw() override;

  void Store(std::string_view name, const Stored& value) override;
  Stored Read(std::string_view name) override;

  void AskForFolder(std::string_view title, const fs::path& start) override;
  std::string FolderChosen() override;

  std::vector<std::vector<std::string>> JoinCommands(std::string_view base) override;

  // The unix process of the program while it runs.
  pid_t program() const { return program_; }

 private:
  bool HasKind(std::string_view title, std::string_view kind);
  void ClickAt(const std::vector<std::string>& rect, std::size_t first);
  void TypeText(std::string_view text);

  fs::path bin_;
  fs::path prefix_;
  Probe probe_;
  pid_t program_ = -1;
  std::future<std::string> folder_;  // what zelbo_folder.exe answers
  bool frozen_ = false;
  std::map<std::string, fs::path> drives_;  // "M:" -> the folder behind it
};

}  // namespace zelbo::desktop
