// The main window with real widgets: layout, forecast, presets, hints,
// stored choices across restarts, the error box for a stored value of the
// wrong type, and what a desktop user meets: drop-down rows, the icon, file
// drops, the save dialog's refusals, a close during a run, the focus after
// a run, and dialogs that write nothing of their own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QUrl>
#include <fstream>

#include "common/scripts.h"
#include "window_driver.h"

namespace zelbo::testing {
namespace {

const std::string kKeyHeader = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\OVallen\\Zelbo]\n";

std::string WindowHint() {
  return "Download the latest version from " + std::string(MakerWebAddress());
}

class MainWindowTest : public WindowTest {
 protected:
  void StoreSettings(const std::string& values) {
    std::filesystem::create_directories(SettingsFile().parent_path());
    std::ofstream(SettingsFile(), std::ios::binary) << kKeyHeader + values;
  }
  std::string StoredSettings() const {
    std::ifstream in(SettingsFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

namespace fs = std::filesystem;

// The window as a desktop user meets it, with files to work on.
class DesktopTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    out_ = root() / "out";
    fs::create_directories(out_);
  }
  void TearDown() override {
    poll_.reset();
    if (pipe_ >= 0) close(pipe_);
    MainWindowTest::TearDown();
  }

  // A named pipe, held open here so that a faulty open of it fails the
  // test instead of waiting for ever.
  fs::path MakePipe() {
    const fs::path path = root() / "pipe";
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    pipe_ = open(path.c_str(), O_RDWR | O_NONBLOCK);
    return path;
  }

  fs::path MakeFile(const std::string& name, std::size_t size) const {
    const fs::path path = root() / name;
    std::ofstream(path, std::ios::binary) << std::string(size, 'z');
    return path;
  }

  // Drags `urls` from a file manager onto the window at `where` and drops
  // them there; true when the window took the drop.
  bool Drop(const QList<QUrl>& urls, QPoint where,
            Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
    QMimeData data;  // as file managers offer it: the addresses, also as text
    data.setUrls(urls);
    QStringList text;
    for (const QUrl& url : urls) text << url.toString();
    data.setText(text.join('\n'));
    QWindow* window = Form()->windowHandle();
    QDragEnterEvent enter(where, offered, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(where, offered, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window, &drop);
    QApplication::processEvents();  // the file is taken from the message loop
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
  }
  static QUrl Url(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
  }
  QPoint Centre(const char* name) const {
    QWidget* widget = Find<QWidget>(name);
    return widget->mapTo(Form(), widget->rect().center());
  }

  // Runs `step` at every message pump while a run is in progress.
  void DuringRun(std::function<void()> step) {
    poll_ = std::make_unique<QTimer>();
    poll_->setInterval(0);
    QObject::connect(poll_.get(), &QTimer::timeout, [this, step = std::move(step)] {
      if (window_ && window_->runInProgress == 1) step();
    });
    poll_->start();
  }

  fs::path out_;
  std::unique_ptr<QTimer> poll_;
  std::vector<SeenBox> seen_;
  int pipe_ = -1;
};

TEST_F(MainWindowTest, TheWindowHasAFixedSizeWithoutMinimiseOrMaximise) {
  OpenWindow();
  EXPECT_EQ(Form()->size(), QSize(353, 222));
  EXPECT_EQ(Form()->minimumSize(), Form()->maximumSize()) << "fixed size";
  EXPECT_FALSE(Form()->windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_FALSE(Find<QComboBox>("SplitType")->isEditable());
}

TEST_F(MainWindowTest, ControlsOverlapAsDesigned) {
  OpenWindow();
  // The browse button lies over the left end of the panel, the progress bar
  // over the forecast: both must be the widgets found there.
  EXPECT_EQ(Form()->childAt(20, 20)->objectName(), "BrowseButton");
  EXPECT_EQ(Form()->childAt(100, 150), Find<QWidget>("SplitForecast"))
      << "the hidden bar does not cover the forecast";
}

// A control that takes no focus stands in the order for screen readers
// without cutting the chain of those that take it.
TEST(WindowTabOrder, PassesOverControlsThatTakeNoFocus) {
  toolkit::Form form("Order", "Order", 100, 100);
  toolkit::Button first(form, "first", {0, 0, 20, 20}, "1");
  toolkit::Button other(form, "other", {0, 30, 20, 20}, "3");
  toolkit::Button second(form, "second", {0, 60, 20, 20}, "2");
  toolkit::Label label(form, "label", {30, 60}, "Second:");
  form.SetTabOrder({&first, &label, &second});
  QWidget* next = toolkit::QtWidget(first)->nextInFocusChain();
  while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
  EXPECT_EQ(next, toolkit::QtWidget(second));
}

TEST_F(MainWindowTest, NoCaptionIsClipped) {
  OpenWindow();
  const QFontMetrics metrics(Form()->font());
  const int margin = 2 * Form()->style()->pixelMetric(QStyle::PM_ButtonMargin);
  for (const char* name : {"BrowseButton", "SplitStart", "CloseButton"}) {
    auto* button = Find<QPushButton>(name);
    EXPECT_LE(metrics.horizontalAdvance(button->text()) + margin, button->width()) << name;
  }
  auto* check = Find<QCheckBox>("UseNoLFN");
  EXPECT_LE(check->sizeHint().width(), check->width());
  // Each auto-sized label ends before the control to its right.
  for (const auto& [label, limit] : {std::pair{"Label2", 80}, {"Label1", 56}, {"Label3", 256},
                                     {"FileSize", 337}}) {
    auto* widget = Find<QLabel>(label);
    EXPECT_LT(widget->x() + metrics.horizontalAdvance(widget->text()), limit) << label;
  }
  auto* presets = Find<QComboBox>("Preselection");
  for (int i = 0; i < presets->count(); ++i) {
    presets->setCurrentIndex(i);
    EXPECT_LE(presets->sizeHint().width(), presets->width() + 4) << presets->itemText(i).toStdString();
  }
  // The longest forecast fits its three lines.
  const QRect needed = metrics.boundingRect(
      QRect(0, 0, 313, 1000), Qt::TextWordWrap,
      "The file will be split into 2,147,483,647 parts of 4,700 megabytes.\n"
      "Estimated transfer times per part HH:MM:\n   Modem: 445:46, ISDN: 191:03, DSL/LAN: <13:23");
  EXPECT_LE(needed.height(), 40);
}

TEST_F(MainWindowTest, PresetsSetUnitAndAmount) {
  gui::TMainForm& window = OpenWindow();
  plan_->sourceSize = 9'000'000'000;
  const std::pair<int, std::int64_t> presets[] = {
      {2, 1'433'600},     {3, 102'760'448},   {3, 249'561'088},   {3, 681'574'400},
      {3, 734'003'200}, {3, 4'928'307'200}, {3, 8'912'896'000}};
  auto* list = Find<QComboBox>("Preselection");
  for (int index = 0; index < 7; ++index) {
    Pick(list, index);
    EXPECT_EQ(window.Preselection.ItemIndex(), index);
    EXPECT_EQ(window.SplitType.ItemIndex(), presets[index].first) << index;
    EXPECT_EQ(plan_->partSize, presets[index].second) << index;
  }
  Pick(list, 4);
  EXPECT_EQ(window.Amount.Text(), "700");
  EXPECT_EQ(Find<QComboBox>("SplitType")->currentText(), "Mbytes");
  Type(Find<QLineEdit>("Amount"), "5");
  EXPECT_EQ(list->currentText(), "CD 700M") << "typing does not reset the preset";
  EXPECT_TRUE(Text(window.SplitForecast).starts_with("The file will be split into 1717 parts"));
}

// The hints of single controls and their fall-back are checked on both
// backends by the window scenarios; here what only Qt's events make tricky.
TEST_F(MainWindowTest, HintsComeBackWhenTheMouseMovesFromAChildOntoItsParent) {
  OpenWindow();
  QTest::mouseMove(Find<QWidget>("Amount"), QPoint(3, 3));
  QTest::mouseMove(Find<QWidget>("GroupBox1"), QPoint(3, 100));
  EXPECT_EQ(StatusText(), WindowHint());
  QTest::mouseMove(Find<QWidget>("SplitForecast"), QPoint(3, 3));
  QTest::mouseMove(Find<QWidget>("SplitForecastPanel"), QPoint(2, 45));
  EXPECT_EQ(StatusText(), "This area displays what will be done");
  // Tooltips only where a control has a hint of its own.
  EXPECT_EQ(Find<QWidget>("SplitForecast")->toolTip(), "");
  EXPECT_EQ(Find<QWidget>("StatusBar1")->toolTip(), "");
  EXPECT_EQ(Form()->toolTip(), "");
}

TEST_F(MainWindowTest, FirstStartCreatesTheKeyAndShowsDefaults) {
  gui::TMainForm& window = OpenWindow();
  EXPECT_EQ(StoredSettings(), kKeyHeader);
  EXPECT_EQ(window.Amount.Text(), "2");
  EXPECT_EQ(window.SplitType.ItemIndex(), 0);
  EXPECT_TRUE(window.UseNoLFN.Checked());
  EXPECT_EQ(plan_->sourceSize, -1);
}

TEST_F(MainWindowTest, StoredValuesComeBackAsTheRulesSay) {
  StoreSettings("\"SourcePath\"=\"/media/clips/\"\n\"Parts\"=\"12abc\"\n"
                "\"PartType\"=dword:00000007\n\"ShortNames\"=\"yes\"\n");
  gui::TMainForm& window = OpenWindow();
  EXPECT_EQ(window.OpenDialog1.initial_folder, "/media/clips/");
  EXPECT_EQ(window.Amount.Text(), "12abc");
  EXPECT_EQ(window.SplitType.ItemIndex(), -1) << "an unknown unit selects nothing";
  EXPECT_FALSE(window.UseNoLFN.Checked()) << "only \"Yes\" exactly checks it";
  plan_->sourceSize = 1000;
  Type(Find<QLineEdit>("Amount"), "50");
  EXPECT_EQ(Text(window.SplitForecast), "Select the units for the parts!");
  CloseWindow();
  EXPECT_TRUE(StoredSettings().find("\"PartType\"=dword:ffffffff\n") != std::string::npos);

  gui::TMainForm& again = OpenWindow();
  EXPECT_EQ(again.SplitType.ItemIndex(), -1);
}

TEST_F(MainWindowTest, ANumberStoredAsPartsFailsToRead) {
  StoreSettings("\"Parts\"=dword:00000005\n");
  std::vector<SeenBox> seen;
  PressOnNextBox(seen, QMessageBox::Ok);
  gui::TMainForm& window = OpenWindow();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Invalid data type for 'Parts'");
  EXPECT_EQ(window.Amount.Text(), "2");
}

TEST_F(MainWindowTest, AKeyThatCannotBeOpenedLeavesTheDefaults) {
  std::filesystem::create_directories(SettingsFile().parent_path());
  std::ofstream(SettingsFile()) << "not a key";
  gui::TMainForm& window = OpenWindow();
  EXPECT_EQ(window.Amount.Text(), "2");
  CloseWindow();
  std::ifstream in(SettingsFile());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a key");
}

TEST_F(DesktopTest, DropDownListsShowFourRowsUnderEveryStyle) {
  const QString original = QApplication::style()->name();
  for (const QString& style : QStyleFactory::keys()) {
    QApplication::setStyle(style);
    OpenWindow();
    auto* presets = Find<QComboBox>("Preselection");
    presets->showPopup();
    QAbstractItemView* list = presets->view();
    int shown = 0;
    for (int row = 0; row < presets->count(); ++row) {
      const QRect item = list->visualRect(list->model()->index(row, 0));
      shown += list->viewport()->rect().contains(item);
    }
    presets->hidePopup();
    EXPECT_EQ(shown, 4) << style.toStdString();
  }
  QApplication::setStyle(original);
}

TEST_F(DesktopTest, TheWindowShowsTheApplicationIcon) {
  OpenWindow();
  const QList<QSize> sizes = Form()->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)))
      << sizes.size() << " sizes";
}

TEST_F(DesktopTest, ADroppedFileIsChosenAsTheOpenDialogWouldChooseIt) {
  gui::TMainForm& window = OpenWindow();
  const fs::path file = MakeFile("clip.avi", 3000);
  const QUrl url = Url(file);
  struct Refused {
    const char* what;
    QList<QUrl> urls;
    Qt::DropActions offered;
  };
  const Refused refused[] = {
      {"two files", {url, Url(MakeFile("b", 1))}, Qt::CopyAction},
      {"a folder", {Url(out_)}, Qt::CopyAction},
      {"a missing file", {Url(out_ / "gone")}, Qt::CopyAction},
      {"a named pipe", {Url(MakePipe())}, Qt::CopyAction},
      {"a remote file", {QUrl("https://zelbo.example.org/clip.avi")}, Qt::CopyAction},
      {"a move only", {url}, Qt::MoveAction},  // the file manager would delete the file
  };
  for (const Refused& drop : refused) {
    EXPECT_FALSE(Drop(drop.urls, Centre("SplitForecast"), drop.offered)) << drop.what;
  }
  EXPECT_EQ(plan_->sourceSize, -1);

  // Dropped onto the amount, it is still the window's, not typed text.
  EXPECT_TRUE(Drop({url}, Centre("Amount")));
  EXPECT_EQ(window.Amount.Text(), "2");
  EXPECT_EQ(plan_->sourceFile, file.string());
  EXPECT_EQ(window.SplitFileDisplay.Text(), file.string());
  EXPECT_EQ(window.FileSize.Text(), "3.0 kbytes. (3,000 bytes)");
  EXPECT_EQ(window.OpenDialog1.initial_folder, root().string() + "/");
  EXPECT_NE(StoredSettings().find("\"SourcePath\"=\"" + root().string() + "/\""), std::string::npos);
  EXPECT_EQ(window.SplitStart.Hint(), "Click to start splitting your file.");
}

TEST_F(DesktopTest, TheDialogsRefuseWhatCannotBeUsedAndStayOpen) {
  OpenWindow();
  ASSERT_TRUE(Drop({Url(MakeFile("clip.avi", 3000))}, Centre("SplitForecast")));
  const fs::path pipe = MakePipe();
  std::ofstream(out_ / "old.BAT") << "keep";
  fs::permissions(out_ / "old.BAT", fs::perms::owner_read | fs::perms::group_read);
  std::ofstream(out_ / "mine.BAT") << "replace";
  const std::string save = "Select the name of the unsplit batch file";
  struct Name {
    const char* button;
    fs::path path;
    std::string box;  // the refusal's title, or the run's last box
  };
  const Name names[] = {
      {"BrowseButton", pipe, "Select the file to split"},
      {"SplitStart", root() / "missing" / "clip.BAT", save},
      {"SplitStart", out_ / "old.BAT", save},
      {"SplitStart", out_ / "mine.BAT", "Zelbo - Success"},  // writable: replaced
  };
  for (const Name& name : names) {
    seen_.clear();
    bool open_after_refusal = false;
    OnNextModal<QFileDialog>([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      PressOnNextBox(seen_, QMessageBox::Ok);
      // Typed as a user types it (selectFile takes a missing folder apart).
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(name.path.string()));
      static_cast<QDialog*>(dialog)->accept();  // as the Open or Save button does
      open_after_refusal = dialog->isVisible();
      if (open_after_refusal) dialog->reject();
    });
    QTest::mouseClick(Find<QPushButton>(name.button), Qt::LeftButton);
    ASSERT_EQ(seen_.size(), 1u) << name.path;
    EXPECT_EQ(seen_[0].title, name.box);
    const bool refused = name.box != "Zelbo - Success";
    EXPECT_EQ(open_after_refusal, refused) << name.path;
    if (!refused) continue;
    EXPECT_TRUE(seen_[0].text.starts_with(name.path.string() + "\n")) << seen_[0].text;
    EXPECT_EQ(StoredSettings().find("DestPath"), std::string::npos) << name.path;
  }
  EXPECT_EQ(plan_->sourceFile, (root() / "clip.avi").string());
  EXPECT_EQ(std::ifstream(out_ / "old.BAT").rdbuf()->sgetc(), 'k');
}

