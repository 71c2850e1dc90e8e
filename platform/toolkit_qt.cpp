// The toolkit layer on Qt 6 Widgets. It adapts Qt's widgets to the layer's
// contracts and adds only what Qt lacks: status-bar hints that fall back
// to the parent's, Escape clicking a chosen cancel button, the standard
// error box for exceptions escaping event handlers, a close that waits for
// the running handler, file drops, the file dialogs' refusals, and the
// form as a dialog to assistive technology.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>
#include <optional>

#include "platform/toolkit_qt.h"

namespace zelbo::toolkit {
namespace {

constexpr char kHintProperty[] = "zelboHint";
constexpr char kParentProperty[] = "zelboParent";  // the control it was placed in

// The layouts are drawn for an 8-point font at 96 dpi. The platform's sans
// font is wider than the one they were made for; at this pixel size every
// caption fits its control (a test checks it).
constexpr int kFontPixelSize = 9;

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

QWidget* Widget(NativeWidget* native) { return reinterpret_cast<QWidget*>(native); }
NativeWidget* Native(QWidget* widget) { return reinterpret_cast<NativeWidget*>(widget); }

template <typename T>
T* As(const Control& control) {
  return static_cast<T*>(Widget(control.native()));
}

QString OwnHint(const QWidget* widget) { return widget->property(kHintProperty).toString(); }

// The hint a widget shows: its own, else that of the control it was placed
// in, and so on up to the form's.
QString EffectiveHint(const QWidget* widget) {
  for (; widget != nullptr;
       widget = qobject_cast<QWidget*>(widget->property(kParentProperty).value<QObject*>())) {
    const QString hint = OwnHint(widget);
    if (!hint.isEmpty()) return hint;
  }
  return {};
}

QStatusBar* StatusBarOf(const QWidget* widget) {
  return widget->window()->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
}

// Puts the hint of the widget under the mouse into the window's status bar
// and keeps tooltips to the widgets that have a hint of their own.
class HintWatcher : public QObject {
 public:
  static HintWatcher& Instance() {
    static HintWatcher watcher;
    return watcher;
  }

  bool eventFilter(QObject* object, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) return false;
    switch (event->type()) {
      case QEvent::Enter:
        Show(widget);
        break;
      case QEvent::Leave:
        // Moving from a control back onto the form sends the form no
        // Enter, so the form's hint is shown now; a control entered next
        // replaces it.
        if (widget->parentWidget() != nullptr) Show(widget->parentWidget());
        break;
      case QEvent::ToolTip:
        return OwnHint(widget).isEmpty();
      default:
        break;
    }
    return false;
  }

 private:
  static void Show(QWidget* widget) {
    if (QStatusBar* bar = StatusBarOf(widget)) bar->showMessage(EffectiveHint(widget));
  }
};

void Watch(QWidget* widget) { widget->installEventFilter(&HintWatcher::Instance()); }

// In the order of MessageIcon.
constexpr QMessageBox::Icon kQtIcons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                          QMessageBox::Information, QMessageBox::Question};

// Qt sizes a box for its title with little room for the window manager's
// title bar, which then elides a short box's title ("Zel…ed") so that the
// kind of outcome cannot be read: the box is made wide enough for its title
// in bold beside the title bar's icon and three buttons.
void FitTitle(QMessageBox& box) {
  constexpr int kTitleBarExtras = 120;
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  QFont bold = QApplication::font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                grid->rowCount(), 0, 1, grid->columnCount());
}

// True for what can be split: a regular file or a block device (a whole
// disk), which have a size, not a named pipe, a socket or a terminal,
// which have none and whose reading could wait for ever.
bool IsSplittable(const QString& path) {
  std::error_code error;
  const auto status = std::filesystem::status(QFile::encodeName(path).toStdString(), error);
  return !error && (std::filesystem::is_regular_file(status) ||
                    std::filesystem::is_block_file(status));
}

