// Takes the pictures of Zelbo32.exe under wine for the README, with the
// window manager's frame: the window with a chosen file and its forecast,
// at 96 dpi (window-wine.png), at 144 dpi (window-wine-144dpi.png) and with
// a 14-point desktop font (window-wine-14pt.png).
//   desktop_wine_pictures OUTPUT-FOLDER      (inside tests/desktop/wine_session.sh;
//   needs ImageMagick's import: apt-get install imagemagick)
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/desktop/wine_driver.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"

namespace {

namespace fs = std::filesystem;
using zelbo::desktop::WineDriver;
using namespace std::chrono_literals;

template <typename Condition>
bool Await(Condition condition) {
  for (int i = 0; i < 3000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
  return condition();
}

bool Picture(int dpi, int points, const fs::path& source, const fs::path& file) {
  WineDriver ui;
  ui.SetScreenDpi(dpi);
  ui.SetDesktopFont(points);
  ui.Launch();
  ui.SetScreenDpi(96);
  ui.SetDesktopFont(0);
  ui.Click("BrowseButton");
  if (!Await([&] { return ui.DialogShown("Select the file to split"); })) return false;
  ui.AnswerDialog("Select the file to split", ui.ProgramPath(source));
  if (!Await([&] { return ui.State("FileSize").text != "n.a."; })) return false;
  ui.Pick("Preselection", 0);  // Floppy
  if (!Await([&] { return ui.State("Amount").text == "1400"; })) return false;
  ui.Hover("BrowseButton");  // a hint in the status bar, the pointer off the text
  zelbo::testing::RunProgram("xdotool", {"mousemove", "0", "0"});
  std::this_thread::sleep_for(500ms);  // the tooltip fades
  const auto window = zelbo::testing::RunProgram(
      "xdotool", {"search", "--onlyvisible", "--name", "^Zelbo$"});
  const std::string id = window.output.substr(0, window.output.find('\n'));
  const bool taken =
      zelbo::testing::RunProgram("import", {"-frame", "-window", id, file.string()}).exit_code == 0;
  ui.Click("CloseButton");
  ui.WaitForExit();
  return taken;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path output = fs::absolute(argv[1]);
  fs::create_directories(output);
  const zelbo::testing::TempDir work;
  const fs::path source = work / "holiday-video.avi";
  zelbo::testing::WriteFile(source, std::string(5 << 20, 'z'));
  const bool ok = Picture(96, 0, source, output / "window-wine.png") &&
                  Picture(144, 0, source, output / "window-wine-144dpi.png") &&
                  Picture(96, 14, source, output / "window-wine-14pt.png");
  return ok ? 0 : 1;
}
