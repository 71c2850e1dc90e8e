// What the save dialog takes, in a place that is the same for every user:
// no one can make a file in /proc, which holds folders all the same.
#include <gtest/gtest.h>

#include "gui/file_checks.h"

namespace zelbo::gui {
namespace {

TEST(FileChecks, TheSaveDialogOpensAFolderWhereItRefusesAName) {
  EXPECT_EQ(BatchNameRefusal("/proc/self"), "");
  EXPECT_EQ(BatchNameRefusal("/proc/zelbo.BAT"),
            "/proc/zelbo.BAT\nYou cannot write to this folder.\nChoose another folder.");
}

}  // namespace
}  // namespace zelbo::gui
