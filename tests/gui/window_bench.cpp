// Drives one windowed split offscreen for the benchmark: chooses SOURCE in
// the open dialog, picks the "CD 700M" preset, starts, names the batch file
// BATCH in the save dialog and confirms the finished message. Prints the
// seconds of the run itself: from the confirmed save dialog to the finished
// message appearing (the dialogs are the user's time, not the run's).
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

using Clock = std::chrono::steady_clock;

void Confirm(const char* path, Clock::time_point* confirmed = nullptr) {
  OnNextModal([path, confirmed](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    dialog->selectFile(QString::fromLocal8Bit(path));
    static_cast<QDialog*>(dialog)->accept();
    if (confirmed) *confirmed = Clock::now();
  });
}

// Notes when the finished message appears and answers it. It listens for
// the box being shown instead of polling with a timer, so that nothing but
// the run itself keeps the message loop busy while it is measured.
class FinishedMessageWatch : public QObject {
 public:
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(object);
    if (box == nullptr || event->type() != QEvent::Show) return false;
    shown = Clock::now();
    success = box->windowTitle() == "Zelbo - Success";
    QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
    QApplication::instance()->removeEventFilter(this);
    return false;
  }

  Clock::time_point shown;
  bool success = false;
};

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

  Clock::time_point start;
  Confirm(argv[2], &start);
  FinishedMessageWatch finished;
  QApplication::instance()->installEventFilter(&finished);
  qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.SplitStart))->click();
  const std::chrono::duration<double> took = finished.shown - start;
  std::printf("%.3f\n", took.count());
  return finished.success ? 0 : 1;
}
