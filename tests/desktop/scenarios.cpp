// The window as a user meets it, on whichever toolkit the driver runs: the
// same scenarios for the Qt window and for Zelbo32.exe under wine.
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/desktop/driver.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"

namespace zelbo::desktop {
namespace {

using testing::PatternBytes;
using testing::ReadFile;
using testing::SortedNames;
using testing::TempDir;
using testing::WriteFile;
using namespace std::chrono_literals;

constexpr std::string_view kOpenTitle = "Select the file to split";
constexpr std::string_view kSaveTitle = "Select the name of the unsplit batch file";
constexpr std::int64_t kKbyte = 1024;
constexpr std::int64_t kMbyte = 1024 * kKbyte;

bool Eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 30s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string FinishedText(int n, const std::string& base, const std::string& batch) {
  char up_to[16];
  std::snprintf(up_to, sizeof up_to, "%03d", n);
  return "Finished splitting the file into " + std::to_string(n) + " parts.\nEach part was named \"" +
         base + ".###\" (###=001 up to " + up_to + ")\nThe batch files \"" + batch +
         ".bat\" and \"" + batch + ".sh\" to put the pieces back together were created.\n";
}

// A file of `size` bytes that takes no room (its bytes read as zeros).
fs::path SparseFile(const fs::path& path, std::int64_t size) {
  WriteFile(path, "");
  fs::resize_file(path, static_cast<std::uintmax_t>(size));
  return path;
}

// A small medium that fills up, or a read-only one: a tmpfs of its own
// (root only).
class SmallMedium {
 public:
  explicit SmallMedium(const fs::path& folder, std::int64_t size, unsigned long flags = 0)
      : folder_(folder) {
    fs::create_directories(folder);
    const std::string options = "size=" + std::to_string(size);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", flags, options.c_str()) == 0;
  }
  ~SmallMedium() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

  // Fills it up to `room` free bytes.
  void LeaveRoom(std::int64_t room) {
    struct statvfs space {};
    ::statvfs(folder_.c_str(), &space);
    const auto free = static_cast<std::int64_t>(space.f_bavail * space.f_frsize);
    WriteFile(Filler(), std::string(static_cast<std::size_t>(free - room), 'f'));
  }
  void MakeRoom() { fs::remove(Filler()); }
  // Takes the medium out: its folder is the bare mount point again.
  void TakeOut() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    mounted_ = false;
  }

 private:
  fs::path Filler() const { return folder_ / "filler"; }
  fs::path folder_;
  bool mounted_ = false;
};

class WindowScenario : public ::testing::Test {
 protected:
  void SetUp() override { driver_ = MakeDriver(); }
  void TearDown() override { driver_.reset(); }

  Driver& ui() { return *driver_; }
  void Play(const std::function<void()>& body) { driver_->Play(body); }

  // Waits until the control shows `expected`; true if it did.
  bool Shows(std::string_view control, std::string_view expected) {
    const bool shown = Eventually([&] { return ui().State(control).text == expected; }, 10s);
    if (!shown) ADD_FAILURE() << control << " shows \"" << ui().State(control).text
                              << "\", not \"" << expected << "\"";
    return shown;
  }

  BoxSeen AwaitBox(std::string_view title) {
    if (!Eventually([&] { return ui().BoxShown(title); })) {
      ADD_FAILURE() << "no box titled \"" << title << "\"";
      return {};
    }
    return ui().ReadBox(title);
  }

  // Gives the window titled `title` its answer and waits until it has gone.
  // Under load wine now and then drops the input sent to a window that has
  // just appeared (one CI run in many): one still there after 10 s is
  // answered once more, and says so.
  void AnswerUntilGone(std::string_view title, const std::function<bool()>& gone,
                       const std::function<void()>& answer) {
    answer();
    if (Eventually(gone, 10s)) return;
    std::fprintf(stderr, "%.*s: answered again\n", static_cast<int>(title.size()), title.data());
    answer();
    EXPECT_TRUE(Eventually(gone)) << title << " stays";
  }

