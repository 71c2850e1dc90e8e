// The toolkit layer on Qt 6 Widgets. It adapts Qt's widgets to the layer's
// contracts and adds only what Qt lacks: status-bar hints that fall back
// to the parent's, Escape clicking a chosen cancel button, and the
// standard error box for exceptions escaping event handlers.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "platform/toolkit_qt.h"

namespace zelbo::toolkit {
namespace {

constexpr char kHintProperty[] = "zelboHint";

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

// The hint a widget shows: its own, else the nearest parent's.
QString EffectiveHint(const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
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
        // Moving from a child back onto its parent sends the parent no
        // Enter, so the parent's hint is shown now; a sibling entered next
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

QRect Geometry(Bounds bounds) {
  return QRect(bounds.left, bounds.top, bounds.width, bounds.height);
}

// Places a new child widget and returns it as the layer's handle.
NativeWidget* Place(QWidget* widget, std::string_view name, Bounds bounds) {
  widget->setObjectName(ToQt(name));
  if (bounds.width == 0 && bounds.height == 0) {
    widget->adjustSize();
    widget->move(bounds.left, bounds.top);
  } else {
    widget->setGeometry(Geometry(bounds));
  }
  Watch(widget);
  widget->show();
  return Native(widget);
}

QWidget* ParentOf(Container& parent) { return Widget(parent.native()); }

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError: return QMessageBox::Critical;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kQuestion: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
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

// ---- Form ----

namespace {

class FormWidget : public QWidget {
 public:
  QPointer<QPushButton> cancel_button;
  Handler on_close;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && cancel_button && cancel_button->isEnabled()) {
      cancel_button->click();
      return;
    }
    QWidget::keyPressEvent(event);
  }

  void closeEvent(QCloseEvent* event) override {
    if (on_close && !CallHandler(on_close)) {
      event->ignore();
      return;
    }
    event->accept();
  }
};

FormWidget* FormOf(const Control& control) { return As<FormWidget>(control); }

}  // namespace

Form::Form(std::string_view name, std::string_view caption, int client_width,
           int client_height)
    : Container(Native(new FormWidget)) {
  QWidget* form = Widget(native());
  form->setObjectName(ToQt(name));
  form->setWindowTitle(ToQt(caption));
  form->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                       Qt::MSWindowsFixedSizeDialogHint);
  form->setFixedSize(client_width, client_height);
  form->setBackgroundRole(QPalette::Button);
  form->setAutoFillBackground(true);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPixelSize(kFontPixelSize);
  form->setFont(font);
  form->setAttribute(Qt::WA_QuitOnClose, false);
  Watch(form);
}

Form::~Form() { delete Widget(native()); }

void Form::SetCaption(std::string_view caption) {
  Widget(native())->setWindowTitle(ToQt(caption));
}

std::string Form::Caption() const { return FromQt(Widget(native())->windowTitle()); }

void Form::OnClose(Handler handler) { FormOf(*this)->on_close = std::move(handler); }

void Form::Close() { Widget(native())->close(); }

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

// ---- Control ----

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

void Control::BringToFront() { Widget(native_)->raise(); }

QWidget* QtWidget(const Control& control) { return Widget(control.native()); }

// ---- Containers and controls ----

namespace {

QFrame* NewPanel(QWidget* parent, Bevel bevel) {
  auto* frame = new QFrame(parent);
  if (bevel == Bevel::kLowered) {
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  } else {
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);  // lowered rim, raised inside
  }
  return frame;
}

QLabel* NewLabel(QWidget* parent, std::string_view caption, LabelStyle style) {
  auto* label = new QLabel(ToQt(caption), parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(style.word_wrap);
  label->setAlignment(Qt::AlignLeft |
                      (style.centre_vertically ? Qt::AlignVCenter : Qt::AlignTop));
  return label;
}

}  // namespace

Panel::Panel(Container& parent, std::string_view name, Bounds bounds, Bevel bevel)
    : Container(Place(NewPanel(ParentOf(parent), bevel), name, bounds)) {}

