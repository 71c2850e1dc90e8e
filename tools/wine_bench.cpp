// Times Zelbo32.exe against CZELBO32.exe under wine on the same source,
// alternately: the windowed run from the confirmed save dialog to the
// finished message, driven as a user drives it; the console program as a
// whole process (wine's start included, printed on its own as well). Both
// write 700 MiB parts ("CD 700M", -sc) beside the source. Each timed run
// follows an untimed one of the same program (see bench/).
//   desktop_wine_bench SOURCE ROUNDS      (inside tests/desktop/wine_session.sh)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/desktop/wine_driver.h"
#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;
using zelbo::desktop::WineDriver;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

template <typename Condition>
void AwaitOrDie(Condition condition, const char* what) {
  const auto end = Clock::now() + 600s;
  while (!condition()) {
    if (Clock::now() > end) {
      std::fprintf(stderr, "gave up waiting for %s\n", what);
      std::exit(1);
    }
    std::this_thread::sleep_for(20ms);  // the probe's questions cost the server time too
  }
}

void RemoveOutputs(const fs::path& source) {
  for (const auto& entry : fs::directory_iterator(source.parent_path())) {
    if (entry.path() != source) fs::remove(entry.path());
  }
}

double WindowedRun(const fs::path& source) {
  WineDriver ui;
  ui.Launch();
  ui.Click("BrowseButton");
  AwaitOrDie([&] { return ui.DialogShown("Select the file to split"); }, "the open dialog");
  ui.AnswerDialog("Select the file to split", ui.ProgramPath(source));
  AwaitOrDie([&] { return ui.State("FileSize").text != "n.a."; }, "the source's size");
  ui.Pick("Preselection", 4);  // CD 700M
  AwaitOrDie([&] { return ui.State("Amount").text == "700"; }, "the preset");
  ui.Click("SplitStart");
  const char* save = "Select the name of the unsplit batch file";
  AwaitOrDie([&] { return ui.DialogShown(save); }, "the save dialog");
  ui.AnswerDialog(save, ui.ProgramPath(source.parent_path() / "source.BAT"));
  const auto started = Clock::now();
  // The shell script is the run's last file, written just before its
  // finished message. Watching for it asks wine nothing, so the watch does
  // not slow the run down (the probe, a wine process of its own, would).
  const fs::path script = source.parent_path() / "source.sh";
  while (!fs::exists(script)) {
    if (Clock::now() - started > 600s) {
      std::fprintf(stderr, "gave up waiting for the run's scripts\n");
      std::exit(1);
    }
    std::this_thread::sleep_for(2ms);
  }
  const double seconds = Seconds(Clock::now() - started);
  AwaitOrDie([&] { return ui.BoxShown("Zelbo - Success"); }, "the finished message");
  ui.Press("Zelbo - Success", "OK");
  AwaitOrDie([&] { return !ui.BoxShown("Zelbo - Success"); }, "the message to go");
  ui.Click("CloseButton");
  ui.WaitForExit();
  if (fs::file_size(source.parent_path() / "source.001") != 734003200) {
    std::fprintf(stderr, "the windowed run wrote no full part\n");
    std::exit(1);
  }
  return seconds;
}

double ProcessRun(const std::vector<std::string>& words) {
  const auto started = Clock::now();
  zelbo::testing::RunOptions options;
  options.command_prefix = {"wine"};
  zelbo::testing::RunProgram(words.front(), {words.begin() + 1, words.end()}, options);
  return Seconds(Clock::now() - started);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE ROUNDS\n", argv[0]);
    return 2;
  }
  const fs::path source = fs::absolute(argv[1]);
  const int rounds = std::stoi(argv[2]);
  const fs::path bin = std::getenv("ZELBO_WINDOWS_BIN");
  const std::string console = (bin / "CZELBO32.exe").string();
  std::string native = "Z:" + source.string();
  std::replace(native.begin(), native.end(), '/', '\\');
  const std::vector<std::string> split{console, native, "-sc"};
  std::vector<double> windowed, whole_console, start_only;
  for (int round = 1; round <= rounds; ++round) {
    RemoveOutputs(source);
    WindowedRun(source);
    RemoveOutputs(source);
    windowed.push_back(WindowedRun(source));
    RemoveOutputs(source);
    ProcessRun(split);
    RemoveOutputs(source);
    whole_console.push_back(ProcessRun(split));
    start_only.push_back(ProcessRun({console, "--version"}));
    std::printf("round %d: windowed %.3f s, console %.3f s (of which wine's start %.3f s)\n", round,
                windowed.back(), whole_console.back(), start_only.back());
    std::fflush(stdout);
  }
  RemoveOutputs(source);
  const double w = Median(windowed), c = Median(whole_console), s = Median(start_only);
  std::printf("median windowed %.3f s, console %.3f s, ratio %.3f; without wine's start %.3f s, "
              "ratio %.3f\n",
              w, c, w / c, c - s, w / (c - s));
  return 0;
}
