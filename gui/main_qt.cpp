// The entry of the windowed program on the Qt toolkit.
#include "gui/program.h"

int main(int argc, char** argv) { return zelbo::gui::Zelbo32(argc, argv); }
