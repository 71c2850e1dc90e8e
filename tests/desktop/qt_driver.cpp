// The scenarios on the Qt window, inside this process. Qt runs on the main
// thread as the program's own loop; a scenario runs on a thread of its
// own and reaches the widgets through calls queued to the main thread,
// which run between two of the program's messages (also inside its modal
// boxes and inside the message pump of a split run).
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <future>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "gui/main_form.h"
#include "gui/settings_store.h"
#include "platform/registry.h"
#include "tests/desktop/driver.h"
#include "tests/support/files.h"

namespace zelbo::desktop {
namespace {

using namespace std::chrono_literals;

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* TopLevel(const std::function<bool(QWidget*)>& wanted) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (wanted(widget)) return widget;
  }
  return nullptr;
}

template <typename T>
T* Shown(std::string_view title) {
  return qobject_cast<T*>(TopLevel([&](QWidget* widget) {
    return qobject_cast<T*>(widget) != nullptr && widget->isVisible() &&
           (title == "*" || widget->windowTitle() == Q(title));
  }));
}

QWidget* MainForm() {
  return TopLevel([](QWidget* widget) { return widget->objectName() == "MainForm"; });
}

QWidget* Find(std::string_view name) {
  QWidget* form = MainForm();
  if (form == nullptr || name == "MainForm") return form;
  return form->findChild<QWidget*>(Q(name));
}

// What a window manager does once a box, dialog or list has gone: the
// window under it is active again, before the code that showed them goes on
// (offscreen, nothing does it), and still once the list has closed.
void ActivateWhenNoModalIsLeft() {
  const auto activate = [] {
    QWidget* form = MainForm();
    if (form != nullptr && form->isVisible() && QApplication::activeModalWidget() == nullptr) {
      QApplication::setActiveWindow(form);
    }
  };
  activate();
  QTimer::singleShot(0, activate);
}

ControlState StateOf(QWidget* widget) {
  ControlState state;
  if (widget == nullptr) return state;
  state.enabled = widget->isEnabled();
  state.visible = widget->isWindow() ? widget->isVisible() : !widget->isHidden();
  if (widget->isWindow()) state.text = widget->windowTitle().toStdString();
  if (auto* label = qobject_cast<QLabel*>(widget)) state.text = label->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    state.text = button->text().toStdString();
    state.checked = button->isChecked();
  }
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) state.text = edit->text().toStdString();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) state.text = box->title().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    state.text = combo->currentText().toStdString();
    state.index = combo->currentIndex();
  }
  if (auto* bar = qobject_cast<QStatusBar*>(widget)) state.text = bar->currentMessage().toStdString();
  if (auto* bar = qobject_cast<QProgressBar*>(widget)) state.position = bar->value();
  return state;
}

std::string ButtonName(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok: return "OK";
    case QMessageBox::Retry: return "Retry";
    case QMessageBox::Cancel: return "Cancel";
    default: return "?";
  }
}