  // Answers the box titled `title` with `button` and waits for it to go.
  BoxSeen Answer(std::string_view title, std::string_view button) {
    BoxSeen seen = AwaitBox(title);
    AnswerUntilGone(title, [&] { return !ui().BoxShown(title); },
                    [&] { ui().Press(title, button); });
    return seen;
  }

  void AwaitDialog(std::string_view title) {
    EXPECT_TRUE(Eventually([&] { return ui().DialogShown(title); })) << "no dialog " << title;
  }

  void InDialog(std::string_view title, const fs::path& path) {
    AwaitDialog(title);
    const std::string answer = path.empty() ? "" : ui().ProgramPath(path);
    AnswerUntilGone(title, [&] { return !ui().DialogShown(title); },
                    [&] { ui().AnswerDialog(title, answer); });
  }

  void ChooseSource(const fs::path& source) {
    ui().Click("BrowseButton");
    InDialog(kOpenTitle, source);
  }

  void Start(const fs::path& batch) {
    ui().Click("SplitStart");
    InDialog(kSaveTitle, batch);
  }

  // Tab moves the focus, so the window has taken every key before it and
  // no box is in the way.
  void ExpectWindowResponds() {
    const std::string before = ui().FocusedControl();
    ui().Key("Tab");
    EXPECT_TRUE(Eventually([&] { return ui().FocusedControl() != before; }, 10s))
        << "the window does not answer";
  }

  void UnitsAndAmount(int unit, std::string_view amount) {
    ui().Pick("SplitType", unit);
    EXPECT_TRUE(Eventually([&] { return ui().State("SplitType").index == unit; }));
    ui().Type("Amount", amount);
    Shows("Amount", amount);
  }

  // Holds the program while it writes one of the parts from `first` on.
  void FreezeWhileWritingPart(int first) {
    const bool writing = Eventually([&] {
      const std::string text = ui().State("SplitForecast").text;
      return text.starts_with("Writing part ") && std::stoi(text.substr(13)) >= first;
    });
    ui().Freeze();
    ASSERT_TRUE(writing) << "the run never reached part " << first;
    ASSERT_TRUE(ui().State("SplitForecast").text.starts_with("Writing part "))
        << "the run ended before the program was held";
  }

  // After a run that wrote into `folder`. The status bar no longer shows
  // a part's path (a hint may show once the mouse moved).
  void ExpectIdle(const fs::path& folder) {
    EXPECT_TRUE(Shows("CloseButton", "Close"));
    EXPECT_TRUE(ui().State("SplitStart").enabled);
    EXPECT_TRUE(ui().State("UseNoLFN").enabled);
    EXPECT_FALSE(ui().State("ProgressBar0").visible);
    const std::string status = ui().State("StatusBar1").text;
    EXPECT_FALSE(status.starts_with(ui().ProgramPath(folder))) << status;
  }

  void CloseAndExpectExitZero() {
    ui().Click("CloseButton");
    EXPECT_EQ(ui().WaitForExit(), 0);
  }

  // Joins a copy of the folder's parts with each system's script.
  void ExpectJoinsBack(const fs::path& folder, const std::string& base, const fs::path& source) {
    for (const std::vector<std::string>& command : ui().JoinCommands(base)) {
      const TempDir copy;
      for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != "filler") fs::copy(entry.path(), copy.path());
      }
      testing::RunOptions options;
      options.working_directory = copy.path();
      const std::vector<std::string> arguments(command.begin() + 1, command.end());
      testing::RunProgram(command[0], arguments, options);
      const bool same = ReadFile(copy / source.filename().string()) == ReadFile(source);
      EXPECT_TRUE(same) << command[0] << " did not join the parts back: "
                        << testing::SortedNames(copy.path()).size() << " files left";
    }
  }

  TempDir work_;

 private:
  std::unique_ptr<Driver> driver_;
};