// "*.*" admits every file, as on the systems the filters were written for;
// Qt would read it as "names with a dot" only.
QString QtPatterns(const std::string& patterns) {
  QStringList list = ToQt(patterns).split(';', Qt::SkipEmptyParts);
  for (QString& pattern : list) {
    if (pattern == "*.*") pattern = "*";
  }
  return list.join(' ');
}

}  // namespace

// ---- Event handlers and the form ----

namespace {

// The event handlers running now: more than one while a handler pumps
// messages (a split run) and another one fires from inside that pump.
int running_handlers = 0;

void CloseWaitingForms();

// Runs an event handler fired by a widget; when the outermost one returns,
// the closes that came meanwhile take effect.
void Dispatch(const Handler& handler) {
  struct Leave {
    ~Leave() {
      if (--running_handlers == 0) CloseWaitingForms();
    }
  };
  ++running_handlers;
  Leave leave;
  CallHandler(handler);
}

// The one local file that a drop carries, if that is all it carries.
std::optional<QString> DroppedFile(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  const QString path = urls.front().toLocalFile();
  if (!IsSplittable(path)) return std::nullopt;
  return path;
}

class FormWidget : public QWidget {
 public:
  QPointer<QPushButton> cancel_button;
  Handler on_close;
  std::function<void(const std::string&)> on_file_drop;
  double scale = 1;  // of the layout, for the desktop's font

  int Scaled(int pixels) const { return qRound(pixels * scale); }

  void SetFileDropsEnabled(bool enabled) {
    file_drops_enabled_ = enabled;
    setAcceptDrops(enabled);
  }

  // Completes a close that came while an event handler was running.
  void CloseIfWaiting() {
    if (!close_waiting_) return;
    close_waiting_ = false;
    closing_after_handler_ = true;
    close();
    closing_after_handler_ = false;
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && cancel_button && cancel_button->isEnabled()) {
      cancel_button->click();
      return;
    }
    QWidget::keyPressEvent(event);
  }

  void closeEvent(QCloseEvent* event) override {
    if (closing_after_handler_) {  // the close handler fired when the close came
      event->accept();
      return;
    }
    if (on_close && !CallHandler(on_close)) {
      event->ignore();
      return;
    }
    if (running_handlers > 0) {
      // Hiding now would leave the running handler (a split run) without
      // its progress and its Cancel button, and its last box alone.
      close_waiting_ = true;
      event->ignore();
      return;
    }
    event->accept();
  }

  void dragEnterEvent(QDragEnterEvent* event) override { AcceptFileDrop(*event); }
  void dragMoveEvent(QDragMoveEvent* event) override { AcceptFileDrop(*event); }

  // The file is taken from the message loop once the drop is over, so that
  // the handler's boxes never keep the file manager waiting.
  void dropEvent(QDropEvent* event) override {
    if (!AcceptFileDrop(*event)) return;
    QTimer::singleShot(0, this, [this, path = FromQt(*DroppedFile(*event->mimeData()))] {
      if (file_drops_enabled_ && on_file_drop) Dispatch([&] { on_file_drop(path); });
    });
  }

 private:
  // Accepts a drop of one local file as a copy: a move would let the file
  // manager delete the file once it was dropped.
  bool AcceptFileDrop(QDropEvent& event) {
    const bool wanted = file_drops_enabled_ && on_file_drop &&
                        (event.possibleActions() & Qt::CopyAction) &&
                        DroppedFile(*event.mimeData());
    if (!wanted) {
      event.ignore();
      return false;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
    return true;
  }

  bool file_drops_enabled_ = false;
  bool close_waiting_ = false;
  bool closing_after_handler_ = false;
};

FormWidget* FormOf(const Control& control) { return As<FormWidget>(control); }

void CloseWaitingForms() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* form = dynamic_cast<FormWidget*>(window)) form->CloseIfWaiting();
  }
}

