// The parts of the toolkit layer that every backend shares.
#include "platform/toolkit.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

namespace zelbo::toolkit {

namespace {

// The event handlers running now: more than one while a handler pumps
// messages (a split run) and another one fires from inside that pump.
int running_handlers = 0;

// An exception other than Exception that escaped a handler: it travels on
// from the message loop, outside the system's own frames.
std::exception_ptr escaped;

// Runs a handler; false when an exception escaped it.
bool Guarded(const Handler& handler) {
  try {
    return CallHandler(handler);
  } catch (...) {
    if (!escaped) escaped = std::current_exception();
    return false;
  }
}

// The standard error box's text: the message, with a full stop appended
// when its last character has a code above that of the full stop.
std::string StandardErrorText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
  return text;
}

}  // namespace

void RethrowEscaped() {
  if (std::exception_ptr error = std::exchange(escaped, nullptr)) std::rethrow_exception(error);
}

bool CallHandler(const Handler& handler) {
  try {
    handler();
    return true;
  } catch (const Exception& error) {
    Application::Instance().ShowException(error);
    return false;
  }
}

// Fonts are chosen in whole points; their heights in pixels are rounded.
double FontScale(double points) {
  constexpr double kDrawnForPoints = 9;
  return std::max(1.0, std::round(points) / kDrawnForPoints);
}

Control::Control(const Control& parent, ControlKind kind, std::string_view name, Bounds bounds,
                 std::string_view text)
    : form_(parent.form_),
      parent_(&parent),
      kind_(kind),
      bounds_{parent.bounds_.left + bounds.left, parent.bounds_.top + bounds.top, bounds.width,
              bounds.height} {
  Create(name, text);
  if (kind == ControlKind::kStatusBar) form_->status_bar_ = this;
}

void Control::SetHint(std::string_view hint) {
  hint_ = hint;
  if (kind_ != ControlKind::kForm && kind_ != ControlKind::kStatusBar) ShowTooltip();
}

const std::string& Control::ShownHint() const {
  const Control* control = this;
  while (control->hint_.empty() && control->parent_ != nullptr) control = control->parent_;
  return control->hint_;
}

void Control::Fire() {
  if (handler_) form_->RunHandler(handler_);
}

void Form::RunHandler(const Handler& handler) {
  ++running_handlers;
  Guarded(handler);
  if (--running_handlers == 0 && std::exchange(close_waiting_, false)) {
    closing_after_handler_ = true;
    Close();
  }
}

bool Form::MayClose() {
  if (std::exchange(closing_after_handler_, false)) return true;  // its handler has fired
  if (on_close_ && !Guarded(on_close_)) return false;
  // Closing now would leave the running handler (a split run) without its
  // progress and its Cancel button, and its last box alone.
  close_waiting_ = running_handlers > 0;
  return !close_waiting_;
}

bool Form::PressCancel() {
  if (cancel_button_ == nullptr || !cancel_button_->Enabled()) return false;
  cancel_button_->Fire();
  return true;
}

bool Form::TakesDrop(const std::string& path) const {
  return drops_enabled_ && on_file_drop_ && takes_drop_ && takes_drop_(path);
}

void Form::Drop(const std::string& path) {
  if (TakesDrop(path)) RunHandler([&] { on_file_drop_(path); });
}

void Form::ShowHint(const Control& control) {
  if (status_bar_ != nullptr) status_bar_->SetText(control.ShownHint());
}

void Application::ShowException(const Exception& error) {
  MessageBox(StandardErrorText(error.what()), title_, MessageIcon::kError, MessageButtons::kOk,
             error.detail());
}

}  // namespace zelbo::toolkit
