// The windowed split run: the engine's copy and scripts, told in the
// window's words. It reaches the window only through RunDisplay, so that
// every outcome can be checked without widgets; TMainForm provides the real
// one over its controls.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gui/forecast.h"
#include "platform/toolkit.h"

namespace zelbo::gui {

// The window operations a run relies on.
class RunDisplay {
 public:
  virtual toolkit::Cursor GetCursor() = 0;
  virtual void SetCursor(toolkit::Cursor cursor) = 0;
  // The forecast label's progress line and the status bar's text, drawn at
  // once.
  virtual void ShowPartLine(std::string_view caption, std::string_view status) = 0;
  // Shows the progress bar, or moves it, in whole percent; drawn at once.
  virtual void ShowProgress(int percent) = 0;
  // Puts the progress into the window's title, so that a minimised window
  // still tells it; nothing puts the plain title back.
  virtual void ShowProgressInTitle(std::optional<int> percent) = 0;
  // Lets the toolkit process pending messages (a click on Cancel gets in).
  virtual void ProcessMessages() = 0;
  virtual bool CancelRequested() = 0;
  virtual void ClearCancelRequest() = 0;
  virtual toolkit::MessageAnswer MessageBox(std::string_view text, std::string_view title,
                                            toolkit::MessageIcon icon,
                                            toolkit::MessageButtons buttons,
                                            std::string_view detail) = 0;
  // A folder the user chooses in the folder dialog, starting at `start`; ""
  // when the dialog was cancelled.
  virtual std::string ChooseFolder(std::string_view title, std::string_view start) = 0;

 protected:
  ~RunDisplay() = default;
};

struct WindowedRunRequest {
  std::string sourceFile;  // the plan's source
  std::string batchPath;   // as the save dialog returned it
  std::int64_t partSize;   // at least 1
  bool wantShortNames;     // "Use 8.3 compatible filenames"
  SizeUnit unit = SizeUnit::kBytes;  // in which the amount was given
};

// Messages are processed at most this often while a run copies: often
// enough that a click on Cancel takes effect at once, rarely enough that
// the pump costs nothing next to the copy.
inline constexpr std::chrono::milliseconds kPumpInterval{10};
// The part line and the bar are drawn at most this often, at a pump (and
// always before a message box): smooth to the eye, and drawing is costly.
inline constexpr std::chrono::milliseconds kDrawInterval{40};
// The title follows the progress at most this often: a new title costs
// the window system far more than a step of the bar.
inline constexpr std::chrono::milliseconds kTitleInterval{250};

// Copies the source into the parts and writes the scripts, telling every
// outcome in a message box. Stores the measured size in `plan.sourceSize`.
void RunWindowedSplit(const WindowedRunRequest& request, RunDisplay& display, SplitPlan& plan,
                      std::function<std::chrono::steady_clock::time_point()> now =
                          std::chrono::steady_clock::now);

}  // namespace zelbo::gui