TEST_F(WindowScenario, AtRestTheKeyboardMovesOnlyTheFocus) {
  Play([&] {
    ui().Launch();
    EXPECT_EQ(ui().State("MainForm").text, "Zelbo");
    EXPECT_EQ(ui().ClientSize(), (std::pair{353, 222}));
    EXPECT_EQ(ui().State("GroupBox1").text, "Split details");
    EXPECT_EQ(ui().State("SplitForecast").text, "Select a file to split first");
    EXPECT_EQ(ui().State("SplitType").index, 0);
    EXPECT_EQ(ui().State("Preselection").index, -1);
    EXPECT_TRUE(ui().State("UseNoLFN").checked);
    EXPECT_FALSE(ui().State("ProgressBar0").visible);

    EXPECT_EQ(ui().FocusedControl(), "BrowseButton");
    // Enter presses no button, Escape none while idle.
    ui().Key("Return");
    ui().Key("Escape");
    std::vector<std::string> order{ui().FocusedControl()};
    for (int i = 0; i < 7; ++i) {
      ui().Key("Tab");
      EXPECT_TRUE(Eventually([&] { return ui().FocusedControl() != order.back(); }, 10s));
      order.push_back(ui().FocusedControl());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"BrowseButton", "Amount", "SplitType",
                                               "Preselection", "CloseButton", "SplitStart",
                                               "UseNoLFN", "BrowseButton"}));
    ui().Key("shift+Tab");
    EXPECT_TRUE(Eventually([&] { return ui().FocusedControl() == "UseNoLFN"; }, 10s));
    EXPECT_FALSE(ui().DialogShown(kOpenTitle));
    EXPECT_TRUE(ui().State("MainForm").visible);
    CloseAndExpectExitZero();
    EXPECT_EQ(ui().Read("Parts"), StoredText("2"));
    EXPECT_EQ(ui().Read("PartType"), StoredNumber(0));
    EXPECT_EQ(ui().Read("ShortNames"), StoredText("Yes"));
  });
}

// The layout at 353 x 222 pixels for 96 dpi and a 9-point desktop font.
TEST_F(WindowScenario, TheWindowScalesWithTheScreenAndTheDesktopFont) {
  const struct {
    int dpi, points;
    std::pair<int, int> size;
  } rows[] = {
      {96, 0, {353, 222}},
      {144, 0, {530, 333}},  // x 144/96, rounded
      {96, 14, {549, 345}},  // x 14/9
      {96, 8, {353, 222}},   // a smaller font leaves it
  };
  Play([&] {
    for (const auto& row : rows) {
      if (!ui().SetScreenDpi(row.dpi) && row.dpi != 96) continue;  // the driver keeps it
      ui().SetDesktopFont(row.points);
      ui().Launch();
      EXPECT_EQ(ui().ClientSize(), row.size) << row.dpi << " dpi, " << row.points << " points";
      ui().SetScreenDpi(96);
      ui().SetDesktopFont(0);
      CloseAndExpectExitZero();
    }
  });
}

