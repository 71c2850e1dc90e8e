// The windowed run's outcomes in its own words: the message boxes and the
// files left, on a file system in memory that fails where each row says,
// with a display that records the boxes and answers them.
#include <deque>

#include <gtest/gtest.h>

#include "gui/split_run.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/files.h"

namespace zelbo::gui {
namespace {

using testing::Fault;
using testing::FaultKind;
using testing::FakeFileSystem;
using toolkit::MessageAnswer;
using toolkit::MessageButtons;
using toolkit::MessageIcon;

constexpr std::int64_t kPart = 65536;
const std::string kSource = "/v/movie.avi";

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

  toolkit::Cursor cursor = toolkit::Cursor::kDefault;
  std::vector<std::string> lines;
  std::vector<int> positions, titles;
  std::vector<Box> boxes;
  std::vector<bool> busy_at_box;
  std::deque<MessageAnswer> answers;
  std::function<void()> on_pump, on_answer;
  int pumps = 0;
  bool cancel = false;
};

class WindowedRun : public ::testing::Test {
 protected:
  void SetUp() override { files_.Add(kSource, bytes_); }

  // Each look at the clock finds 20 ms gone, so every chunk is followed by
  // a pump, as on a slow medium.
  void Run(std::string batch = "/m/movie.bat", bool shortNames = true,
           std::chrono::milliseconds tick = std::chrono::milliseconds(20)) {
    RunWindowedSplit({kSource, std::move(batch), kPart, shortNames}, files_, display_, plan_,
                     [this, tick] { return now_ += tick; });
  }
  // Milliseconds the clock was moved on.
  int clock_reads() const { return static_cast<int>(now_.time_since_epoch() / std::chrono::milliseconds(1)); }

  const Box& Last() const { return display_.boxes.back(); }

  std::vector<std::string> Left() const {
    std::vector<std::string> left;
    for (const std::string& name : files_.Names()) {
      if (name != kSource) left.push_back(name.substr(name.rfind('/') + 1));
    }
    return left;
  }