class QtDriver : public Driver {
 public:
  QtDriver() { setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1); }

  void Play(const std::function<void()>& body) override {
    std::atomic<bool> done = false;
    std::thread scenario([&] {
      body();
      Shutdown();
      done = true;
      Post([] {});  // wakes the loop below
    });
    while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    scenario.join();
  }

  std::string ProgramPath(const fs::path& host) const override { return host.string(); }
  std::string AttachMedium(const fs::path& folder) override { return folder.string() + "/"; }
  void DetachMedium(const fs::path&) override {}

  void Launch() override {
    exited_ = false;
    running_ = true;
    Post([this] {
      gui::SplitPlan plan;
      gui::TMainForm window(toolkit::Application::Instance(), plan);
      toolkit::Application::Instance().Run(window.form());
      exited_ = true;
    });
    const bool shown = Poll([] {
      return TopLevel([](QWidget* widget) { return widget->isVisible(); }) != nullptr;
    });
    EXPECT_TRUE(shown) << "no window appeared";
  }

  int WaitForExit() override {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!exited_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    if (!exited_) return -1;
    running_ = false;
    return 0;  // what the program's entry returns once its window has closed
  }

  std::pair<int, int> ClientSize() override {
    return OnGui([] { return std::pair{MainForm()->width(), MainForm()->height()}; });
  }
  bool SetScreenDpi(int) override { return false; }

  // The window runs in this process: the limit is this process's.
  bool LimitFileSize(std::int64_t bytes) override {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes < 0 ? limit.rlim_max : static_cast<rlim_t>(bytes);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }

  // What a desktop's settings give the program as its font.
  bool SetDesktopFont(int points) override {
    return OnGui([points] {
      static const QFont original = QApplication::font();
      QApplication::setFont(points > 0 ? QFont(original.family(), points) : original);
      return true;
    });
  }

  ControlState State(std::string_view control) override {
    return OnGui([&] { return StateOf(Find(control)); });
  }

  std::string FocusedControl() override {
    return OnGui([] {
      QWidget* focus = QApplication::focusWidget();
      return focus != nullptr ? focus->objectName().toStdString() : std::string();
    });
  }

  // Qt's wake-up timer for tooltips does not run without a real pointer:
  // the driver sends the event it would send.
  std::string Tooltip() override {
    return OnGui([this] {
      if (!QToolTip::isVisible() && hovered_ != nullptr) {
        const QPoint point(3, hovered_->height() / 2);
        QHelpEvent help(QEvent::ToolTip, point, hovered_->mapToGlobal(point));
        QApplication::sendEvent(hovered_, &help);
      }
      return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    });
  }

  std::string Pointer() override {
    return OnGui([this] {
      const QCursor* busy = QApplication::overrideCursor();
      const Qt::CursorShape shape = busy != nullptr ? busy->shape()
                                    : hovered_ != nullptr ? hovered_->cursor().shape()
                                                          : Qt::ArrowCursor;
      return std::to_string(shape);
    });
  }

  void Click(std::string_view control) override {
    Post([name = std::string(control)] { QTest::mouseClick(Find(name), Qt::LeftButton); });
  }

  void Type(std::string_view control, std::string_view text) override {
    Post([name = std::string(control), text = Q(text)] {
      QWidget* edit = Find(name);
      edit->setFocus();
      QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(edit, Qt::Key_Delete);
      QTest::keyClicks(edit, text);
    });
  }

  void Pick(std::string_view control, int index) override {
    Post([name = std::string(control), index] {
      auto* combo = qobject_cast<QComboBox*>(Find(name));
      combo->showPopup();
      QAbstractItemView* view = combo->view();
      view->scrollTo(view->model()->index(index, 0));  // four rows show at a time
      const QRect item = view->visualRect(view->model()->index(index, 0));
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
      ActivateWhenNoModalIsLeft();  // as once the list has closed
    });
  }

  void Hover(std::string_view control) override {
    Post([this, name = std::string(control)] {
      hovered_ = Find(name);
      QTest::mouseMove(hovered_, QPoint(3, hovered_->height() / 2));
    });
  }

  void Key(std::string_view key) override {
    Post([key = std::string(key)] {
      QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : MainForm();
      if (key == "Tab") QTest::keyClick(target, Qt::Key_Tab);
      if (key == "shift+Tab") QTest::keyClick(target, Qt::Key_Backtab, Qt::ShiftModifier);
      if (key == "Escape") QTest::keyClick(target, Qt::Key_Escape);
      if (key == "Return") QTest::keyClick(target, Qt::Key_Return);
      if (key == "space") QTest::keyClick(target, Qt::Key_Space);
    });
  }

  void CloseWindow() override {
    Post([] { MainForm()->close(); });
  }

  bool BoxShown(std::string_view title) override {
    return OnGui([&] { return Shown<QMessageBox>(title) != nullptr; });
  }

  bool DialogShown(std::string_view title) override {
    return OnGui([&] { return Shown<QFileDialog>(title) != nullptr; });
  }

  BoxSeen ReadBox(std::string_view title) override {
    return OnGui([&] {
      BoxSeen seen;
      QMessageBox* box = Shown<QMessageBox>(title);
      if (box == nullptr) return seen;
      seen.text = box->text().toStdString();
      if (!box->informativeText().isEmpty()) seen.text += "\n\n" + box->informativeText().toStdString();
      for (QAbstractButton* button : box->buttons()) {
        seen.buttons.push_back(ButtonName(box->standardButton(button)));
      }
      return seen;
    });
  }

  void Press(std::string_view title, std::string_view button) override {
    Post([title = std::string(title), button = std::string(button)] {
      QMessageBox* box = Shown<QMessageBox>(title);
      if (box == nullptr) return;  // the scenario has failed already
      for (QAbstractButton* candidate : box->buttons()) {
        if (ButtonName(box->standardButton(candidate)) == button) candidate->click();
      }
      ActivateWhenNoModalIsLeft();
    });
  }

  std::string DialogFileName(std::string_view title) override {
    return OnGui([&] {
      QFileDialog* dialog = Shown<QFileDialog>(title);
      auto* name = dialog != nullptr ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
      return name != nullptr ? name->text().toStdString() : std::string();
    });
  }

  std::vector<std::string> DialogFilters(std::string_view title) override {
    return OnGui([&] {
      std::vector<std::string> filters;
      QFileDialog* dialog = Shown<QFileDialog>(title);
      auto* types = dialog != nullptr ? dialog->findChild<QComboBox*>("fileTypeCombo") : nullptr;
      for (int i = 0; types != nullptr && i < types->count(); ++i) {
        filters.push_back(types->itemText(i).toStdString());
      }
      return filters;
    });
  }

  void AnswerDialog(std::string_view title, std::string_view path) override {
    Post([title = std::string(title), path = Q(path)] {
      QFileDialog* dialog = Shown<QFileDialog>(title);
      if (path.isEmpty()) {
        dialog->reject();
        ActivateWhenNoModalIsLeft();
        return;
      }
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
      static_cast<QDialog*>(dialog)->accept();  // as its Open or Save button does
      ActivateWhenNoModalIsLeft();
    });
  }

  void Freeze() override {
    Post([this] {
      std::unique_lock lock(mutex_);
      frozen_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !frozen_.load(); });
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return frozen_.load(); });
  }

  void Thaw() override {
    std::lock_guard lock(mutex_);
    frozen_ = false;
    changed_.notify_all();
  }

  void Store(std::string_view name, const Stored& value) override {
    auto key = platform::RegistryKey::Open(gui::kSettingsKeyPath, true);
    ASSERT_TRUE(key.ok());
    const Status stored = value.type == Stored::Type::kText ? key.value().SetText(name, value.text)
                                                            : key.value().SetNumber(name, value.number);
    EXPECT_TRUE(stored.ok());
  }

  Stored Read(std::string_view name) override {
    auto key = platform::RegistryKey::Open(gui::kSettingsKeyPath, false);
    if (!key.ok()) return {};
    auto value = key.value().Query(name);
    if (!value.ok() || !value.value().has_value()) return {};
    const platform::RegistryValue& stored = *value.value();
    if (stored.type == platform::RegistryType::kNumber) {
      std::int32_t number = 0;
      std::memcpy(&number, stored.data.data(), sizeof number);
      return StoredNumber(number);
    }
    if (stored.type == platform::RegistryType::kText) {
      return StoredText(stored.data.substr(0, stored.data.find('\0')));
    }
    return {Stored::Type::kOther, {}, 0};
  }

  void AskForFolder(std::string_view title, const fs::path& start) override {
    auto answer = std::make_shared<std::promise<std::string>>();
    folder_ = answer->get_future();
    Post([answer, title = std::string(title), start = start.string()] {
      answer->set_value(toolkit::Application::Instance().ChooseFolder(title, start).value_or(""));
    });
  }
  std::string FolderChosen() override { return folder_.get(); }

  std::vector<std::vector<std::string>> JoinCommands(std::string_view base) override {
    return {{"/bin/sh", std::string(base) + ".sh"}};
  }



 private:
  void Post(std::function<void()> call) {
    QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
  }

  // Runs `read` on the main thread between two messages of the program,
  // or here while the program is held.
  template <typename Read>
  auto OnGui(Read read) -> decltype(read()) {
    if (frozen_) return read();
    decltype(read()) result{};
    QMetaObject::invokeMethod(qApp, [&] { result = read(); }, Qt::BlockingQueuedConnection);
    return result;
  }

  template <typename Condition>
  bool Poll(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!OnGui(condition)) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  // Ends a program that a scenario left running: boxes and dialogs are
  // answered, a run is cancelled, the window closed.
  void Shutdown() {
    Thaw();
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (running_ && !exited_ && std::chrono::steady_clock::now() < end) {
      Post([] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
          if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(box->buttons().size() > 1 ? QMessageBox::Cancel : QMessageBox::Ok)->click();
          } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
          }
          return;
        }
        if (QWidget* close = Find("CloseButton")) QTest::mouseClick(close, Qt::LeftButton);
      });
      std::this_thread::sleep_for(20ms);
    }
  }

  testing::TempDir config_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> frozen_ = false;
  std::atomic<bool> running_ = false;
  std::atomic<bool> exited_ = true;
  QWidget* hovered_ = nullptr;
  std::future<std::string> folder_;
};

}  // namespace

std::unique_ptr<Driver> MakeDriver() { return std::make_unique<QtDriver>(); }

}  // namespace zelbo::desktop

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const zelbo::testing::TempDir runtime;
  std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  zelbo::toolkit::Application application(argc, argv);
  application.SetTitle("Zelbo");
  return RUN_ALL_TESTS();
}
