// The windowed run's outcomes in its own words: the message boxes and the
// files left, on the real file layer in a temporary folder with system
// calls failing where each row says, and a display that records the boxes
// and answers them.
#include <deque>

#include <gtest/gtest.h>

#include "gui/split_run.h"
#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/files.h"

namespace zelbo::gui {
namespace {

namespace fs = std::filesystem;
using platform::FailureCode;
using platform::ScopedFaults;
using platform::SystemCall;
using platform::SystemFault;
using toolkit::MessageAnswer;
using toolkit::MessageButtons;
using toolkit::MessageIcon;

constexpr std::int64_t kPart = 65536;

struct Box {
  std::string text, title;
  MessageIcon icon;
  MessageButtons buttons;
  std::string detail;
};

class RecordingDisplay final : public RunDisplay {
 public:
  toolkit::Cursor GetCursor() override { return cursor; }
  void SetCursor(toolkit::Cursor to) override { cursor = to; }
  void ShowPartLine(std::string_view caption, std::string_view) override {
    lines.emplace_back(caption);
  }
  void ShowProgress(int percent) override { positions.push_back(percent); }
  void ShowProgressInTitle(std::optional<int> percent) override { titles.push_back(percent.value_or(-1)); }
  void ProcessMessages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  bool CancelRequested() override { return cancel; }
  void ClearCancelRequest() override { cancel = false; }
  MessageAnswer MessageBox(std::string_view text, std::string_view title, MessageIcon icon,
                           MessageButtons buttons, std::string_view detail) override {
    boxes.push_back({std::string(text), std::string(title), icon, buttons, std::string(detail)});
    busy_at_box.push_back(cursor == toolkit::Cursor::kHourGlass);
    if (answers.empty()) return MessageAnswer::kOk;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    if (on_answer) on_answer();
    return answer;
  }
  std::string ChooseFolder(std::string_view, std::string_view) override {
    if (folders.empty()) return {};
    std::string folder = folders.front();
    folders.pop_front();
    return folder;
  }

  toolkit::Cursor cursor = toolkit::Cursor::kDefault;
  std::vector<std::string> lines;
  std::vector<int> positions, titles;
  std::vector<Box> boxes;
  std::vector<bool> busy_at_box;
  std::deque<MessageAnswer> answers;
  std::deque<std::string> folders;
  std::function<void()> on_pump, on_answer;
  int pumps = 0;
  bool cancel = false;
};

class WindowedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "v");
    fs::create_directories(dir_ / "m");
    testing::WriteFile(source_, bytes_);
  }

  // Each look at the clock finds 20 ms gone, so every step is followed by
  // a pump, as on a slow medium.
  void Run(std::string batch = "movie.bat", bool shortNames = true,
           std::chrono::milliseconds tick = std::chrono::milliseconds(20),
           std::vector<SystemFault> faults = {}) {
    ScopedFaults injected(std::move(faults));
    RunWindowedSplit({source_.string(), M(batch), kPart, shortNames}, display_, plan_,
                     [this, tick] { return now_ += tick; });
  }
  // A file in the parts' folder.
  std::string M(const std::string& name) const { return (dir_ / "m" / name).string(); }
  std::string Contents(const std::string& name) const { return testing::ReadFile(M(name)); }
  // Milliseconds the clock was moved on.
  int clock_reads() const { return static_cast<int>(now_.time_since_epoch() / std::chrono::milliseconds(1)); }

  const Box& Last() const { return display_.boxes.back(); }

  std::vector<std::string> Left() const { return testing::SortedNames(dir_ / "m"); }

  testing::TempDir dir_;
  fs::path source_ = dir_ / "v" / "movie.avi";
  std::string bytes_ = testing::PatternBytes(3 * kPart + 100);
  RecordingDisplay display_;
  SplitPlan plan_;
  std::chrono::steady_clock::time_point now_{};
};

