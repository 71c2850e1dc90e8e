// The main window: the whole user interface of the windowed program. Its
// behaviour lies in the event handlers below; the plan it works on is the
// program's one SplitPlan, which outlives the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "gui/forecast.h"
#include "platform/result.h"
#include "platform/toolkit.h"

namespace zelbo::gui {

class SettingsStore;

class TMainForm {
 public:
  TMainForm(toolkit::Application& application, SplitPlan& plan);
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  toolkit::Form& form() { return form_; }
  const SplitPlan& plan() const { return plan_; }

 private:
  void BuildLayout();
  void ConnectHandlers();

  // Event handlers.
  void FormCreate();
  void BrowseButtonClick();
  void FormFileDrop(const std::string& path);
  void AmountChange();
  void SplitTypeChange();
  void PreselectionChange();
  void SplitStartClick();
  void CloseButtonClick();
  void FormClose();

  void UpdateForecast();
  // One access to the settings key, when it opens: false when it does not.
  bool WithSettings(const std::function<void(SettingsStore&)>& access);
  // Parts, PartType and ShortNames into an open key.
  void StoreChoices(SettingsStore& settings);

  // Source selection, the steps after the open dialog: `path` becomes the
  // planned source, is measured, shown and its folder remembered.
  void ChooseSource(const std::string& path);
  // The reason when the file cannot be opened.
  Status MeasureSource(const std::string& path);
  void RememberSourceFolder(const std::string& folder);

  // The Start command's steps.
  void ShowStartError(std::string_view text);
  bool AskBatchPath();
  void StoreStartChoices(const std::string& destinationFolder);
  void SetIdleControlsEnabled(bool enabled);
  // The control among the idle ones and CloseButton that has the keyboard
  // focus; SplitStart when none has.
  toolkit::Control& FocusedControl();

  // The split run: copies the source into the parts in the batch file's
  // folder and writes the scripts; tells every outcome in a message box
  // itself (split_run.h).
  void RunSplit();

  toolkit::Application& application_;
  SplitPlan& plan_;
  toolkit::Form form_;

 public:
  // The controls, named as the window's own code names them. A control
  // lies above those made before it: the browse button over the left end
  // of Panel1 and the bar over the forecast are made last.
  toolkit::EtchedPanel Panel1;
  toolkit::Label SplitFileDisplay;
  toolkit::FileDialog OpenDialog1;
  toolkit::GroupBox GroupBox1;
  toolkit::Label Label2;
  toolkit::Label Label1;
  toolkit::Label FileSize;
  toolkit::Edit Amount;
  toolkit::ComboBox SplitType;
  toolkit::Button CloseButton;
  toolkit::Button SplitStart;
  toolkit::FileDialog SaveDialog1;
  toolkit::CheckBox UseNoLFN;
  toolkit::Panel SplitForecastPanel;
  toolkit::Label SplitForecast;
  toolkit::StatusBar StatusBar1;
  toolkit::ComboBox Preselection;
  toolkit::Label Label3;
  toolkit::Button BrowseButton;
  toolkit::ProgressBar ProgressBar0;

  // Plain flags of the window's own thread: 1 asks a run to stop; 1 while
  // the Start command is inside RunSplit.
  int cancelRequested = 0;
  int runInProgress = 0;
};

}  // namespace zelbo::gui