TEST_F(DesktopTest, DuringARunDropsAreRefusedAndACloseWaitsForTheRun) {
  gui::TMainForm& window = OpenWindow();
  const fs::path source = MakeFile("movie.avi", 4 << 20);
  ASSERT_TRUE(Drop({Url(source)}, Centre("SplitForecast")));
  bool dropped_during_run = false;
  bool shown_after_close = false;
  std::string stored_at_close;
  DuringRun([&] {  // once: the run may see only one pump
    if (!stored_at_close.empty()) return;
    dropped_during_run = Drop({Url(source)}, Centre("SplitForecast"));
    fs::remove(SettingsFile());
    Form()->close();  // the close box
    stored_at_close = StoredSettings();
    shown_after_close = Form()->isVisible();
    QTest::mouseClick(Find<QPushButton>("CloseButton"), Qt::LeftButton);  // Cancel
  });
  bool shown_with_last_box = false;
  int box_width = 0;
  PressOnNextBox(seen_, QMessageBox::Ok, [&] {
    shown_with_last_box = Form()->isVisible();
    box_width = QApplication::activeModalWidget()->width();
  });
  AnswerNextFileDialog((out_ / "movie.BAT").string());
  QTest::mouseClick(Find<QPushButton>("SplitStart"), Qt::LeftButton);

  EXPECT_FALSE(dropped_during_run);
  EXPECT_NE(stored_at_close.find("\"Parts\"=\"2\""), std::string::npos) << "stored at the close";
  EXPECT_TRUE(shown_after_close);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].text, "User aborted!") << "Cancel still works";
  EXPECT_TRUE(shown_with_last_box);
  // Wide enough for its title in a bold title bar with an icon and buttons.
  QFont bold = QApplication::font();
  bold.setBold(true);
  EXPECT_GE(box_width, QFontMetrics(bold).horizontalAdvance("Zelbo - Aborted") + 96);
  EXPECT_FALSE(Form()->isVisible()) << "closed once the run was over";
  EXPECT_EQ(window.runInProgress, 0);
}

TEST_F(DesktopTest, TheDialogsKeepTheirHistoryInMemoryOnly) {
  gui::TMainForm& window = OpenWindow();
  window.OpenDialog1.initial_folder = out_.string();
  QStringList history;
  AnswerNextFileDialog("");
  QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  window.OpenDialog1.initial_folder = root().string();
  OnNextModal<QFileDialog>([&](QWidget* modal) {
    history = qobject_cast<QFileDialog*>(modal)->history();
    qobject_cast<QFileDialog*>(modal)->reject();
  });
  QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  EXPECT_TRUE(history.contains(QString::fromStdString(out_.string()))) << history.join(",").toStdString();
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(SettingsFile().parent_path().parent_path())) {
    if (entry.is_regular_file()) written.push_back(entry.path().filename());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, std::vector<std::string>{"Zelbo.reg"});
}

}  // namespace
}  // namespace zelbo::testing