TEST_F(WindowedRun, FinishesWithTheSuccessBoxAndEveryFile) {
  Run();
  ASSERT_EQ(display_.boxes.size(), 1u);
  EXPECT_EQ(Last().title, "Zelbo - Success");
  EXPECT_EQ(Last().icon, MessageIcon::kInformation);
  EXPECT_EQ(Last().text,
            "Finished splitting the file into 4 parts.\nEach part was named \"movie.###\" "
            "(###=001 up to 004)\nThe batch files \"movie.bat\" and \"movie.sh\" to put the "
            "pieces back together were created.\n");
  EXPECT_EQ(Left(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003",
                                              "movie.004", "movie.bat", "movie.sh"}));
  EXPECT_EQ(Contents("movie.004"), bytes_.substr(3 * kPart));
  EXPECT_EQ(plan_.sourceSize, 3 * kPart + 100);
  EXPECT_EQ(display_.lines.back(), "Writing part 4, please wait...\n");
  EXPECT_EQ(display_.positions.back(), 100);
  EXPECT_FALSE(display_.busy_at_box.back()) << "the pointer is restored before the box";
  EXPECT_NE(Contents("movie.bat").find("DEL /F \"movie.bat\""), std::string::npos);
}

TEST_F(WindowedRun, TheFinishedBoxSaysWhenOnlyTheShellScriptCanJoin) {
  // A character that Windows names cannot hold makes the same notice there.
  const fs::path source = dir_ / "v" / (platform::ReservesDeviceNames() ? "x.avi" : "say \"hi\".avi");
  testing::WriteFile(source, bytes_);
  RunWindowedSplit({source.string(), M(platform::ReservesDeviceNames() ? "a*b.bat" : "movie.bat"),
                    kPart, true},
                   display_, plan_);
  EXPECT_EQ(Last().title, "Zelbo - Success");
  EXPECT_TRUE(Last().detail.starts_with("The DOS batch file \"movie.bat\" cannot join the parts"))
      << Last().detail;
}

TEST_F(WindowedRun, ALongBatchNameGivesShortPartNamesAndANoticeFirst) {
  Run("holidays9.BAT");
  ASSERT_EQ(display_.boxes.size(), 2u);
  EXPECT_TRUE(display_.boxes[0].text.starts_with("For platform compatibility reasons"));
  EXPECT_TRUE(display_.busy_at_box[0]) << "the notice comes while still busy";
  EXPECT_TRUE(fs::exists(M("part.004")));
  EXPECT_TRUE(fs::exists(M("holidays9.sh")));
}

