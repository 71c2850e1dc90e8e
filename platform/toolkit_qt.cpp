// The toolkit layer on Qt 6 Widgets. It adapts Qt's widgets to the layer's
// contracts and leads Qt's events to what the backends share (hints,
// handlers, a close that waits for the running handler, Escape, file
// drops); of its own it adds the file dialogs' refusals and the form as a
// dialog to assistive technology.
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
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTimer>
#include <optional>

#include "platform/toolkit_qt.h"

namespace zelbo::toolkit {
namespace {

constexpr char kControlProperty[] = "zelboControl";  // the Control of a widget

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

Control& ControlOf(const QObject* widget) {
  return *static_cast<Control*>(widget->property(kControlProperty).value<void*>());
}

// Ties the widget to its control, whose hints its form's widget shows.
void Adopt(QWidget* widget, Control& control, std::string_view name) {
  widget->setObjectName(ToQt(name));
  widget->setProperty(kControlProperty, QVariant::fromValue<void*>(&control));
  widget->installEventFilter(Widget(control.form().native()));
}

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

// "*.*" admits every file, as on the systems the filters were written for;
// Qt would read it as "names with a dot" only.
QString QtPatterns(const std::string& patterns) {
  QStringList list = ToQt(patterns).split(';', Qt::SkipEmptyParts);
  for (QString& pattern : list) {
    if (pattern == "*.*") pattern = "*";
  }
  return list.join(' ');
}

// The one local file that a drop carries, if that is all it carries.
std::optional<std::string> DroppedFile(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  return FromQt(urls.front().toLocalFile());
}

class FormWidget : public QWidget {
 public:
  explicit FormWidget(Form& form) : form_(form) {}
  double scale = 1;  // of the layout, for the desktop's font

  int Scaled(int pixels) const { return qRound(pixels * scale); }

  // Puts the hint of the control under the mouse, its own or one of its
  // controls', into the status bar.
  bool eventFilter(QObject* object, QEvent* event) override {
    Control& control = ControlOf(object);
    if (event->type() == QEvent::Enter) form_.ShowHint(control);
    // Moving from a control back onto the form sends the form no Enter, so
    // the form's hint is shown now; a control entered next replaces it.
    if (event->type() == QEvent::Leave && &control != &form_) form_.ShowHint(form_);
    return false;
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() != Qt::Key_Escape || !form_.PressCancel()) QWidget::keyPressEvent(event);
  }

  void closeEvent(QCloseEvent* event) override { event->setAccepted(form_.MayClose()); }

  void dragEnterEvent(QDragEnterEvent* event) override { AcceptFileDrop(*event); }
  void dragMoveEvent(QDragMoveEvent* event) override { AcceptFileDrop(*event); }

  // The file is taken from the message loop once the drop is over, so that
  // the handler's boxes never keep the file manager waiting.
  void dropEvent(QDropEvent* event) override {
    if (!AcceptFileDrop(*event)) return;
    QTimer::singleShot(0, this, [this, path = *DroppedFile(*event->mimeData())] {
      form_.Drop(path);
    });
  }

 private:
  // Accepts a drop of one local file as a copy: a move would let the file
  // manager delete the file once it was dropped.
  bool AcceptFileDrop(QDropEvent& event) {
    const std::optional<std::string> file = DroppedFile(*event.mimeData());
    const bool wanted = (event.possibleActions() & Qt::CopyAction) && file && form_.TakesDrop(*file);
    if (wanted) event.setDropAction(Qt::CopyAction);
    event.setAccepted(wanted);
    return wanted;
  }

  Form& form_;
};

// Assistive technology meets the form as the dialog it looks like.
QAccessibleInterface* FormAsDialog(const QString&, QObject* object) {
  auto* form = dynamic_cast<FormWidget*>(object);
  return form != nullptr ? new QAccessibleWidget(form, QAccessible::Dialog) : nullptr;
}

}  // namespace

// ---- The form ----

Form::Form(std::string_view name, std::string_view caption, int client_width, int client_height)
    : Control(this, {0, 0, client_width, client_height}) {
  auto* form = new FormWidget(*this);
  native_ = Native(form);
  form->scale = FontScale(QFontInfo(QApplication::font()).pointSizeF());
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
  Adopt(form, *this, name);
}

Form::~Form() { delete Widget(native()); }

void Form::Close() { Widget(native())->close(); }

void Form::SetFileDropsEnabled(bool enabled) {
  drops_enabled_ = enabled;
  Widget(native())->setAcceptDrops(enabled);
}