TEST_F(WindowScenario, HintsFollowTheMouse) {
  Play([&] {
    const fs::path folder = work_ / "a folder with a name long enough to be left out of the path";
    fs::create_directories(folder);
    const std::string source = ui().ProgramPath(SparseFile(folder / "clip.avi", 1000));
    ui().Launch();
    ChooseSource(folder / "clip.avi");  // shown shortened
    const std::pair<const char*, std::string> hovered[] = {
        {"SplitFileDisplay", source},  // the whole path of the shortened one
        {"Amount", "Amount of parts"},
        {"SplitForecast", "This area displays what will be done"},  // its panel's
        {"BrowseButton", "Start here to choose your \"large\" file."},
        {"Label2", "Download the latest version from "},  // none up to the window's
        {"CloseButton", "Exits the Zelbo application."},
    };
    for (const auto& [control, hint] : hovered) {
      ui().Hover(control);
      const auto shows_hint = [&, hint = hint] {
        return ui().State("StatusBar1").text.starts_with(hint);
      };
      EXPECT_TRUE(Eventually(shows_hint, 10s))
          << control << ": " << ui().State("StatusBar1").text;
    }
    for (const auto& [control, tooltip] : {std::pair{"Amount", std::string("Amount of parts")},
                                           {"SplitFileDisplay", source}}) {
      ui().Hover(control);
      EXPECT_TRUE(Eventually([&, tooltip = tooltip] { return ui().Tooltip() == tooltip; }, 10s))
          << control << ": " << ui().Tooltip();
    }
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, TheForecastFollowsTypingUnitsAndPresets) {
  Play([&] {
    const fs::path source = SparseFile(work_ / "big.iso", 10'000'000);
    ui().Launch();
    ChooseSource(source);
    Shows("FileSize", "9.6 Mbytes. (10,000,000 bytes)");
    Shows("SplitFileDisplay", ui().ProgramPath(source));
    const std::string times_3 =
        "\nEstimated transfer times per part HH:MM:\n   Modem: 0:19, ISDN: 0:08, DSL/LAN: <0:01";
    const std::pair<const char*, std::string> typed[] = {
        {"", "You need at least an amount of 1!"},
        {"1", "You need at least two parts!"},
        {"3", "The file will be split into 3 parts of 3,333,334 bytes." + times_3},
    };
    for (const auto& [amount, forecast] : typed) {
      ui().Type("Amount", amount);
      Shows("SplitForecast", forecast);
    }
    UnitsAndAmount(2, "1400");
    Shows("SplitForecast",
          "The file will be split into 7 parts of 1,400 kilobytes.\n"
          "Estimated transfer times per part HH:MM:\n   Modem: 0:08, ISDN: 0:04, DSL/LAN: <0:01");
    ui().Pick("Preselection", 4);  // CD 700M
    Shows("Amount", "700");
    EXPECT_EQ(ui().State("SplitType").index, 3);
    Shows("SplitForecast", "WARNING: partsize bigger than filesize!");
    ui().Type("Amount", "5");
    Shows("SplitForecast",
          "The file will be split into 2 parts of 5 megabytes.\n"
          "Estimated transfer times per part HH:MM:\n   Modem: 0:29, ISDN: 0:13, DSL/LAN: <0:01");
    EXPECT_EQ(ui().State("Preselection").index, 4) << "typing keeps the preset shown";
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, StartRefusesPlansThatCannotRun) {
  Play([&] {
    ui().Launch();
    ui().Click("SplitStart");
    ExpectWindowResponds();  // no source: nothing happens
    EXPECT_FALSE(ui().BoxShown("Zelbo - ERROR"));
    EXPECT_FALSE(ui().DialogShown(kSaveTitle));

    ChooseSource(SparseFile(work_ / "thousand.bin", 1000));
    const struct {
      int unit;
      const char* amount;
      const char* refusal;
    } refused[] = {
        {1, "1000", "Your partsize is larger than (or equal to) the filesize!"},
        {1, "0", "You need at least an amount of 1!"},
        {0, "1", "You need at least two parts!"},
    };
    for (const auto& plan : refused) {
      UnitsAndAmount(plan.unit, plan.amount);
      ui().Click("SplitStart");
      EXPECT_EQ(Answer("Zelbo - ERROR", "OK").text, plan.refusal);
    }
    EXPECT_FALSE(ui().DialogShown(kSaveTitle));
    EXPECT_TRUE(SortedNames(work_.path()) == std::vector<std::string>{"thousand.bin"});
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, TheSaveDialogRefusesAMissingFolderAReadOnlyFileAndAFolderOutOfReach) {
  Play([&] {
    const fs::path locked = work_ / "locked.BAT";
    WriteFile(locked, "keep me");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // Out of reach for an ordinary user by its permissions, for root as a
    // read-only medium.
    fs::create_directories(work_ / "read-only");
    fs::permissions(work_ / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
    SmallMedium read_only(work_ / "read-only", kMbyte, MS_RDONLY);
    ui().Launch();
    ChooseSource(SparseFile(work_ / "movie.avi", 100'000));
    for (const fs::path& refused :
         {work_ / "missing" / "movie.BAT", locked, work_ / "read-only" / "movie.BAT"}) {
      ui().Click("SplitStart");
      AwaitDialog(kSaveTitle);
      ui().AnswerDialog(kSaveTitle, ui().ProgramPath(refused));
      EXPECT_TRUE(Eventually([&] { return ui().BoxShown("*"); })) << "nothing tells why";
      ui().Press("*", "OK");
      EXPECT_TRUE(Eventually([&] { return !ui().BoxShown("*") && ui().DialogShown(kSaveTitle); }))
          << "the dialog does not ask again";
      ui().AnswerDialog(kSaveTitle, "");
      EXPECT_TRUE(Eventually([&] { return !ui().DialogShown(kSaveTitle); }));
    }
    EXPECT_EQ(ReadFile(locked), "keep me");
    EXPECT_EQ(SortedNames(work_.path()),
              (std::vector<std::string>{"locked.BAT", "movie.avi", "read-only"}));
    EXPECT_EQ(ui().Read("DestPath"), Stored{}) << "a refused folder is not remembered";
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, AWholeRunAsAUserDoesIt) {
  Play([&] {
    const fs::path out = work_ / "out";
    fs::create_directories(out);
    const fs::path source = work_ / "movie.avi";
    WriteFile(source, PatternBytes(3 * 64 * kKbyte + 3392));
    ui().Launch();
    ui().Click("BrowseButton");
    AwaitDialog(kOpenTitle);
    const std::vector<std::string> filters = ui().DialogFilters(kOpenTitle);
    EXPECT_EQ(filters.size(), 5u);
    EXPECT_EQ(filters.empty() ? "" : filters[0], "All (*.*)");
    ui().AnswerDialog(kOpenTitle, ui().ProgramPath(source));
    Shows("FileSize", "195.4 kbytes. (200,000 bytes)");
    UnitsAndAmount(2, "64");
    ui().Click("SplitStart");
    AwaitDialog(kSaveTitle);
    EXPECT_EQ(ui().DialogFileName(kSaveTitle), "movie.BAT");
    EXPECT_EQ(ui().DialogFilters(kSaveTitle),
              (std::vector<std::string>{"All (*.*)", "Batch files (*.bat)"}));
    ui().AnswerDialog(kSaveTitle, ui().ProgramPath(out / "movie.BAT"));
    AwaitBox("Zelbo - Success");
    EXPECT_EQ(ui().State("MainForm").text, "100% - Zelbo") << "the title as the box comes";
    EXPECT_EQ(Answer("Zelbo - Success", "OK").text, FinishedText(4, "movie", "movie"));

    EXPECT_EQ(SortedNames(out), (std::vector<std::string>{"movie.001", "movie.002", "movie.003",
                                                          "movie.004", "movie.bat", "movie.sh"}));
    ExpectIdle(out);
    EXPECT_TRUE(Eventually([&] { return ui().FocusedControl() == "SplitStart"; }, 10s))
        << "the focus is on " << ui().FocusedControl() << ", not back on Start";
    EXPECT_TRUE(ui().State("SplitForecast").text.starts_with(
        "The file will be split into 4 parts of 64 kilobytes."));
    std::string folder = ui().ProgramPath(out / "x");
    folder.pop_back();
    EXPECT_EQ(ui().Read("DestPath"), StoredText(folder));
    EXPECT_EQ(ui().Read("Parts"), StoredText("64"));
    EXPECT_EQ(ui().Read("PartType"), StoredNumber(2));
    EXPECT_EQ(ui().Read("ShortNames"), StoredText("Yes"));
    ExpectJoinsBack(out, "movie", source);
    CloseAndExpectExitZero();
  });
}

class CancelScenario : public WindowScenario, public ::testing::WithParamInterface<bool> {};

TEST_P(CancelScenario, CancellingARunRemovesItsParts) {
  const bool by_escape = GetParam();
  Play([&] {
    const fs::path out = work_ / "out";
    fs::create_directories(out);
    WriteFile(out / "movie.099", "not of this run");
    ui().Launch();
    ChooseSource(SparseFile(work_ / "movie.avi", 8 * 64 * kMbyte));
    UnitsAndAmount(3, "64");
    ui().Hover("SplitForecast");
    const std::string idle_pointer = ui().Pointer();
    Start(out / "movie.BAT");
    FreezeWhileWritingPart(2);
    ui().Hover("SplitForecast");  // the mouse rests on the window while it works
    ui().Thaw();
    FreezeWhileWritingPart(3);
    EXPECT_NE(ui().Pointer(), idle_pointer) << "no busy pointer during the run";
    for (const char* locked : {"SplitStart", "BrowseButton", "Amount", "SplitType", "Preselection",
                               "UseNoLFN"}) {
      EXPECT_FALSE(ui().State(locked).enabled) << locked;
    }
    EXPECT_EQ(ui().State("CloseButton").text, "Cancel");
    EXPECT_TRUE(ui().State("ProgressBar0").visible);
    if (by_escape) {
      ui().Key("Escape");
    } else {
      ui().Click("CloseButton");
    }
    ui().Thaw();
    AwaitBox("Zelbo - Aborted");
    EXPECT_EQ(ui().State("MainForm").text, "Zelbo");
    EXPECT_EQ(Answer("Zelbo - Aborted", "OK").text, "User aborted!");
    EXPECT_EQ(SortedNames(out), std::vector<std::string>{"movie.099"});
    ExpectIdle(out);
    ui().Hover("SplitForecast");
    EXPECT_TRUE(Eventually([&] { return ui().Pointer() == idle_pointer; }, 10s))
        << "the busy pointer stays";
    EXPECT_TRUE(ui().State("MainForm").visible) << "cancel does not close the window";
    // Start has the focus back; pressed from the keyboard, it splits again.
    ui().Key("space");
    InDialog(kSaveTitle, out / "movie.BAT");
    EXPECT_EQ(Answer("Zelbo - Success", "OK").text, FinishedText(8, "movie", "movie"));
    CloseAndExpectExitZero();
  });
}

INSTANTIATE_TEST_SUITE_P(ByClickAndByEscape, CancelScenario, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Escape" : "Click"; });

class DiskFullScenario : public WindowScenario, public ::testing::WithParamInterface<bool> {};

TEST_P(DiskFullScenario, AFullMediumAsksForRoom) {
  const bool retry = GetParam();
  Play([&] {
    SmallMedium medium(work_ / "medium", 2 * kMbyte);
    if (!medium.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    const std::string drive = ui().AttachMedium(work_ / "medium");
    const fs::path source = work_ / "movie.avi";
    WriteFile(source, PatternBytes(5 * 256 * kKbyte + 100));
    medium.LeaveRoom(640 * kKbyte);  // two parts and a half
    ui().Launch();
    ChooseSource(source);
    UnitsAndAmount(2, "256");
    Start(work_ / "medium" / "movie.BAT");
    const BoxSeen full = AwaitBox("Zelbo - Error");
    const std::string asked = "Insufficient disk space (or rights) to fully write " + drive +
                              "movie.003!\n\nInsert media with enough diskspace free (262144 bytes) "
                              "or cancel.\n\n";  // the system's reason follows
    EXPECT_TRUE(full.text.starts_with(asked)) << full.text;
    EXPECT_EQ(full.buttons, (std::vector<std::string>{"Retry", "Cancel"}));
    EXPECT_EQ(ui().State("MainForm").text,
              std::to_string(ui().State("ProgressBar0").position) + "% - Zelbo");
    if (retry) {
      medium.MakeRoom();
      ui().Press("Zelbo - Error", "Retry");
      Answer("Zelbo - Success", "OK");
      ExpectJoinsBack(work_ / "medium", "movie", source);
    } else {
      ui().Press("Zelbo - Error", "Cancel");
      EXPECT_EQ(Answer("Zelbo - User Abort", "OK").text,
                "You chose to cancel!\n\nDo not forget to cleanup the already written parts (3)!");
      EXPECT_EQ(SortedNames(work_ / "medium"),
                (std::vector<std::string>{"filler", "movie.001", "movie.002"}));
    }
    ExpectIdle(work_ / "medium");
    CloseAndExpectExitZero();
  });
}

INSTANTIATE_TEST_SUITE_P(RetryAndCancel, DiskFullScenario, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Retry" : "Cancel"; });

// Parts that a file-size limit would cut short are refused before the run.
TEST_F(WindowScenario, PartsTheLimitCannotHoldAreRefusedBeforeTheRun) {
  Play([&] {
    const fs::path source = work_ / "movie.avi";
    WriteFile(source, PatternBytes(kMbyte));
    if (!ui().LimitFileSize(300 * kKbyte)) GTEST_SKIP() << "no file-size limits here";
    const fs::path out = work_ / "out";
    fs::create_directories(out);
    ui().Launch();
    ChooseSource(source);
    UnitsAndAmount(2, "512");
    Start(out / "movie.BAT");
    EXPECT_EQ(Answer("Zelbo - ERROR", "OK").text,
              "ERROR: Parts of 512 kbytes are larger than the file-size limit of this process "
              "(ulimit -f) allows: at most 300 kbytes!");
    EXPECT_TRUE(SortedNames(out).empty());
    ExpectIdle(out);
    CloseAndExpectExitZero();
    ui().LimitFileSize(-1);
  });
}

// The medium taken out at the disk-full question, Retry pressed before
// another one is in: the rest of the parts go where the user says, never
// into the bare folder the medium was mounted on.
TEST_F(WindowScenario, AMediumTakenOutIsNeverWrittenBelow) {
  Play([&] {
    SmallMedium medium(work_ / "medium", 2 * kMbyte);
    if (!medium.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    const fs::path source = work_ / "movie.avi";
    WriteFile(source, PatternBytes(5 * 256 * kKbyte + 100));
    (void)ui().AttachMedium(work_ / "medium");
    medium.LeaveRoom(640 * kKbyte);  // two parts and a half
    const fs::path other = work_ / "other";
    fs::create_directories(other);
    ui().Launch();
    ChooseSource(source);
    UnitsAndAmount(2, "256");
    Start(work_ / "medium" / "movie.BAT");
    const BoxSeen full = AwaitBox("Zelbo - Error");
    medium.TakeOut();
    ui().DetachMedium(work_ / "medium");
    ui().Press("Zelbo - Error", "Retry");
    // The next box has the same title.
    EXPECT_TRUE(Eventually([&] {
      return ui().BoxShown("Zelbo - Error") && ui().ReadBox("Zelbo - Error").text != full.text;
    }));
    const BoxSeen gone = ui().ReadBox("Zelbo - Error");
    EXPECT_TRUE(gone.text.ends_with(" is gone, or the medium that held it was taken out.\n\n"
                                    "Choose the folder for part 3 and the parts after it."))
        << gone.text;
    ui().Press("Zelbo - Error", "OK");
    InDialog("Folder for part 3 and the rest", other);
    const BoxSeen done = Answer("Zelbo - Success", "OK");
    EXPECT_NE(done.text.find("\nThe parts went to more than one medium:\n001 to 002: "),
              std::string::npos)
        << done.text;
    EXPECT_TRUE(SortedNames(work_ / "medium").empty()) << "nothing below the mount point";
    EXPECT_EQ(SortedNames(other), (std::vector<std::string>{"movie.003", "movie.004", "movie.005",
                                                            "movie.006", "movie.bat", "movie.sh"}));
    ExpectIdle(other);
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, ChoicesAreRememberedAfterARestart) {
  Play([&] {
    ui().Launch();
    UnitsAndAmount(3, "not a number");
    ui().Click("UseNoLFN");
    EXPECT_TRUE(Eventually([&] { return !ui().State("UseNoLFN").checked; }));
    ui().CloseWindow();
    EXPECT_EQ(ui().WaitForExit(), 0);

    ui().Launch();
    EXPECT_EQ(ui().State("Amount").text, "not a number");
    EXPECT_EQ(ui().State("SplitType").index, 3);
    EXPECT_FALSE(ui().State("UseNoLFN").checked);
    CloseAndExpectExitZero();

    // A unit index out of range selects nothing and is stored back as -1.
    ui().Store("PartType", StoredNumber(7));
    ui().Launch();
    EXPECT_EQ(ui().State("SplitType").index, -1);
    CloseAndExpectExitZero();
    EXPECT_EQ(ui().Read("PartType"), StoredNumber(-1));
  });
}

TEST_F(WindowScenario, AValueOfTheWrongTypeShowsTheErrorBoxBeforeTheWindow) {
  Play([&] {
    ui().Store("Parts", StoredText("9"));
    ui().Store("PartType", StoredText("3"));
    ui().Launch();
    EXPECT_EQ(AwaitBox("Zelbo").text, "Invalid data type for 'PartType'");
    EXPECT_FALSE(ui().State("MainForm").visible) << "the box comes first";
    ui().Press("Zelbo", "OK");
    EXPECT_TRUE(Eventually([&] { return ui().State("MainForm").visible; }));
    EXPECT_EQ(ui().State("Amount").text, "9") << "read before the error";
    EXPECT_EQ(ui().State("SplitType").index, 0);
    CloseAndExpectExitZero();
    EXPECT_EQ(ui().Read("PartType"), StoredNumber(0)) << "stored with its type again";
  });
}

TEST_F(WindowScenario, ClosingDuringARunLetsTheRunFinish) {
  Play([&] {
    const fs::path out = work_ / "out";
    fs::create_directories(out);
    ui().Launch();
    ChooseSource(SparseFile(work_ / "movie.avi", 6 * 64 * kMbyte));
    UnitsAndAmount(3, "64");
    Start(out / "movie.BAT");
    FreezeWhileWritingPart(2);
    ui().Store("Parts", StoredText("stored before the close"));
    ui().CloseWindow();
    ui().Thaw();
    EXPECT_TRUE(Eventually([&] { return ui().Read("Parts") == StoredText("64"); }))
        << "the close stores the choices at once";
    AwaitBox("Zelbo - Success");
    EXPECT_TRUE(ui().State("MainForm").visible) << "the window stays until the run is over";
    Answer("Zelbo - Success", "OK");
    EXPECT_EQ(ui().WaitForExit(), 0);
    EXPECT_EQ(SortedNames(out).size(), 8u);
    EXPECT_EQ(fs::file_size(out / "movie.006"), static_cast<std::uintmax_t>(64 * kMbyte));
  });
}

TEST_F(WindowScenario, NamesInAnyLanguageAndAnAmpersandStayAsTheyAre) {
  Play([&] {
    const fs::path folder = work_ / "名前 & ü";  // short enough to be shown whole
    const fs::path out = folder / "ausgabe ü";
    fs::create_directories(out);
    const fs::path source = folder / "clip & ä.avi";
    WriteFile(source, PatternBytes(100'000));
    ui().Launch();
    ChooseSource(source);
    Shows("SplitFileDisplay", ui().ProgramPath(source));
    ui().Click("UseNoLFN");
    EXPECT_TRUE(Eventually([&] { return !ui().State("UseNoLFN").checked; }));
    Start(out / "clip & ä.BAT");
    Answer("Zelbo - Success", "OK");
    EXPECT_EQ(SortedNames(out), (std::vector<std::string>{"clip & ä.001", "clip & ä.002",
                                                          "clip & ä.bat", "clip & ä.sh"}));
    ExpectJoinsBack(out, "clip & ä", source);
    CloseAndExpectExitZero();
  });
}

TEST_F(WindowScenario, TheFolderDialogGivesTheFolderChosenOrNothing) {
  Play([&] {
    const fs::path medium = work_ / "medium 2";
    fs::create_directories(medium);
    for (const bool chosen : {true, false}) {
      ui().AskForFolder("Where should the other parts go?", work_.path());
      InDialog("Where should the other parts go?", chosen ? medium : fs::path());
      EXPECT_EQ(ui().FolderChosen(), chosen ? ui().ProgramPath(medium) : "");
    }
  });
}

}  // namespace
}  // namespace zelbo::desktop