// Assistive technology meets the form as the dialog it looks like.
QAccessibleInterface* FormAsDialog(const QString&, QObject* object) {
  auto* form = dynamic_cast<FormWidget*>(object);
  return form != nullptr ? new QAccessibleWidget(form, QAccessible::Dialog) : nullptr;
}

}  // namespace

Form::Form(std::string_view name, std::string_view caption, int client_width,
           int client_height)
    : Control(Native(new FormWidget)) {
  FormWidget* form = FormOf(*this);
  form->scale = FontScale(QFontInfo(QApplication::font()).pointSizeF());
  form->setObjectName(ToQt(name));
  form->setWindowTitle(ToQt(caption));
  form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                       Qt::MSWindowsFixedSizeDialogHint);
  form->setFixedSize(form->Scaled(client_width), form->Scaled(client_height));
  form->setBackgroundRole(QPalette::Button);
  form->setAutoFillBackground(true);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(form->Scaled(kFontPixelSize));
  form->setFont(font);
  form->setAttribute(Qt::WA_QuitOnClose, false);
  Watch(form);
}

Form::~Form() { delete Widget(native()); }

void Form::OnClose(Handler handler) { FormOf(*this)->on_close = std::move(handler); }

void Form::Close() { Widget(native())->close(); }

void Form::OnFileDrop(std::function<void(const std::string& path)> handler) {
  FormOf(*this)->on_file_drop = std::move(handler);
}

void Form::SetFileDropsEnabled(bool enabled) { FormOf(*this)->SetFileDropsEnabled(enabled); }

void Form::SetCancelButton(Button* button) {
  FormOf(*this)->cancel_button = button ? As<QPushButton>(*button) : nullptr;
}

void Form::SetTabOrder(const std::vector<Control*>& order) {
  for (std::size_t i = 1; i < order.size(); ++i) {
    QWidget::setTabOrder(Widget(order[i - 1]->native()), Widget(order[i]->native()));
  }
}

// Brings the window's picture up to date now: what changed since the last
// paint (a caption, the progress bar) is drawn at once, the rest is left.
void Form::Repaint() {
  QCoreApplication::sendPostedEvents(Widget(native())->window(), QEvent::UpdateRequest);
}

// ---- Controls ----

namespace {

QWidget* NewWidget(ControlKind kind, const QString& text, QWidget* form, bool sized) {
  switch (kind) {
    case ControlKind::kPanel:
    case ControlKind::kEtchedPanel: {
      auto* frame = new QFrame(form);
      // Etched: a lowered rim, raised inside.
      frame->setFrameStyle(kind == ControlKind::kPanel ? QFrame::Panel | QFrame::Sunken
                                                       : QFrame::Box | QFrame::Sunken);
      return frame;
    }
    case ControlKind::kGroupBox: return new QGroupBox(text, form);
    case ControlKind::kLabel: {
      auto* label = new QLabel(text, form);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(sized);
      label->setAlignment(Qt::AlignLeft | (sized ? Qt::AlignVCenter : Qt::AlignTop));
      return label;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(text, form);
      button->setAutoDefault(false);
      return button;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(text, form);
      edit->setAcceptDrops(false);  // a file dropped here is meant for the window
      return edit;
    }
    case ControlKind::kComboBox: return new QComboBox(form);
    case ControlKind::kCheckBox: return new QCheckBox(text, form);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(form);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kStatusBar: {
      auto* bar = new QStatusBar(form);
      bar->setSizeGripEnabled(false);
      return bar;
    }
  }
  return nullptr;
}

void Place(QWidget* widget, Bounds bounds) {
  const auto* form = static_cast<const FormWidget*>(widget->window());
  if (bounds.width == 0 && bounds.height == 0) {
    widget->adjustSize();
    widget->move(form->Scaled(bounds.left), form->Scaled(bounds.top));
  } else {
    widget->setGeometry(form->Scaled(bounds.left), form->Scaled(bounds.top),
                        form->Scaled(bounds.width), form->Scaled(bounds.height));
  }
}

}  // namespace

