// Drives one windowed split offscreen for the benchmark: chooses SOURCE in
// the open dialog, picks the "CD 700M" preset, starts, names the batch file
// BATCH in the save dialog and confirms the finished message. Prints the
// seconds from the click on Start to the finished message.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

#include "gui/main_form.h"
#include "modal_watch.h"
#include "platform/toolkit_qt.h"

namespace {

using zelbo::testing::OnNextModal;

void Confirm(const char* path) {
  OnNextModal([path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    dialog->selectFile(QString::fromLocal8Bit(path));
    static_cast<QDialog*>(dialog)->accept();
  });
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOURCE BATCH\n", argv[0]);
    return 2;
  }
  zelbo::toolkit::Application application(argc, argv);
  application.SetTitle("Zelbo");
  zelbo::gui::SplitPlan plan;
  zelbo::gui::TMainForm window(application, plan);
  zelbo::toolkit::QtWidget(window.form())->show();
  Confirm(argv[1]);
  qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.BrowseButton))->click();
  auto* presets = qobject_cast<QComboBox*>(zelbo::toolkit::QtWidget(window.Preselection));
  presets->setCurrentIndex(4);  // "CD 700M", as the user's pick would
  emit presets->activated(4);

  bool finished = false;
  Confirm(argv[2]);
  OnNextModal([&finished](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    finished = box->windowTitle() == "Zelbo - Success";
    box->button(QMessageBox::Ok)->click();
  });
  const auto start = std::chrono::steady_clock::now();
  qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.SplitStart))->click();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.3f\n", took.count());
  return finished ? 0 : 1;
}