GroupBox::GroupBox(Container& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Container(Place(new QGroupBox(ToQt(caption), ParentOf(parent)), name, bounds)) {}

Label::Label(Container& parent, std::string_view name, Bounds bounds,
             std::string_view caption, LabelStyle style)
    : Control(Place(NewLabel(ParentOf(parent), caption, style), name, bounds)) {}

void Label::SetCaption(std::string_view caption) {
  auto* label = As<QLabel>(*this);
  label->setText(ToQt(caption));
  if (!label->wordWrap()) label->adjustSize();
}

std::string Label::Caption() const { return FromQt(As<QLabel>(*this)->text()); }

Button::Button(Container& parent, std::string_view name, Bounds bounds,
               std::string_view caption)
    : Control(Place(new QPushButton(ToQt(caption), ParentOf(parent)), name, bounds)) {
  As<QPushButton>(*this)->setAutoDefault(false);
}

void Button::SetCaption(std::string_view caption) {
  As<QPushButton>(*this)->setText(ToQt(caption));
}

std::string Button::Caption() const { return FromQt(As<QPushButton>(*this)->text()); }

void Button::OnClick(Handler handler) {
  auto* button = As<QPushButton>(*this);
  QObject::connect(button, &QPushButton::clicked, button,
                   [handler = std::move(handler)] { CallHandler(handler); });
}

Edit::Edit(Container& parent, std::string_view name, Bounds bounds, std::string_view text)
    : Control(Place(new QLineEdit(ToQt(text), ParentOf(parent)), name, bounds)) {}

void Edit::SetText(std::string_view text) { As<QLineEdit>(*this)->setText(ToQt(text)); }

std::string Edit::Text() const { return FromQt(As<QLineEdit>(*this)->text()); }

void Edit::OnChange(Handler handler) {
  auto* edit = As<QLineEdit>(*this);
  QObject::connect(edit, &QLineEdit::textChanged, edit,
                   [handler = std::move(handler)] { CallHandler(handler); });
}

ComboBox::ComboBox(Container& parent, std::string_view name, Bounds bounds,
                   const std::vector<std::string>& items, int visible_rows)
    : Control(Place(new QComboBox(ParentOf(parent)), name, bounds)) {
  auto* combo = As<QComboBox>(*this);
  for (const std::string& item : items) combo->addItem(ToQt(item));
  combo->setMaxVisibleItems(visible_rows);
  combo->setCurrentIndex(-1);
}

void ComboBox::SetItemIndex(int index) {
  auto* combo = As<QComboBox>(*this);
  combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int ComboBox::ItemIndex() const { return As<QComboBox>(*this)->currentIndex(); }

void ComboBox::OnChange(Handler handler) {
  auto* combo = As<QComboBox>(*this);
  QObject::connect(combo, &QComboBox::activated, combo,
                   [handler = std::move(handler)] { CallHandler(handler); });
}

CheckBox::CheckBox(Container& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Control(Place(new QCheckBox(ToQt(caption), ParentOf(parent)), name, bounds)) {}

void CheckBox::SetChecked(bool checked) { As<QCheckBox>(*this)->setChecked(checked); }
bool CheckBox::Checked() const { return As<QCheckBox>(*this)->isChecked(); }

ProgressBar::ProgressBar(Container& parent, std::string_view name, Bounds bounds,
                         int minimum, int maximum)
    : Control(Place(new QProgressBar(ParentOf(parent)), name, bounds)) {
  auto* bar = As<QProgressBar>(*this);
  bar->setRange(minimum, maximum);
  bar->setTextVisible(false);
  bar->setValue(minimum);
}

void ProgressBar::SetPosition(int position) { As<QProgressBar>(*this)->setValue(position); }
int ProgressBar::Position() const { return As<QProgressBar>(*this)->value(); }

StatusBar::StatusBar(Form& parent, std::string_view name, Bounds bounds)
    : Control(Place(new QStatusBar(ParentOf(parent)), name, bounds)) {
  As<QStatusBar>(*this)->setSizeGripEnabled(false);
}

void StatusBar::SetSimpleText(std::string_view text) {
  As<QStatusBar>(*this)->showMessage(ToQt(text));
}

std::string StatusBar::SimpleText() const {
  return FromQt(As<QStatusBar>(*this)->currentMessage());
}

// ---- Dialogs ----

FileDialog::FileDialog(Kind kind, std::string title, std::vector<FileFilter> filters)
    : kind_(kind), title_(std::move(title)), filters_(std::move(filters)) {}

bool FileDialog::Execute() {
  QFileDialog dialog(QApplication::activeWindow(), ToQt(title_), ToQt(initial_folder_));
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
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
  if (!file_name_.empty()) dialog.selectFile(ToQt(file_name_));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
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

  State(int& argc, char** argv) : qt((PreferQtDispatcher(), argc), argv) {}

  // A split pumps messages once per 32 KiB chunk, tens of thousands of
  // times a second; Qt's own event dispatcher does a pump in a fraction of
  // the time of the GLib one, and nothing here needs GLib's main loop.
  static void PreferQtDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  }
};

Application::Application(int& argc, char** argv)
    : state_(std::make_unique<State>(argc, argv)) {
  state_->qt.setQuitOnLastWindowClosed(false);
  the_application = this;
}

Application::~Application() { the_application = nullptr; }

Application& Application::Instance() { return *the_application; }

void Application::SetTitle(std::string_view title) {
  state_->title = title;
  QApplication::setApplicationDisplayName(ToQt(title));
}

std::string Application::Title() const { return state_->title; }

void Application::Run(Form& main_form) {
  QWidget* form = Widget(main_form.native());
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  form->move(screen.center() - form->rect().center());
  form->show();
  // A close during a nested message pump only hides the form; the loop
  // ends when control comes back here.
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
  QMessageBox box(QtIcon(icon), ToQt(title), ToQt(text),
                  retry_cancel ? QMessageBox::Retry | QMessageBox::Cancel : QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  if (!detail.empty()) box.setInformativeText(ToQt(detail));
  box.setEscapeButton(retry_cancel ? QMessageBox::Cancel : QMessageBox::Ok);
  switch (box.exec()) {
    case QMessageBox::Retry: return MessageAnswer::kRetry;
    case QMessageBox::Cancel: return MessageAnswer::kCancel;
    default: return MessageAnswer::kOk;
  }
}

void Application::ShowException(const Exception& error) {
  MessageBox(StandardErrorText(error.what()), state_->title, MessageIcon::kError,
             MessageButtons::kOk);
}

}  // namespace zelbo::toolkit
