// Source selection, the Start command and the split run wired to the real
// window: dialogs and boxes are answered as a user would, and a cancel
// reaches the run while it pumps messages. The run's outcomes themselves
// are checked without widgets (windowed_run_test.cpp).
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "window_driver.h"

namespace zelbo::testing {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kPart = 65536;  // the 64 kbytes the tests split into

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SplitRunTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    sources_ = root() / "sources";
    out_ = root() / "out";
    fs::create_directories(sources_);
    fs::create_directories(out_);
  }
  void TearDown() override {
    if (poll_) poll_->stop();
    poll_.reset();
    WindowTest::TearDown();
  }

  fs::path MakeSource(const std::string& name, std::int64_t size, const fs::path& folder = {}) {
    const fs::path path = (folder.empty() ? sources_ : folder) / name;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  void Choose(const fs::path& source) {
    AnswerNextFileDialog(source.string());
    QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  }

  // Sets 64 kbytes as the part size.
  void SixtyFourKbyteParts() {
    Pick(Find<QComboBox>("SplitType"), 2);
    Type(Find<QLineEdit>("Amount"), "64");
  }

  // Clicks Start, names the batch file, and answers the boxes that follow.
  void Start(const fs::path& batch, SeenDialog* dialog = nullptr) {
    AnswerNextFileDialog(batch.string(), dialog);
    QTest::mouseClick(Find<QPushButton>("SplitStart"), Qt::LeftButton);
  }

  // Runs `check` at every message pump of the run.
  void DuringRun(std::function<void()> check) {
    poll_ = std::make_unique<QTimer>();
    poll_->setInterval(0);
    QObject::connect(poll_.get(), &QTimer::timeout, std::move(check));
    poll_->start();
  }

  bool Writing() const { return window_->SplitForecast.Text().starts_with("Writing part "); }

  std::vector<std::string> FilesIn(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string FinishedText(int n, const std::string& base, const std::string& batch) {
    char up_to[16];
    std::snprintf(up_to, sizeof up_to, "%03d", n);
    return "Finished splitting the file into " + std::to_string(n) + " parts.\nEach part was named \"" +
           base + ".###\" (###=001 up to " + up_to + ")\nThe batch files \"" + batch + ".bat\" and \"" +
           batch + ".sh\" to put the pieces back together were created.\n";
  }

  fs::path sources_;
  fs::path out_;
  std::unique_ptr<QTimer> poll_;
  std::vector<SeenBox> seen_;
};

TEST_F(SplitRunTest, ChoosingASourceMeasuresAndRemembersIt) {
  gui::TMainForm& window = OpenWindow();
  const fs::path source = MakeSource("clip.avi", 3'670'016);
  SeenDialog dialog;
  AnswerNextFileDialog(source.string(), &dialog);
  QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  EXPECT_EQ(dialog.title, "Select the file to split");
  ASSERT_EQ(dialog.filters.size(), 5);
  EXPECT_TRUE(dialog.filters[0].startsWith("All (*.*)"));
  EXPECT_EQ(plan_->sourceFile, source.string());
  EXPECT_EQ(plan_->sourceSize, 3'670'016);
  EXPECT_EQ(window.FileSize.Text(), "3.5 Mbytes. (3,670,016 bytes)");
  EXPECT_EQ(window.SplitFileDisplay.Text(), source.string());
  EXPECT_TRUE(window.SplitForecast.Text().starts_with("The file will be split into 2 parts of 1,835,008 bytes."));
  EXPECT_EQ(window.SplitStart.Hint(), "Click to start splitting your file.");
  EXPECT_EQ(window.OpenDialog1.initial_folder, sources_.string() + "/");
  EXPECT_NE(ReadFile(SettingsFile()).find("\"SourcePath\"=\"" + sources_.string() + "/\""), std::string::npos);

  // The next showing starts in that folder; cancelling keeps everything.
  SeenDialog again;
  AnswerNextFileDialog("", &again);
  QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  EXPECT_EQ(again.folder, sources_.string());
  EXPECT_EQ(plan_->sourceFile, source.string());
  EXPECT_EQ(window.FileSize.Text(), "3.5 Mbytes. (3,670,016 bytes)");
}

TEST_F(SplitRunTest, LongPathsAreShortenedFromSixtyOneBytes) {
  gui::TMainForm& window = OpenWindow();
  for (const std::size_t length : {60u, 61u}) {
    const std::size_t fixed = sources_.string().size() + std::string("/").size() + std::string("/c.avi").size();
    const fs::path folder = sources_ / std::string(length - fixed, 'd');
    fs::create_directories(folder);
    const fs::path source = MakeSource("c.avi", 10, folder);
    ASSERT_EQ(source.string().size(), length);
    Choose(source);
    EXPECT_EQ(window.SplitFileDisplay.Text(), length == 60 ? source.string() : ".../c.avi");
  }
}

TEST_F(SplitRunTest, ASourceThatCannotBeOpenedIsMarked) {
  gui::TMainForm& window = OpenWindow();
  const fs::path good = MakeSource("good.bin", 1000);
  Choose(good);
  const fs::path gone = MakeSource("gone.bin", 5000);
  const std::string stored = ReadFile(SettingsFile());
  OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    dialog->selectFile(QString::fromStdString(gone.string()));
    static_cast<QDialog*>(dialog)->accept();
    fs::remove(gone);  // vanishes before the program opens it
    PressOnNextBox(seen_, QMessageBox::Ok);
  });
  QTest::mouseClick(Find<QPushButton>("BrowseButton"), Qt::LeftButton);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].text, "File open error on file to split!");
  EXPECT_EQ(seen_[0].detail, "No such file or directory");
  EXPECT_EQ(seen_[0].title, "Zelbo - ERROR");
  EXPECT_EQ(seen_[0].icon, QMessageBox::Critical);
  EXPECT_EQ(window.SplitFileDisplay.Text(), gone.string() + ", WARNING: OPEN ERROR");
  EXPECT_EQ(plan_->sourceFile, gone.string());
  EXPECT_EQ(plan_->sourceSize, 1000) << "the previous file's size stays";
  EXPECT_EQ(window.FileSize.Text(), "1000.0 bytes. (1,000 bytes)");
  EXPECT_EQ(ReadFile(SettingsFile()), stored);

  // Start then runs on the vanished path and tells so.
  Type(Find<QLineEdit>("Amount"), "2");
  PressOnNextBox(seen_, QMessageBox::Ok);
  Start(out_ / "gone.BAT");
  ASSERT_EQ(seen_.size(), 2u);
  EXPECT_EQ(seen_[1].text, "Unable to open the file \"" + gone.string() + "\" for reading!\n");
  EXPECT_EQ(seen_[1].title, "Zelbo - ERROR");
  EXPECT_EQ(seen_[1].icon, QMessageBox::Critical);
  EXPECT_TRUE(FilesIn(out_).empty());
  EXPECT_TRUE(window.SplitStart.Enabled());
}