// Qt reads a window in the order its widgets were made; controls that take
// no focus are left out of the chain, as Qt refuses to tie them into it.
void Form::SetTabOrder(const std::vector<Control*>& order) {
  QWidget* previous = nullptr;
  for (const Control* control : order) {
    QWidget* widget = Widget(control->native());
    if (widget->focusPolicy() == Qt::NoFocus) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

// Brings the window's picture up to date now: what changed since the last
// paint (a caption, the progress bar) is drawn at once, the rest is left.
void Form::Repaint() {
  QCoreApplication::sendPostedEvents(Widget(native())->window(), QEvent::UpdateRequest);
}

// ---- Controls ----

namespace {

QFrame* Framed(QFrame* frame, int style) {
  frame->setFrameStyle(style);
  return frame;
}

// The widget of a control, its events led to the control.
QWidget* NewWidget(Control& control, const QString& text, QWidget* form) {
  const auto fire = [&control] { control.Fire(); };
  switch (control.kind()) {
    case ControlKind::kForm: break;
    case ControlKind::kPanel: return Framed(new QFrame(form), QFrame::Panel | QFrame::Sunken);
    // Etched: a lowered rim, raised inside.
    case ControlKind::kEtchedPanel: return Framed(new QFrame(form), QFrame::Box | QFrame::Sunken);
    case ControlKind::kGroupBox: return new QGroupBox(text, form);
    case ControlKind::kLabel: {
      const bool sized = control.bounds().width != 0;
      auto* label = new QLabel(text, form);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(sized);
      label->setAlignment(Qt::AlignLeft | (sized ? Qt::AlignVCenter : Qt::AlignTop));
      return label;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(text, form);
      button->setAutoDefault(false);
      QObject::connect(button, &QPushButton::clicked, button, fire);
      return button;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(text, form);
      edit->setAcceptDrops(false);  // a file dropped here is meant for the window
      QObject::connect(edit, &QLineEdit::textChanged, edit, fire);
      return edit;
    }
    case ControlKind::kComboBox: {
      auto* combo = new QComboBox(form);
      QObject::connect(combo, &QComboBox::activated, combo, fire);
      return combo;
    }
    case ControlKind::kCheckBox: return new QCheckBox(text, form);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(form);
      bar->setTextVisible(false);
      bar->setValue(0);
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

// The Qt property that holds a control's text, and its value.
const char* TextProperty(ControlKind kind) {
  return kind == ControlKind::kForm ? "windowTitle" : kind == ControlKind::kGroupBox ? "title" : "text";
}

const char* ValueProperty(ControlKind kind) {
  return kind == ControlKind::kComboBox ? "currentIndex"
         : kind == ControlKind::kCheckBox ? "checked"
                                          : "value";
}

}  // namespace

void Control::Create(std::string_view name, std::string_view text) {
  auto* form = static_cast<FormWidget*>(Widget(form_->native()));
  QWidget* widget = NewWidget(*this, ToQt(text), form);
  Adopt(widget, *this, name);
  if (bounds_.width == 0 && bounds_.height == 0) {
    widget->adjustSize();
    widget->move(form->Scaled(bounds_.left), form->Scaled(bounds_.top));
  } else {
    widget->setGeometry(form->Scaled(bounds_.left), form->Scaled(bounds_.top),
                        form->Scaled(bounds_.width), form->Scaled(bounds_.height));
  }
  widget->show();
  native_ = Native(widget);
}

void Control::SetText(std::string_view text) {
  QWidget* widget = Widget(native_);
  if (auto* bar = qobject_cast<QStatusBar*>(widget)) return bar->showMessage(ToQt(text));
  widget->setProperty(TextProperty(kind_), ToQt(text));
  if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap()) label->adjustSize();
}

std::string Control::Text() const {
  const QWidget* widget = Widget(native_);
  if (auto* bar = qobject_cast<const QStatusBar*>(widget)) return FromQt(bar->currentMessage());
  return FromQt(widget->property(TextProperty(kind_)).toString());
}

void Control::SetValue(int value) { Widget(native_)->setProperty(ValueProperty(kind_), value); }
int Control::Value() const { return Widget(native_)->property(ValueProperty(kind_)).toInt(); }

void Control::SetEnabled(bool enabled) { Widget(native_)->setEnabled(enabled); }
bool Control::Enabled() const { return Widget(native_)->isEnabled(); }
void Control::SetVisible(bool visible) { Widget(native_)->setVisible(visible); }
bool Control::Visible() const { return !Widget(native_)->isHidden(); }
void Control::ShowTooltip() { Widget(native_)->setToolTip(ToQt(hint_)); }
void Control::SetFocus() { Widget(native_)->setFocus(Qt::OtherFocusReason); }
bool Control::HasFocus() const { return Widget(native_)->hasFocus(); }

QWidget* QtWidget(const Control& control) { return Widget(control.native()); }

// A label and a list (on Linux) are named by their own text: only the tie
// to the label tells what they are.
void Label::Names(Control& field) {
  QWidget* named = Widget(field.native());
  auto* label = static_cast<QLabel*>(Widget(native()));
  label->setBuddy(named);
  if (!qobject_cast<QLabel*>(named) && !qobject_cast<QComboBox*>(named)) {
    QString name = label->text();  // without a closing colon
    while (name.endsWith(':') || name.endsWith(' ')) name.chop(1);
    named->setAccessibleName(name);
  }
}

void ComboBox::Fill(const std::vector<std::string>& items, int visible_rows) {
  auto* combo = static_cast<QComboBox*>(Widget(native()));
  for (const std::string& item : items) combo->addItem(ToQt(item));
  combo->setMaxVisibleItems(visible_rows);
  // Styles that drop the list down like a menu show every item and ignore
  // the visible rows; the plain list popup keeps to them under every style.
  combo->setStyleSheet("combobox-popup: 0;");
  combo->setCurrentIndex(-1);
}

// ---- Dialogs ----

namespace {

// Qt's file dialog with the program's refusal: a refused name is told in a
// box of the dialog's own, and the dialog stays open for another. What Qt would
// keep in QtProject.conf (view, sidebar, folder history) lasts only as
// long as the program, shared by its dialogs.
class ZelboFileDialog : public QFileDialog {
 public:
  explicit ZelboFileDialog(const std::string& title, Refusal refusal = {})
      : QFileDialog(QApplication::activeWindow(), ToQt(title)), refusal_(std::move(refusal)) {
    setOption(QFileDialog::DontUseNativeDialog);
    if (!State().isEmpty()) restoreState(State());
  }

  // Runs the dialog, keeping its state; the file or folder chosen.
  std::optional<std::string> Chosen() {
    const bool confirmed = exec() == QDialog::Accepted && !selectedFiles().isEmpty();
    State() = saveState();
    if (!confirmed) return std::nullopt;
    return FromQt(selectedFiles().front());
  }

  void accept() override {
    const QStringList files = selectedFiles();
    const std::string refused = refusal_ && !files.isEmpty() ? refusal_(FromQt(files.front())) : "";
    if (refused.empty()) return QFileDialog::accept();
    QMessageBox box(QMessageBox::Warning, windowTitle(), ToQt(refused), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    FitTitle(box);
    box.exec();
  }

 private:
  Refusal refusal_;

  static QByteArray& State() {
    static QByteArray state;
    return state;
  }
};

}  // namespace

bool FileDialog::Execute() {
  ZelboFileDialog dialog(title, refusal);
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                    QFileDialog::DontConfirmOverwrite);
  const bool open = kind == Kind::kOpen;
  dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QStringList names;
  for (const FileFilter& filter : filters) {
    names << ToQt(filter.description) + " (" + QtPatterns(filter.patterns) + ")";
  }
  dialog.setNameFilters(names);
  if (!names.isEmpty()) dialog.selectNameFilter(names.front());
  if (!initial_folder.empty()) dialog.setDirectory(ToQt(initial_folder));
  if (!file_name.empty()) dialog.selectFile(ToQt(file_name));
  const std::optional<std::string> chosen = dialog.Chosen();
  if (chosen) file_name = *chosen;
  return chosen.has_value();
}

// ---- Application ----

struct Application::State {
  QApplication qt;

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

// The title is kept by the layer only: given to Qt as the application's
// display name, it would be appended to the title of every other window.
Application::Application(int& argc, char** argv) : state_(std::make_unique<State>(argc, argv)) {
  state_->qt.setQuitOnLastWindowClosed(false);
  // Desktops match the windows to the menu entry (and its icon) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELBO_DESKTOP_ENTRY));
  instance_ = this;
}

Application::~Application() { instance_ = nullptr; }

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
    RethrowEscaped();
  }
}

void Application::ProcessMessages() {
  QApplication::processEvents();
  RethrowEscaped();
}

void Application::SetCursor(Cursor cursor) {
  while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
  if (cursor == Cursor::kHourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  cursor_ = cursor;
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

std::optional<std::string> Application::ChooseFolder(std::string_view title,
                                                     std::string_view start_folder) {
  ZelboFileDialog dialog{std::string(title)};
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!start_folder.empty()) dialog.setDirectory(ToQt(start_folder));
  return dialog.Chosen();
}

}  // namespace zelbo::toolkit
