// Takes the pictures of the window shown in the README: the window idle
// with a forecast, during a run, the message that ends the run, and the
// window idle with a 14-point desktop font. Runs on the offscreen
// platform; writes window-idle.png, window-running.png,
// window-finished.png and window-14pt.png into the folder given as its
// argument.
#include <QApplication>
#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "gui/main_form.h"
#include "tests/gui/modal_watch.h"
#include "platform/toolkit_qt.h"

namespace {

using zelbo::testing::OnNextModal;

namespace fs = std::filesystem;
using zelbo::toolkit::QtWidget;

bool Save(QWidget* widget, const fs::path& file) {
  if (widget->grab().save(QString::fromStdString(file.string()))) return true;
  std::fprintf(stderr, "cannot write %s\n", file.c_str());
  return false;
}

// A source of a few megabytes, chosen in the open dialog.
fs::path MakeSource(const fs::path& folder) {
  const fs::path source = folder / "holiday-video.avi";
  std::ofstream out(source, std::ios::binary);
  const std::string block(1 << 20, 'z');
  for (int i = 0; i < 5; ++i) out << block;
  return source;
}

void AcceptFile(QWidget* modal, const fs::path& file) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  dialog->selectFile(QString::fromStdString(file.string()));
  static_cast<QDialog*>(dialog)->accept();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path output = fs::absolute(argv[1]);
  fs::create_directories(output);
  const fs::path work = fs::temp_directory_path() / "zelbo-pictures";
  fs::remove_all(work);
  fs::create_directories(work / "config");
  setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);

  zelbo::toolkit::Application application(argc, argv);
  application.SetTitle("Zelbo");
  zelbo::gui::SplitPlan plan;
  zelbo::gui::TMainForm window(application, plan);
  QWidget* form = QtWidget(window.form());
  form->show();

  const fs::path source = MakeSource(work);
  OnNextModal([&](QWidget* modal) { AcceptFile(modal, source); });
  QMetaObject::invokeMethod(QtWidget(window.BrowseButton), "click");
  QApplication::processEvents();
  bool ok = Save(form, output / "window-idle.png");

  // During the run: the picture is taken while the run pumps messages.
  window.Preselection.SetItemIndex(0);
  window.SplitType.SetItemIndex(2);
  window.Amount.SetText("1400");
  bool running_taken = false;
  auto* watcher = new QTimer;
  watcher->setInterval(1);
  QObject::connect(watcher, &QTimer::timeout, [&] {
    if (!running_taken && window.ProgressBar0.Visible() && window.ProgressBar0.Position() >= 40) {
      running_taken = true;
      ok = Save(form, output / "window-running.png") && ok;
    }
  });
  watcher->start();
  OnNextModal([&](QWidget* modal) {
    AcceptFile(modal, work / "HOLIDAY.BAT");
    OnNextModal([&](QWidget* box) {
      ok = Save(box, output / "window-finished.png") && ok;
      qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
    });
  });
  QMetaObject::invokeMethod(QtWidget(window.SplitStart), "click");
  watcher->stop();
  delete watcher;

  QFont larger = QApplication::font();  // as a desktop's settings give it
  larger.setPointSize(14);
  QApplication::setFont(larger);
  zelbo::gui::TMainForm larger_window(application, plan);
  QtWidget(larger_window.form())->show();
  OnNextModal([&](QWidget* modal) { AcceptFile(modal, source); });
  QMetaObject::invokeMethod(QtWidget(larger_window.BrowseButton), "click");
  QApplication::processEvents();
  ok = Save(QtWidget(larger_window.form()), output / "window-14pt.png") && ok;
  fs::remove_all(work);
  return ok && running_taken ? 0 : 1;
}