NativeWidget* Control::Create(NativeWidget* parent, ControlKind kind, std::string_view name,
                              Bounds bounds, std::string_view text) {
  QWidget* placed_in = Widget(parent);
  QWidget* widget = NewWidget(kind, ToQt(text), placed_in->window(), bounds.width != 0);
  widget->setObjectName(ToQt(name));
  widget->setProperty(kParentProperty, QVariant::fromValue<QObject*>(placed_in));
  Place(widget, bounds);
  Watch(widget);
  widget->show();
  return Native(widget);
}

void Control::SetText(std::string_view text) {
  QWidget* widget = Widget(native_);
  const QString qt = ToQt(text);
  if (widget->isWindow()) {
    widget->setWindowTitle(qt);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(qt);
    if (!label->wordWrap()) label->adjustSize();
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(qt);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(qt);
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    box->setTitle(qt);
  } else if (auto* bar = qobject_cast<QStatusBar*>(widget)) {
    bar->showMessage(qt);
  }
}

std::string Control::Text() const {
  const QWidget* widget = Widget(native_);
  if (widget->isWindow()) return FromQt(widget->windowTitle());
  if (auto* label = qobject_cast<const QLabel*>(widget)) return FromQt(label->text());
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return FromQt(button->text());
  if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return FromQt(edit->text());
  if (auto* box = qobject_cast<const QGroupBox*>(widget)) return FromQt(box->title());
  if (auto* bar = qobject_cast<const QStatusBar*>(widget)) return FromQt(bar->currentMessage());
  return {};
}

void Control::SetHandler(Handler handler) {
  QWidget* widget = Widget(native_);
  auto run = [handler = std::move(handler)] { Dispatch(handler); };
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    QObject::connect(button, &QAbstractButton::clicked, widget, run);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    QObject::connect(edit, &QLineEdit::textChanged, widget, run);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    QObject::connect(combo, &QComboBox::activated, widget, run);
  }
}

void Control::SetEnabled(bool enabled) { Widget(native_)->setEnabled(enabled); }
bool Control::Enabled() const { return Widget(native_)->isEnabled(); }
void Control::SetVisible(bool visible) { Widget(native_)->setVisible(visible); }
bool Control::Visible() const { return !Widget(native_)->isHidden(); }

void Control::SetHint(std::string_view hint) {
  QWidget* widget = Widget(native_);
  widget->setProperty(kHintProperty, ToQt(hint));
  const bool shows_tooltip = !widget->isWindow() && !qobject_cast<QStatusBar*>(widget);
  if (shows_tooltip) widget->setToolTip(ToQt(hint));
}

std::string Control::Hint() const { return FromQt(OwnHint(Widget(native_))); }

void Control::SetFocus() { Widget(native_)->setFocus(Qt::OtherFocusReason); }

bool Control::HasFocus() const { return Widget(native_)->hasFocus(); }

void Control::BringToFront() { Widget(native_)->raise(); }

QWidget* QtWidget(const Control& control) { return Widget(control.native()); }

// A label and a list (on Linux) are named by their own text: only the tie
// to the label tells what they are.
void Label::Names(Control& field) {
  QWidget* named = Widget(field.native());
  As<QLabel>(*this)->setBuddy(named);
  if (!qobject_cast<QLabel*>(named) && !qobject_cast<QComboBox*>(named)) {
    named->setAccessibleName(ToQt(AccessibleName(Text())));
  }
}