TEST_F(SplitRunTest, AFullSplitRejoinsWithItsShellScript) {
  gui::TMainForm& window = OpenWindow();
  const fs::path source = MakeSource("movie.avi", 3 * kPart + 3392);
  Choose(source);
  SixtyFourKbyteParts();
  int max_position = 0;
  bool locked = true;
  bool titled = true;  // a minimised window still tells the progress
  DuringRun([&] {
    if (!Writing()) return;
    max_position = std::max(max_position, window.ProgressBar0.Position());
    // The title follows the bar a few times a second.
    const std::string title = window.form().Text();
    titled = titled && title.ends_with("% - Zelbo") &&
             std::stoi(title) <= window.ProgressBar0.Position();
    locked = locked && !window.SplitStart.Enabled() && !window.BrowseButton.Enabled() &&
             !window.Amount.Enabled() && !window.SplitType.Enabled() &&
             !window.Preselection.Enabled() && !window.UseNoLFN.Enabled() &&
             window.CloseButton.Text() == "Cancel" && window.runInProgress == 1 &&
             window.ProgressBar0.Visible();
  });
  PressOnNextBox(seen_, QMessageBox::Ok);
  SeenDialog dialog;
  Start(out_ / "movie.BAT", &dialog);
  EXPECT_EQ(dialog.title, "Select the name of the unsplit batch file");
  EXPECT_EQ(dialog.selected.value(0).toStdString().substr(dialog.selected.value(0).lastIndexOf('/') + 1),
            "movie.BAT");
  EXPECT_TRUE(locked);
  EXPECT_TRUE(titled);
  EXPECT_EQ(window.form().Text(), "Zelbo");
  EXPECT_EQ(max_position, 100);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].title, "Zelbo - Success");
  EXPECT_EQ(seen_[0].icon, QMessageBox::Information);
  EXPECT_EQ(seen_[0].text, FinishedText(4, "movie", "movie"));
  EXPECT_EQ(FilesIn(out_), (std::vector<std::string>{"movie.001", "movie.002", "movie.003",
                                                     "movie.004", "movie.bat", "movie.sh"}));
  EXPECT_EQ(fs::file_size(out_ / "movie.004"), 3392u);

  // The window is idle again.
  EXPECT_TRUE(window.SplitStart.Enabled() && window.UseNoLFN.Enabled());
  EXPECT_EQ(window.CloseButton.Text(), "Close");
  EXPECT_FALSE(window.ProgressBar0.Visible());
  EXPECT_EQ(window.StatusBar1.Text(), "");
  EXPECT_TRUE(window.SplitForecast.Text().starts_with("The file will be split into 4 parts of 64 kilobytes."));
  EXPECT_EQ(window.runInProgress, 0);

  const std::string stored = ReadFile(SettingsFile());
  for (const std::string& value : {"\"DestPath\"=\"" + out_.string() + "/\"", std::string("\"Parts\"=\"64\""),
                                  std::string("\"PartType\"=dword:00000002"),
                                  std::string("\"ShortNames\"=\"Yes\"")}) {
    EXPECT_NE(stored.find(value), std::string::npos) << value;
  }

  ASSERT_EQ(std::system(("cd '" + out_.string() + "' && /bin/sh movie.sh >/dev/null").c_str()), 0);
  EXPECT_EQ(FilesIn(out_), (std::vector<std::string>{"movie.avi", "movie.bat"}));
  EXPECT_EQ(std::system(("cmp -s '" + source.string() + "' '" + (out_ / "movie.avi").string() + "'").c_str()), 0);
}

TEST_F(SplitRunTest, ACancelledSaveDialogStoresNothing) {
  OpenWindow();
  Choose(MakeSource("clip.avi", 3 * kPart));
  SixtyFourKbyteParts();
  const std::string before = ReadFile(SettingsFile());
  AnswerNextFileDialog("");
  QTest::mouseClick(Find<QPushButton>("SplitStart"), Qt::LeftButton);
  EXPECT_EQ(ReadFile(SettingsFile()), before);
  EXPECT_TRUE(FilesIn(out_).empty());

  // A confirmed Start remembers the folder for the next one, also after a restart.
  PressOnNextBox(seen_, QMessageBox::Ok);
  Start(out_ / "clip.BAT");
  CloseWindow();
  OpenWindow();
  Choose(sources_ / "clip.avi");
  SixtyFourKbyteParts();
  SeenDialog dialog;
  AnswerNextFileDialog("", &dialog);
  QTest::mouseClick(Find<QPushButton>("SplitStart"), Qt::LeftButton);
  EXPECT_EQ(dialog.folder, out_.string());
}

}  // namespace
}  // namespace zelbo::testing
