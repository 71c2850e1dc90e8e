// Shows the toolkit's folder dialog, as a split run asks where the rest of
// its parts go, and prints the folder chosen, or an empty line when the
// dialog was cancelled: the folder dialog's part of the window scenarios
// under wine.
//   zelbo_folder.exe TITLE START-FOLDER
#include <cstdio>

#include "platform/toolkit.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  zelbo::toolkit::Application application(argc, argv);
  std::printf("%s\n", application.ChooseFolder(argv[1], argv[2]).value_or("").c_str());
  return 0;
}
