// The entry of a windowed Windows program. The program takes no arguments,
// so none of the four is used; declared here without the system headers,
// which the program's own sources never include.
#include "gui/program.h"

extern "C" int __stdcall wWinMain(void* /*instance*/, void* /*previous*/, wchar_t* /*command*/,
                                  int /*show*/) {
  char* no_arguments[] = {nullptr};
  return zelbo::gui::Zelbo32(0, no_arguments);
}
