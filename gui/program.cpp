// Zelbo32: the windowed splitter. Takes no arguments (any given are
// ignored) and always exits with code 0.
#include "gui/program.h"

#include "gui/main_form.h"
#include "platform/system.h"

namespace zelbo::gui {

int Zelbo32(int argc, char** argv) {
  zelbo::platform::PrepareProcess();
  zelbo::toolkit::Application Application(argc, argv);
  try {
    Application.SetTitle("Zelbo");
    zelbo::gui::SplitPlan SplitPlan;
    zelbo::gui::TMainForm MainForm(Application, SplitPlan);
    Application.Run(MainForm.form());
  } catch (const zelbo::toolkit::Exception& error) {
    Application.ShowException(error);
  }
  return 0;
}

}  // namespace zelbo::gui