ComboBox::ComboBox(const Control& parent, std::string_view name, Bounds bounds,
                   const std::vector<std::string>& items, int visible_rows)
    : Control(parent, ControlKind::kComboBox, name, bounds, {}) {
  auto* combo = As<QComboBox>(*this);
  for (const std::string& item : items) combo->addItem(ToQt(item));
  combo->setMaxVisibleItems(visible_rows);
  // Styles that drop the list down like a menu show every item and ignore
  // the visible rows; the plain list popup keeps to them under every style.
  combo->setStyleSheet("combobox-popup: 0;");
  combo->setCurrentIndex(-1);
}

void ComboBox::SetItemIndex(int index) {
  auto* combo = As<QComboBox>(*this);
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int ComboBox::ItemIndex() const { return As<QComboBox>(*this)->currentIndex(); }

void CheckBox::SetChecked(bool checked) { As<QCheckBox>(*this)->setChecked(checked); }
bool CheckBox::Checked() const { return As<QCheckBox>(*this)->isChecked(); }

ProgressBar::ProgressBar(const Control& parent, std::string_view name, Bounds bounds,
                         int minimum, int maximum)
    : Control(parent, ControlKind::kProgressBar, name, bounds, {}) {
  As<QProgressBar>(*this)->setRange(minimum, maximum);
  As<QProgressBar>(*this)->setValue(minimum);
}

void ProgressBar::SetPosition(int position) { As<QProgressBar>(*this)->setValue(position); }
int ProgressBar::Position() const { return As<QProgressBar>(*this)->value(); }

// ---- Dialogs ----

namespace {

// Why the open dialog must not return `path`; empty when it may (a
// missing file is Qt's own to refuse).
QString OpenRefusal(const QString& path) {
  const QFileInfo file(path);
  if (!file.exists() || file.isDir() || IsSplittable(path)) return {};
  return file.absoluteFilePath() + "\nThis is not a file that can be split.\nChoose a file.";
}

// Qt's file dialog with the refusals: a refused name is told in a box of
// the dialog's own, and the dialog stays open for another.
class ZelboFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    if (!files.isEmpty() && fileMode() != Directory) {
      const QString refusal = acceptMode() == AcceptSave
                                  ? ToQt(SaveRefusal(FromQt(files.front())))
                                  : OpenRefusal(files.front());
      if (!refusal.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, windowTitle(), refusal, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        FitTitle(box);
        box.exec();
        return;
      }
    }
    QFileDialog::accept();
  }

};

// What Qt's file dialog would keep in QtProject.conf (view, sidebar,
// folder history) lasts only as long as the program, shared by its dialogs.
QByteArray& DialogState() {
  static QByteArray state;
  return state;
}

// Runs the dialog in the folder (the last one when empty), keeping its
// state.
bool Confirmed(ZelboFileDialog& dialog, const std::string& folder) {
  if (!folder.empty()) dialog.setDirectory(ToQt(folder));
  const bool confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  DialogState() = dialog.saveState();
  return confirmed;
}

ZelboFileDialog& Prepared(ZelboFileDialog& dialog) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!DialogState().isEmpty()) dialog.restoreState(DialogState());
  return dialog;
}

}  // namespace

bool FileDialog::Execute() {
  ZelboFileDialog dialog(QApplication::activeWindow(), ToQt(title_));
  Prepared(dialog).setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                              QFileDialog::DontConfirmOverwrite);
  const bool open = kind_ == Kind::kOpen;
  dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& filter : filters_) {
    filters << ToQt(filter.description) + " (" + QtPatterns(filter.patterns) + ")";
  }
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
  if (!initial_folder_.empty()) dialog.setDirectory(ToQt(initial_folder_));
  if (!file_name_.empty()) dialog.selectFile(ToQt(file_name_));
  if (!Confirmed(dialog, {})) return false;
  file_name_ = FromQt(dialog.selectedFiles().front());
  return true;
}

// ---- Application ----

namespace {
Application* the_application = nullptr;
}

struct Application::State {
  QApplication qt;
  std::string title;
  Cursor cursor = Cursor::kDefault;

