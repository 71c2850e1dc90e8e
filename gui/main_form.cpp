#include "gui/main_form.h"

#include "common/paths.h"
#include "common/scripts.h"
#include "gui/file_checks.h"
#include "gui/settings_store.h"
#include "gui/split_run.h"
#include "gui/source_text.h"
#include "platform/file.h"

namespace zelbo::gui {
namespace {

using toolkit::Bounds;
using toolkit::FileDialog;

constexpr int kClientWidth = 353;
constexpr int kClientHeight = 222;
constexpr int kVisibleRows = 4;

std::string WindowHint() {
  return "Download the latest version from " + std::string(MakerWebAddress());
}

std::vector<toolkit::FileFilter> OpenFilters() {
  return {
      {"All (*.*)", "*.*"},
      {"Images (*.jpg;*.jpeg;*.jpe;*.gif;*.bmp;*.pcx;*.png;*.tif)",
       "*.jpg;*.jpeg;*.jpe;*.gif;*.bmp;*.pcx;*.png;*.tif"},
      {"Movies (*.mov;*.mpg;*.mpeg;*.avi;*.swf)", "*.mov;*.mpg;*.mpeg;*.avi;*.swf"},
      {"Archives (*.zip;*.arj;*.cab;*.rar;*.gzip)", "*.zip;*.arj;*.cab;*.rar;*.gzip"},
      {"Office Documents (*.doc;*.xls;*.ppt;*.mdb)", "*.doc;*.xls;*.ppt;*.mdb"},
  };
}

std::vector<toolkit::FileFilter> SaveFilters() {
  return {{"All (*.*)", "*.*"}, {"Batch files (*.bat)", "*.bat"}};
}

// The media presets: a unit and an amount in it.
struct Preset {
  SizeUnit unit;
  const char* amount;
};

constexpr Preset kPresets[] = {
    {SizeUnit::kKbytes, "1400"},  // Floppy
    {SizeUnit::kMbytes, "98"},    // Zip 100M
    {SizeUnit::kMbytes, "238"},   // Zip 250M
    {SizeUnit::kMbytes, "650"},   // CD 650M
    {SizeUnit::kMbytes, "700"},   // CD 700M
    {SizeUnit::kMbytes, "4700"},  // DVD 4.7G
    {SizeUnit::kMbytes, "8500"},  // DVD 8G
};

}  // namespace

TMainForm::TMainForm(toolkit::Application& application, SplitPlan& plan)
    : application_(application),
      plan_(plan),
      form_("MainForm", "Zelbo", kClientWidth, kClientHeight),
      Panel1(form_, "Panel1", {4, 4, 345, 41}),
      SplitFileDisplay(Panel1, "SplitFileDisplay", {88, 8, 249, 25}, "No file selected yet"),
      OpenDialog1(FileDialog::Kind::kOpen, "Select the file to split", OpenFilters()),
      GroupBox1(form_, "GroupBox1", {4, 52, 345, 121}, "Split details"),
      Label2(GroupBox1, "Label2", {8, 20}, "Total File Size:"),
      Label1(GroupBox1, "Label1", {8, 40}, "Split into"),
      FileSize(GroupBox1, "FileSize", {80, 20}, "n.a."),
      Amount(GroupBox1, "Amount", {56, 36, 49, 21}, "2"),
      SplitType(GroupBox1, "SplitType", {112, 36, 69, 21}, {"parts", "bytes", "kbytes", "Mbytes"},
                kVisibleRows),
      CloseButton(form_, "CloseButton", {272, 176, 75, 25}, "Close"),
      SplitStart(form_, "SplitStart", {192, 176, 75, 25}, "Start Splitting"),
      SaveDialog1(FileDialog::Kind::kSave, "Select the name of the unsplit batch file",
                  SaveFilters()),
      UseNoLFN(form_, "UseNoLFN", {12, 180, 165, 17}, "Use 8.3 compatible filenames"),
      SplitForecastPanel(GroupBox1, "SplitForecastPanel", {8, 64, 329, 49}),
      SplitForecast(SplitForecastPanel, "SplitForecast", {8, 1, 313, 40},
                    "Select a file to split first"),
      StatusBar1(form_, "StatusBar1", {0, 203, 353, 19}),
      Preselection(GroupBox1, "Preselection", {256, 36, 77, 21},
                   {"Floppy", "Zip 100M", "Zip 250M", "CD 650M", "CD 700M", "DVD 4.7G", "DVD 8G"},
                   kVisibleRows),
      Label3(GroupBox1, "Label3", {200, 40}, "Quicksize"),
      BrowseButton(form_, "BrowseButton", {12, 12, 75, 25}, "Source file..."),
      ProgressBar0(form_, "ProgressBar0", {16, 144, 321, 16}) {
  BuildLayout();
  ConnectHandlers();
  toolkit::CallHandler([this] { FormCreate(); });
}

void TMainForm::BuildLayout() {
  ProgressBar0.SetVisible(false);
  UseNoLFN.SetChecked(true);
  form_.SetHint(WindowHint());
  StatusBar1.SetHint(WindowHint());
  BrowseButton.SetHint("Start here to choose your \"large\" file.");
  Amount.SetHint("Amount of parts");
  SplitType.SetHint("Units for parts");
  Preselection.SetHint("Easy presets for part sizes");
  SplitForecastPanel.SetHint("This area displays what will be done");
  UseNoLFN.SetHint("To generate short names (e.g. e-mail, MS-DOS 6.0 and lower, ...)");
  SplitStart.SetHint("Click first on the \"Browse files...\" button...");
  CloseButton.SetHint("Exits the Zelbo application.");
  // Each label before the first field it names; "Split into" stands before
  // the amount and its unit alike.
  form_.SetTabOrder({&BrowseButton, &Label1, &Amount, &SplitType, &Label3, &Preselection,
                     &CloseButton, &SplitStart, &UseNoLFN, &ProgressBar0, &SplitFileDisplay,
                     &Label2, &FileSize, &SplitForecast, &StatusBar1});
  Label1.Names(Amount);
  Label1.Names(SplitType);
  Label2.Names(FileSize);
  Label3.Names(Preselection);
  BrowseButton.SetFocus();
}

void TMainForm::ConnectHandlers() {
  form_.OnClose([this] { FormClose(); });
  form_.OnFileDrop(IsSplittable, [this](const std::string& path) { FormFileDrop(path); });
  OpenDialog1.refusal = SourceRefusal;
  SaveDialog1.refusal = BatchNameRefusal;
  form_.SetFileDropsEnabled(true);
  BrowseButton.OnClick([this] { BrowseButtonClick(); });
  Amount.OnChange([this] { AmountChange(); });
  SplitType.OnChange([this] { SplitTypeChange(); });
  Preselection.OnChange([this] { PreselectionChange(); });
  SplitStart.OnClick([this] { SplitStartClick(); });
  CloseButton.OnClick([this] { CloseButtonClick(); });
}

void TMainForm::FormCreate() {
  plan_.sourceSize = -1;
  SplitType.SetItemIndex(static_cast<int>(SizeUnit::kParts));
  WithSettings([this](SettingsStore& settings) {
    if (settings.SettingExists(kSourcePathValue)) {
      OpenDialog1.initial_folder = settings.ReadSettingText(kSourcePathValue);
    }
    if (settings.SettingExists(kPartsValue)) {
      Amount.SetText(settings.ReadSettingText(kPartsValue));
    }
    if (settings.SettingExists(kPartTypeValue)) {
      SplitType.SetItemIndex(settings.ReadSettingNumber(kPartTypeValue));
    }
    if (settings.SettingExists(kShortNamesValue)) {
      UseNoLFN.SetChecked(settings.ReadSettingText(kShortNamesValue) == "Yes");
    }
  });
  runInProgress = 0;
}

// A value that cannot be read or stored ends the access with the standard
// error box, and the command goes on: settings never keep the user from
// choosing a file, splitting it or closing the window.
bool TMainForm::WithSettings(const std::function<void(SettingsStore&)>& access) {
  SettingsStore settings;
  if (!settings.OpenSettingsKey(kSettingsKeyPath, true)) return false;
  try {
    access(settings);
  } catch (const toolkit::Exception& error) {
    application_.ShowException(error);
  }
  settings.CloseSettingsKey();
  return true;
}

void TMainForm::AmountChange() { UpdateForecast(); }

void TMainForm::SplitTypeChange() { UpdateForecast(); }

void TMainForm::PreselectionChange() {
  const int index = Preselection.ItemIndex();
  if (index >= 0 && index < static_cast<int>(std::size(kPresets))) {
    SplitType.SetItemIndex(static_cast<int>(kPresets[index].unit));
    Amount.SetText(kPresets[index].amount);
  }
  UpdateForecast();
}

void TMainForm::UpdateForecast() {
  const Forecast forecast =
      ComputeForecast(Amount.Text(), SplitType.ItemIndex(), plan_.sourceSize);
  if (!forecast.changes) return;
  ApplyForecast(forecast, plan_);
  SplitForecast.SetText(forecast.label);
}

void TMainForm::CloseButtonClick() {
  if (runInProgress != 0) {
    cancelRequested = 1;
    return;
  }
  form_.Close();
}

void TMainForm::StoreChoices(SettingsStore& settings) {
  settings.WriteSettingText(kPartsValue, Amount.Text());
  settings.WriteSettingNumber(kPartTypeValue, SplitType.ItemIndex());
  settings.WriteSettingText(kShortNamesValue, UseNoLFN.Checked() ? "Yes" : "No");
}

void TMainForm::FormClose() {
  WithSettings([this](SettingsStore& settings) { StoreChoices(settings); });
}

void TMainForm::BrowseButtonClick() {
  OpenDialog1.file_name.clear();
  if (!OpenDialog1.Execute()) return;
  ChooseSource(OpenDialog1.file_name);
}

// A file dropped from a file manager is chosen as the open dialog would
// have chosen it.
void TMainForm::FormFileDrop(const std::string& path) { ChooseSource(path); }

void TMainForm::ChooseSource(const std::string& path) {
  SplitFileDisplay.SetText(SourcePathDisplay(path));
  SplitFileDisplay.SetHint(path);  // whole, where the label shortens it
  plan_.sourceFile = path;
  if (const Status measured = MeasureSource(path); measured.ok()) {
    RememberSourceFolder(fnsplit(path).Folder());
  } else {
    SplitFileDisplay.SetText(OpenErrorDisplay(path));
    application_.MessageBox("File open error on file to split!", "Zelbo - ERROR",
                            toolkit::MessageIcon::kError, toolkit::MessageButtons::kOk,
                            measured.error().os_text);
  }
  SplitStart.SetHint("Click to start splitting your file.");
}

Status TMainForm::MeasureSource(const std::string& path) {
  std::int64_t size = 0;
  {
    auto source = platform::InputFile::Open(path);
    if (!source.ok()) return source.error();
    auto measured = source.value().Size();
    if (measured.ok()) size = measured.value();
  }  // closed before the forecast
  plan_.sourceSize = size;
  FileSize.SetText(SourceSizeText(size));
  UpdateForecast();
  return {};
}

void TMainForm::RememberSourceFolder(const std::string& folder) {
  const bool opened = WithSettings(
      [&folder](SettingsStore& settings) { settings.WriteSettingText(kSourcePathValue, folder); });
  if (opened) OpenDialog1.initial_folder = folder;
}

void TMainForm::ShowStartError(std::string_view text) {
  application_.MessageBox(text, "Zelbo - ERROR", toolkit::MessageIcon::kError,
                          toolkit::MessageButtons::kOk);
}

void TMainForm::SplitStartClick() {
  if (plan_.sourceSize <= 0) return;
  // Disabling the focused control moves the focus on to Close; it comes
  // back after the run, so that Space does not quit instead of starting.
  toolkit::Control& focused = FocusedControl();
  if (plan_.sourceSize <= plan_.partSize) {
    ShowStartError("Your partsize is larger than (or equal to) the filesize!");
    return;
  }
  // A plan the forecast rejects has no usable part size: never run on it.
  const Forecast forecast =
      ComputeForecast(Amount.Text(), SplitType.ItemIndex(), plan_.sourceSize);
  if (!forecast.runnable) {
    ShowStartError(forecast.label);
    return;
  }
  if (!AskBatchPath()) return;
  form_.Repaint();
  StoreStartChoices(fnsplit(SaveDialog1.file_name).Folder());
  SetIdleControlsEnabled(false);
  CloseButton.SetText("Cancel");
  form_.SetCancelButton(&CloseButton);
  runInProgress = 1;
  RunSplit();
  runInProgress = 0;
  form_.SetText("Zelbo");
  CloseButton.SetText("Close");
  form_.SetCancelButton(nullptr);
  ProgressBar0.SetVisible(false);
  SetIdleControlsEnabled(true);
  focused.SetFocus();
  UpdateForecast();
  StatusBar1.SetText("");
}

bool TMainForm::AskBatchPath() {
  WithSettings([this](SettingsStore& settings) {
    if (settings.SettingExists(kDestPathValue)) {
      SaveDialog1.initial_folder = settings.ReadSettingText(kDestPathValue);
    }
  });
  SaveDialog1.file_name = ProposedBatchName(plan_.sourceFile);
  return SaveDialog1.Execute();
}

void TMainForm::StoreStartChoices(const std::string& destinationFolder) {
  WithSettings([&](SettingsStore& settings) {
    settings.WriteSettingText(kDestPathValue, destinationFolder);
    StoreChoices(settings);
  });
}

namespace {

// The run's view of the window: the progress line, the status bar, the bar
// (and the title, so that a minimised window still tells the progress),
// the pump and the Cancel button's request.
class FormRunDisplay final : public RunDisplay {
 public:
  FormRunDisplay(TMainForm& window, toolkit::Application& application)
      : window_(window), application_(application) {}

