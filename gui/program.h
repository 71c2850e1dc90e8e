// The windowed program from start to end, called by the entry that the
// toolkit's platform expects (main_qt.cpp, main_win32.cpp).
#pragma once

namespace zelbo::gui {

// Runs the program; the result is its exit code, always 0.
int Zelbo32(int argc, char** argv);

}  // namespace zelbo::gui
