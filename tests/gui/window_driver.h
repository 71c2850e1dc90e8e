// Drives the real window the way a user would: finds its widgets by name,
// types, picks list items, hovers, and answers the modal boxes and file
// dialogs that the code under test opens.
#pragma once

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_form.h"
#include "modal_watch.h"
#include "platform/toolkit_qt.h"
#include "temp_config.h"

namespace zelbo::testing {

// What a message box showed.
struct SeenBox {
  std::string title;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool has_retry = false;
  std::string detail;  // the system's reason, below the text
};

// Presses `button` on the next message box and records what it showed.
inline void PressOnNextBox(std::vector<SeenBox>& seen, QMessageBox::StandardButton button,
                           std::function<void()> before_pressing = {}) {
  OnNextModal<QMessageBox>([&seen, button, before = std::move(before_pressing)](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
      ADD_FAILURE() << "expected a message box, got " << modal->metaObject()->className();
      modal->close();
      return;
    }
    seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                    box->button(QMessageBox::Retry) != nullptr,
                    box->informativeText().toStdString()});
    if (before) before();
    box->button(button)->click();
  });
}

// Confirms the next file dialog with `path`, or cancels it when empty;
// `shown` receives what the dialog offered.
struct SeenDialog {
  std::string title;
  std::string folder;
  QStringList selected;
  QStringList filters;
};

inline void AnswerNextFileDialog(const std::string& path, SeenDialog* shown = nullptr) {
  OnNextModal<QFileDialog>([path, shown](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      ADD_FAILURE() << "expected a file dialog, got " << modal->metaObject()->className();
      modal->close();
      return;
    }
    if (shown != nullptr) {
      *shown = {dialog->windowTitle().toStdString(), dialog->directory().absolutePath().toStdString(),
                dialog->selectedFiles(), dialog->nameFilters()};
    }
    if (path.empty()) {
      dialog->reject();
    } else {
      dialog->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(dialog)->accept();  // as the Open or Save button does
    }
  });
}

// A window on a fresh settings folder.
class WindowTest : public TempConfigTest {
 protected:
  void SetUp() override {
    TempConfigTest::SetUp();
    plan_ = std::make_unique<gui::SplitPlan>();
  }
  void TearDown() override {
    window_.reset();
    TempConfigTest::TearDown();
  }

  gui::TMainForm& OpenWindow() {
    window_.reset();
    window_ = std::make_unique<gui::TMainForm>(toolkit::Application::Instance(), *plan_);
    QWidget* form = toolkit::QtWidget(window_->form());
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
    return *window_;
  }

  void CloseWindow() {
    window_->form().Close();
    window_.reset();
  }

  QWidget* Form() const { return toolkit::QtWidget(window_->form()); }

  template <typename T>
  T* Find(const char* name) const {
    T* widget = Form()->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  std::string Text(const toolkit::Label& label) const { return label.Text(); }

  // Replaces the text of an edit by typing, one key at a time.
  void Type(QWidget* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  // Opens a drop-down list, scrolls to one of its items and clicks it.
  void Pick(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    view->scrollTo(view->model()->index(index, 0));
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QApplication::processEvents();
  }

  std::string StatusText() const { return window_->StatusBar1.Text(); }

  std::unique_ptr<gui::SplitPlan> plan_;
  std::unique_ptr<gui::TMainForm> window_;
};

}  // namespace zelbo::testing