  toolkit::Cursor GetCursor() override { return application_.GetCursor(); }
  void SetCursor(toolkit::Cursor cursor) override { application_.SetCursor(cursor); }

  void ShowPartLine(std::string_view caption, std::string_view status) override {
    window_.SplitForecast.SetText(caption);
    window_.StatusBar1.SetText(status);
    window_.form().Repaint();
  }

  void ShowProgress(int percent) override {
    if (!window_.ProgressBar0.Visible()) window_.ProgressBar0.SetVisible(true);
    window_.ProgressBar0.SetPosition(percent);
    window_.form().Repaint();
  }

  void ShowProgressInTitle(std::optional<int> percent) override {
    window_.form().SetText(percent ? std::to_string(*percent) + "% - Zelbo" : "Zelbo");
  }

  void ProcessMessages() override { application_.ProcessMessages(); }
  bool CancelRequested() override { return window_.cancelRequested == 1; }
  void ClearCancelRequest() override { window_.cancelRequested = 0; }

  toolkit::MessageAnswer MessageBox(std::string_view text, std::string_view title,
                                    toolkit::MessageIcon icon, toolkit::MessageButtons buttons,
                                    std::string_view detail) override {
    return application_.MessageBox(text, title, icon, buttons, detail);
  }

  std::string ChooseFolder(std::string_view title, std::string_view start) override {
    return application_.ChooseFolder(title, start).value_or("");
  }

 private:
  TMainForm& window_;
  toolkit::Application& application_;
};

}  // namespace

void TMainForm::RunSplit() {
  const WindowedRunRequest request{plan_.sourceFile, SaveDialog1.file_name, plan_.partSize,
                                   UseNoLFN.Checked(),
                                   static_cast<SizeUnit>(SplitType.ItemIndex())};
  FormRunDisplay display(*this, application_);
  RunWindowedSplit(request, display, plan_);
}

void TMainForm::SetIdleControlsEnabled(bool enabled) {
  for (toolkit::Control* control : std::initializer_list<toolkit::Control*>{
           &SplitStart, &BrowseButton, &Amount, &SplitType, &Preselection, &UseNoLFN}) {
    control->SetEnabled(enabled);
  }
  form_.SetFileDropsEnabled(enabled);
}

toolkit::Control& TMainForm::FocusedControl() {
  for (toolkit::Control* control : std::initializer_list<toolkit::Control*>{
           &BrowseButton, &Amount, &SplitType, &Preselection, &CloseButton, &UseNoLFN}) {
    if (control->HasFocus()) return *control;
  }
  return SplitStart;
}

}  // namespace zelbo::gui
