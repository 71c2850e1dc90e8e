// Drives one windowed split offscreen for the benchmark: chooses SOURCE in
// the open dialog, picks the "CD 700M" preset (or the preset at index
// $ZELBO_BENCH_PRESET of the list, 0 being "Floppy"), starts, names the batch file
// BATCH in the save dialog and confirms the finished message. Prints the
// seconds of the run itself: from the confirmed save dialog to the finished
// message appearing (the dialogs are the user's time, not the run's).
// With a third argument MS, a click on Cancel is due MS milliseconds into
// the run, and it prints how long after that the click reached the window
// (it waits for the run's next message pump) and the "User aborted!"
// message appeared (after the run's parts were deleted).
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <functional>

#include "gui/main_form.h"
#include "tests/gui/modal_watch.h"
#include "platform/toolkit_qt.h"

namespace {

using zelbo::testing::OnNextModal;

using Clock = std::chrono::steady_clock;

void Confirm(const char* path, std::function<void()> confirmed = {}) {
  OnNextModal([path, confirmed](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    dialog->selectFile(QString::fromLocal8Bit(path));
    static_cast<QDialog*>(dialog)->accept();
    if (confirmed) confirmed();
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
    title = box->windowTitle().toStdString();
    QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
    QApplication::instance()->removeEventFilter(this);
    return false;
  }

  Clock::time_point shown;
  std::string title;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s SOURCE BATCH [CANCEL-AT-MS]\n", argv[0]);
    return 2;
  }
  const int cancel_at = argc == 4 ? std::atoi(argv[3]) : -1;
  zelbo::toolkit::Application application(argc, argv);
  application.SetTitle("Zelbo");
  zelbo::gui::SplitPlan plan;
  zelbo::gui::TMainForm window(application, plan);
  zelbo::toolkit::QtWidget(window.form())->show();
  Confirm(argv[1]);
  qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.BrowseButton))->click();
  auto* presets = qobject_cast<QComboBox*>(zelbo::toolkit::QtWidget(window.Preselection));
  const char* preset = std::getenv("ZELBO_BENCH_PRESET");
  const int preset_index = preset != nullptr ? std::atoi(preset) : 4;  // "CD 700M"
  presets->setCurrentIndex(preset_index);  // as the user's pick would
  emit presets->activated(preset_index);

  Clock::time_point start, clicked;
  auto* cancel = qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.CloseButton));
  Confirm(argv[2], [&] {
    start = Clock::now();
    if (cancel_at >= 0) QTimer::singleShot(cancel_at, Qt::PreciseTimer, cancel, [&, cancel] {
        clicked = Clock::now();
        cancel->click();
      });
  });
  FinishedMessageWatch finished;
  QApplication::instance()->installEventFilter(&finished);
  qobject_cast<QAbstractButton*>(zelbo::toolkit::QtWidget(window.SplitStart))->click();
  if (cancel_at >= 0) {
    const Clock::time_point cancel_due = start + std::chrono::milliseconds(cancel_at);
    const std::chrono::duration<double, std::milli> click = clicked - cancel_due;
    const std::chrono::duration<double, std::milli> latency = finished.shown - cancel_due;
    std::printf("click taken %.1f ms after it was due, \"User aborted!\" %.1f ms after\n",
                click.count(), latency.count());
    return finished.title == "Zelbo - Aborted" ? 0 : 1;
  }
  const std::chrono::duration<double> took = finished.shown - start;
  std::printf("%.3f\n", took.count());
  return finished.title == "Zelbo - Success" ? 0 : 1;
}