  State(int& argc, char** argv) : qt((PreferQtDispatcher(), argc), argv) {
    KeepQtSettingsOffDisk();
    QApplication::setWindowIcon(ApplicationIcon());
    QAccessible::installFactory(FormAsDialog);
  }

  // A split pumps messages once per 32 KiB chunk, tens of thousands of
  // times a second; Qt's own event dispatcher does a pump in a fraction of
  // the time of the GLib one, and nothing here needs GLib's main loop.
  static void PreferQtDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  }

  // Qt's file dialog saves its history and view in the user's
  // QtProject.conf; the program writes nothing but its own settings store.
  // Qt's per-user settings are therefore looked for in the program's
  // resources, which are read-only: they are never found, and never
  // written (the dialogs keep that state in memory instead).
  static void KeepQtSettingsOffDisk() {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
      QSettings::setPath(format, QSettings::UserScope, ":/zelbo/no-settings");
    }
  }

  // The application's icon in every size it was drawn in, embedded in the
  // program; Qt gives it to every window, box and dialog.
  static QIcon ApplicationIcon() {
    QIcon icon;
    const QDir icons(":/zelbo/icons");
    for (const QString& name : icons.entryList(QDir::Files)) icon.addFile(icons.filePath(name));
    return icon;
  }
};

Application::Application(int& argc, char** argv)
    : state_(std::make_unique<State>(argc, argv)) {
  state_->qt.setQuitOnLastWindowClosed(false);
  // Desktops match the windows to the menu entry (and its icon) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELBO_DESKTOP_ENTRY));
  the_application = this;
}

Application::~Application() { the_application = nullptr; }

Application& Application::Instance() { return *the_application; }

// The title is kept here only: given to Qt as the application's display
// name, it would be appended to the title of every other window.
void Application::SetTitle(std::string_view title) { state_->title = title; }

std::string Application::Title() const { return state_->title; }

void Application::Run(Form& main_form) {
  QWidget* form = Widget(main_form.native());
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  form->move(screen.center() - form->rect().center());
  form->show();
  // A close during an event handler takes effect when the handler has
  // returned; the loop ends when the form is hidden.
  while (form->isVisible()) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

void Application::ProcessMessages() { QApplication::processEvents(); }

Cursor Application::GetCursor() const { return state_->cursor; }

void Application::SetCursor(Cursor cursor) {
  while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
  if (cursor == Cursor::kHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  state_->cursor = cursor;
}

MessageAnswer Application::MessageBox(std::string_view text, std::string_view title,
                                      MessageIcon icon, MessageButtons buttons,
                                      std::string_view detail) {
  const bool retry_cancel = buttons == MessageButtons::kRetryCancel;
  QMessageBox box(kQtIcons[static_cast<int>(icon)], ToQt(title), ToQt(text),
                  retry_cancel ? QMessageBox::Retry | QMessageBox::Cancel : QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  if (!detail.empty()) box.setInformativeText(ToQt(detail));
  box.setEscapeButton(retry_cancel ? QMessageBox::Cancel : QMessageBox::Ok);
  FitTitle(box);
  switch (box.exec()) {
    case QMessageBox::Retry: return MessageAnswer::kRetry;
    case QMessageBox::Cancel: return MessageAnswer::kCancel;
    default: return MessageAnswer::kOk;
  }
}

void Application::ShowException(const Exception& error) {
  MessageBox(StandardErrorText(error.what()), state_->title, MessageIcon::kError,
             MessageButtons::kOk, error.detail());
}

std::optional<std::string> Application::ChooseFolder(std::string_view title,
                                                     std::string_view start_folder) {
  ZelboFileDialog dialog(QApplication::activeWindow(), ToQt(title));
  Prepared(dialog).setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!Confirmed(dialog, std::string(start_folder))) return std::nullopt;
  return FromQt(dialog.selectedFiles().front());
}

}  // namespace zelbo::toolkit