  std::string bytes_ = testing::PatternBytes(3 * kPart + 100);
  FakeFileSystem files_;
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
  EXPECT_EQ(files_.Contents("/m/movie.004"), bytes_.substr(3 * kPart));
  EXPECT_EQ(plan_.sourceSize, 3 * kPart + 100);
  EXPECT_EQ(display_.lines.back(), "Writing part 4, please wait...\n");
  EXPECT_EQ(display_.positions.back(), 100);
  EXPECT_FALSE(display_.busy_at_box.back()) << "the pointer is restored before the box";
  EXPECT_NE(files_.Contents("/m/movie.bat").find("DEL /F \"movie.bat\""), std::string::npos);
}

TEST_F(WindowedRun, TheFinishedBoxSaysWhenOnlyTheShellScriptCanJoin) {
  files_.Add("/v/say \"hi\".avi", bytes_);
  RunWindowedSplit({"/v/say \"hi\".avi", "/m/movie.bat", kPart, true}, files_, display_, plan_);
  EXPECT_EQ(Last().title, "Zelbo - Success");
  EXPECT_TRUE(Last().detail.starts_with("The DOS batch file \"movie.bat\" cannot join the parts"))
      << Last().detail;
}

TEST_F(WindowedRun, ALongBatchNameGivesShortPartNamesAndANoticeFirst) {
  Run("/m/holidays9.BAT");
  ASSERT_EQ(display_.boxes.size(), 2u);
  EXPECT_TRUE(display_.boxes[0].text.starts_with("For platform compatibility reasons"));
  EXPECT_TRUE(display_.busy_at_box[0]) << "the notice comes while still busy";
  EXPECT_TRUE(files_.Exists("/m/part.004"));
  EXPECT_TRUE(files_.Exists("/m/holidays9.sh"));
}

struct Row {
  const char* label;
  std::vector<Fault> faults;
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
  for (const Fault& fault : row.faults) files_.Inject(fault);
  display_.answers.assign(row.answers.begin(), row.answers.end());
  Run();
  EXPECT_EQ(Last().text, row.text);
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
        Row{"source_open", {{FaultKind::kOpenSource, kSource}}, {},
            "Unable to open the file \"/v/movie.avi\" for reading!\n", "Zelbo - ERROR",
            MessageIcon::kError, {}},
        Row{"part_create", {{FaultKind::kCreate, "/m/movie.003"}}, {},
            "ERROR: Unable to open output file \"/m/movie.003\"\n", "Zelbo - ERROR",
            MessageIcon::kError, {"movie.001", "movie.002"}},
        Row{"read", {{FaultKind::kRead, kSource, kPart + 10}}, {}, "Read error on input file!",
            "Zelbo - Error", MessageIcon::kWarning, {"movie.001"}},
        Row{"disk_full_cancel", {{FaultKind::kWrite, "/m/movie.003", 1000}},
            {MessageAnswer::kCancel},
            "You chose to cancel!\n\nDo not forget to cleanup the already written parts (3)!",
            "Zelbo - User Abort", MessageIcon::kWarning, {"movie.001", "movie.002"}},
        Row{"disk_full_retry_first", {{FaultKind::kWrite, "/m/movie.001", 1000}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        Row{"disk_full_retry_middle", {{FaultKind::kWrite, "/m/movie.002", 40000}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        // The last, shorter part fails only as it is closed.
        Row{"disk_full_retry_last", {{FaultKind::kClose, "/m/movie.004"}},
            {MessageAnswer::kRetry}, kFinished, "Zelbo - Success", MessageIcon::kInformation,
            kAllFiles},
        Row{"seek", {{FaultKind::kWrite, "/m/movie.002", 10}, {FaultKind::kSeek, kSource}},
            {MessageAnswer::kRetry}, "Problems getting back on the sourcefile, aborting!",
            "Zelbo - Error", MessageIcon::kError, {"movie.001"}},
        Row{"batch", {{FaultKind::kCreate, "/m/movie.bat"}}, {},
            "ERROR: Could not create DOS batch file", "Zelbo - ERROR", MessageIcon::kError,
            {"movie.001", "movie.002", "movie.003", "movie.004"}},
        Row{"shell", {{FaultKind::kWrite, "/m/movie.sh", 20}}, {},
            "ERROR: Could not create Linux batch file", "Zelbo - ERROR", MessageIcon::kError,
            {"movie.001", "movie.002", "movie.003", "movie.004", "movie.bat"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(WindowedRun, TheDiskFullQuestionNamesThePartAndTheReason) {
  files_.Inject({FaultKind::kWrite, "/m/movie.002", 40000});  // in its second chunk
  display_.answers = {MessageAnswer::kRetry};
  Run();
  const Box& question = display_.boxes[0];
  EXPECT_EQ(question.text,
            "Insufficient disk space (or rights) to fully write /m/movie.002!\n\n"
            "Insert media with enough diskspace free (65536 bytes) or cancel.");
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
  files_.Add("/m/movie.099", "not of this run");
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
  files_.on_create = [&](const std::string& path) {
    if (path == "/m/movie.004") files_.Append(kSource, std::string(kPart, 'x'));
  };
  Run();
  EXPECT_EQ(Last().title, "Zelbo - ERROR");
  EXPECT_EQ(Last().text,
            "The file \"/v/movie.avi\" grew while it was split: the parts do not hold all of it!");
  EXPECT_FALSE(files_.Exists("/m/movie.bat"));
}

TEST_F(WindowedRun, PumpsOftenEnoughButNotForEveryChunk) {
  bytes_ = testing::PatternBytes(64 * kPart);
  files_.Add(kSource, bytes_);
  Run("/m/movie.bat", true, std::chrono::milliseconds(4));  // a chunk takes 4 ms
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
  files_.Add(kSource, bytes_);
  Run("/m/movie.bat", true, std::chrono::milliseconds(1));  // a fast disk
  const auto draws = static_cast<std::size_t>(clock_reads() / kDrawInterval.count()) + 2;
  EXPECT_LE(display_.positions.size(), draws);
  EXPECT_LE(display_.lines.size(), draws);
  // What the run ends on is drawn before the box.
  EXPECT_EQ(display_.positions.back(), 100);
  EXPECT_EQ(display_.lines.back(), "Writing part 64, please wait...\n");
}

}  // namespace
}  // namespace zelbo::gui
