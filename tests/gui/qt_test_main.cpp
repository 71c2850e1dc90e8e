// Runs the window tests against real widgets without a display: the
// offscreen platform unless the caller chose another, a private runtime
// folder, and the toolkit's application object for the whole run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/toolkit.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string runtime = "/tmp/zelbo-runtime-XXXXXX";
  if (mkdtemp(runtime.data()) != nullptr) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  zelbo::toolkit::Application application(argc, argv);
  application.SetTitle("Zelbo");
  const int result = RUN_ALL_TESTS();
  rmdir(runtime.c_str());
  return result;
}