struct Row {
  const char* label;
  std::vector<SystemFault> faults;
  std::vector<MessageAnswer> answers;
  std::string text;   // the last box's text
  std::string title;  // and its title
  MessageIcon icon;
  std::vector<std::string> left;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class WindowedOutcomes : public WindowedRun, public ::testing::WithParamInterface<Row> {};

TEST_P(WindowedOutcomes, EndInTheirBoxAndLeaveTheirFiles) {
  const Row& row = GetParam();
  display_.answers.assign(row.answers.begin(), row.answers.end());
  Run("movie.bat", true, std::chrono::milliseconds(20), row.faults);
  std::string text = row.text;  // {} stands for the source, {m} for the parts' folder
  if (const auto at = text.find("{}"); at != std::string::npos) text.replace(at, 2, source_.string());
  if (const auto at = text.find("{m}"); at != std::string::npos) text.replace(at, 3, M(""));
  EXPECT_EQ(Last().text, text);
  EXPECT_EQ(Last().title, row.title);
  EXPECT_EQ(Last().icon, row.icon);
  EXPECT_EQ(Left(), row.left);
  EXPECT_FALSE(display_.busy_at_box.back());
}

const std::vector<std::string> kAllFiles = {"movie.001", "movie.002", "movie.003",
                                            "movie.004", "movie.bat", "movie.sh"};
const std::string kFinished =
    "Finished splitting the file into 4 parts.\nEach part was named \"movie.###\" (###=001 up to "
    "004)\nThe batch files \"movie.bat\" and \"movie.sh\" to put the pieces back together were "
    "created.\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowedOutcomes,
    ::testing::Values(
        Row{"source_open", {{SystemCall::kOpen, "movie.avi"}}, {},
            "Unable to open the file \"{}\" for reading!\n", "Zelbo - ERROR",
            MessageIcon::kError, {}},
        Row{"fat_medium", {{SystemCall::kVolume, "", FailureCode::kIo, 1, 1, -1, -1, 30000}}, {},
            "ERROR: Parts of 65536 bytes are larger than the FAT file system allows: at most "
            "30000 bytes!",
            "Zelbo - ERROR", MessageIcon::kError, {}},
        Row{"too_large", {{SystemCall::kWrite, "movie.002", FailureCode::kTooLarge, 1, 1, 100}}, {},
            "ERROR: Unable to write output file \"{m}movie.002\": it is larger than the medium "
            "(or this user) may have a file!",
            "Zelbo - ERROR", MessageIcon::kError, {"movie.001"}},
        Row{"medium_gone_cancel", {{SystemCall::kVolume, "", FailureCode::kIo, 4}}, {},
            "You chose to cancel!\n\nDo not forget to cleanup the already written parts (2)!",
            "Zelbo - User Abort", MessageIcon::kWarning, {"movie.001"}},
        Row{"part_create", {{SystemCall::kCreate, "movie.003"}}, {},
            "ERROR: Unable to open output file \"{m}movie.003\"\n", "Zelbo - ERROR",
            MessageIcon::kError, {"movie.001", "movie.002"}},
        Row{"read", {{SystemCall::kRead, "movie.avi", FailureCode::kIo, 1, -1, kPart + 10}}, {},
            "Read error on input file!", "Zelbo - Error", MessageIcon::kWarning, {"movie.001"}},
        Row{"disk_full_cancel",
            {{SystemCall::kWrite, "movie.003", FailureCode::kNoSpace, 1, 1, 1000}},
            {MessageAnswer::kCancel},
            "You chose to cancel!\n\nDo not forget to cleanup the already written parts (3)!",
            "Zelbo - User Abort", MessageIcon::kWarning, {"movie.001", "movie.002"}},
        Row{"disk_full_retry_first",
            {{SystemCall::kWrite, "movie.001", FailureCode::kNoSpace, 1, 1, 1000}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        Row{"disk_full_retry_middle",
            {{SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 40000}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        // The last, shorter part fails only as it is closed.
        Row{"disk_full_retry_last", {{SystemCall::kClose, "movie.004", FailureCode::kNoSpace}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        Row{"seek",
            {{SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 10},
             {SystemCall::kSeek, "movie.avi"}},
            {MessageAnswer::kRetry}, "Problems getting back on the sourcefile, aborting!",
            "Zelbo - Error", MessageIcon::kError, {"movie.001"}},
        Row{"batch", {{SystemCall::kCreate, "movie.bat"}}, {},
            "ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
            {"movie.001", "movie.002", "movie.003", "movie.004"}},
        Row{"shell", {{SystemCall::kWrite, "movie.sh", FailureCode::kNoSpace, 1, 1, 20}}, {},
            "ERROR: Could not create Linux batch file", "Zelbo - ERROR", MessageIcon::kError,
            {"movie.001", "movie.002", "movie.003", "movie.004", "movie.bat"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(WindowedRun, AGoneMediumAsksForAFolderAndTheEndTellsWhereThePartsAre) {
  fs::create_directories(dir_ / "n");
  display_.folders = {(dir_ / "n").string()};
  Run("movie.bat", true, std::chrono::milliseconds(20),
      {{SystemCall::kVolume, "", FailureCode::kIo, 5}});
  ASSERT_EQ(display_.boxes.size(), 2u);
  EXPECT_EQ(display_.boxes[0].text, "The folder \"" + M("") +
                                        "\" is gone, or the medium that held it was taken "
                                        "out.\n\nChoose the folder for part 3 and the parts after it.");
  EXPECT_EQ(Last().title, "Zelbo - Success");
  EXPECT_TRUE(Last().text.ends_with("\nThe parts went to more than one medium:\n001 to 002: \"" +
                                    M("") + "\"\n003 to 004: \"" + (dir_ / "n").string() +
                                    "/\" (and the batch files)\nCopy them all into one folder "
                                    "to put them together.\n"))
      << Last().text;
  EXPECT_EQ(testing::SortedNames(dir_ / "n"),
            (std::vector<std::string>{"movie.003", "movie.004", "movie.bat", "movie.sh"}));
}

TEST_F(WindowedRun, TheDiskFullQuestionNamesThePartAndTheReason) {
  display_.answers = {MessageAnswer::kRetry};
  Run("movie.bat", true, std::chrono::milliseconds(20),
      {{SystemCall::kWrite, "movie.002", FailureCode::kNoSpace, 1, 1, 40000}});
  const Box& question = display_.boxes[0];
  EXPECT_EQ(question.text,
            "Insufficient disk space (or rights) to fully write " + M("movie.002") +
                "!\n\nInsert media with enough diskspace free (65536 bytes) or cancel.");
  EXPECT_EQ(question.title, "Zelbo - Error");
  EXPECT_EQ(question.icon, MessageIcon::kQuestion);
  EXPECT_EQ(question.buttons, MessageButtons::kRetryCancel);
  EXPECT_EQ(question.detail, "No space left on device");
  EXPECT_FALSE(display_.busy_at_box[0]);
  // The bar falls back to the start of part 2 and climbs again.
  const auto back = std::adjacent_find(display_.positions.begin(), display_.positions.end(),
                                       std::greater<int>());
  ASSERT_NE(back, display_.positions.end());
  EXPECT_EQ(*(back + 1), static_cast<int>(100.0 * kPart / (3 * kPart + 100)));
  EXPECT_EQ(std::count(display_.lines.begin(), display_.lines.end(),
                       "Writing part 2, please wait...\n"),
            2);
}

TEST_F(WindowedRun, ACancelDeletesThisRunsPartsAndWritesNoScript) {
  testing::WriteFile(M("movie.099"), "not of this run");
  display_.on_pump = [&] {
    if (display_.lines.back() == "Writing part 3, please wait...\n") display_.cancel = true;
  };
  Run();
  EXPECT_EQ(Last().text, "User aborted!");
  EXPECT_EQ(Last().title, "Zelbo - Aborted");
  EXPECT_EQ(Last().icon, MessageIcon::kInformation);
  EXPECT_EQ(Left(), std::vector<std::string>{"movie.099"});
}

TEST_F(WindowedRun, ACancelDuringTheLastChunkHasNoEffect) {
  // Requested at the pump after the last bytes: no read with bytes follows.
  display_.on_pump = [&] {
    if (display_.positions.back() == 100) display_.cancel = true;
  };
  Run();
  EXPECT_EQ(Last().title, "Zelbo - Success");
}

TEST_F(WindowedRun, ASourceThatGrewEndsInAnErrorBoxAndNoScripts) {
  display_.on_pump = [&] {
    if (display_.lines.back() == "Writing part 4, please wait...\n") {
      testing::WriteFile(source_, bytes_ + std::string(kPart, 'x'));
    }
  };
  Run();
  EXPECT_EQ(Last().title, "Zelbo - ERROR");
  EXPECT_EQ(Last().text, "The file \"" + source_.string() +
                             "\" changed while it was split: the parts do not hold it as it is "
                             "now!");
  EXPECT_FALSE(fs::exists(M("movie.bat")));
}

TEST_F(WindowedRun, PumpsOftenEnoughButNotForEveryChunk) {
  bytes_ = testing::PatternBytes(64 * kPart);
  testing::WriteFile(source_, bytes_);
  Run("movie.bat", true, std::chrono::milliseconds(4));  // a step takes 4 ms
  const int elapsed = clock_reads();  // ms: 4 per part start and per chunk
  const int parts = 64;
  const auto pump = static_cast<int>(kPumpInterval.count());
  EXPECT_LE(display_.pumps, parts + elapsed / pump + 1);
  EXPECT_GE(display_.pumps, elapsed / (pump + 4));
  // The title follows, a few times a second, and once more before the box.
  const auto title = static_cast<int>(kTitleInterval.count());
  EXPECT_LE(static_cast<int>(display_.titles.size()), 2 + elapsed / title);
  EXPECT_GE(static_cast<int>(display_.titles.size()), elapsed / (title + 4));
}

TEST_F(WindowedRun, DrawsAFewTimesASecondNotForEveryPercentOrPart) {
  bytes_ = testing::PatternBytes(64 * kPart);
  testing::WriteFile(source_, bytes_);
  Run("movie.bat", true, std::chrono::milliseconds(1));  // a fast disk
  const auto draws = static_cast<std::size_t>(clock_reads() / kDrawInterval.count()) + 2;
  EXPECT_LE(display_.positions.size(), draws);
  EXPECT_LE(display_.lines.size(), draws);
  // What the run ends on is drawn before the box.
  EXPECT_EQ(display_.positions.back(), 100);
  EXPECT_EQ(display_.lines.back(), "Writing part 64, please wait...\n");
}

}  // namespace
}  // namespace zelbo::gui
