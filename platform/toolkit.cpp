// The parts of the toolkit layer that every backend shares.
#include "platform/toolkit.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace zelbo::toolkit {

namespace fs = std::filesystem;

bool CallHandler(const Handler& handler) {
  try {
    handler();
    return true;
  } catch (const Exception& error) {
    Application::Instance().ShowException(error);
    return false;
  }
}

std::string StandardErrorText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text.push_back('.');
  return text;
}

// Fonts are chosen in whole points; their heights in pixels are rounded.
double FontScale(double points) {
  constexpr double kDrawnForPoints = 9;
  return std::max(1.0, std::round(points) / kDrawnForPoints);
}

std::string AccessibleName(std::string_view caption) {
  while (!caption.empty() && (caption.back() == ':' || caption.back() == ' ')) {
    caption.remove_suffix(1);
  }
  return std::string(caption);
}

namespace {

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// A file this user may not replace: one that no one may write (its owner
// marked it so; the administrator could still write it), or one that this
// user cannot open for writing. Opening it to append changes nothing in it.
bool IsReadOnly(const fs::path& file) {
  constexpr fs::perms kAnyWrite = fs::perms::owner_write | fs::perms::group_write |
                                  fs::perms::others_write;
  if ((fs::status(file).permissions() & kAnyWrite) == fs::perms::none) return true;
  return !std::ofstream(file, std::ios::binary | std::ios::app).is_open();
}

// Whether this user can create a file in the folder, tried with a file of
// a name of our own that is removed again at once.
bool CanCreateFilesIn(const fs::path& folder) {
  const fs::path trial = folder / ".zelbo-write-trial";
  std::error_code error;
  if (fs::exists(trial, error)) return true;  // someone's: left as it is
  const bool created = std::ofstream(trial, std::ios::binary).is_open();
  fs::remove(trial, error);
  return created;
}

}  // namespace

std::string SaveRefusal(const std::string& path) {
  const fs::path file = PathOf(path);
  std::error_code error;
  if (!fs::is_directory(file.parent_path(), error)) {
    return path + "\nThe folder does not exist.\nCheck the path and try again.";
  }
  if (fs::is_regular_file(file, error) && IsReadOnly(file)) {
    return path + "\nThis file is read-only.\nTry again with a different name.";
  }
  if (!CanCreateFilesIn(file.parent_path())) {
    return path + "\nYou cannot write to this folder.\nChoose another folder.";
  }
  return {};
}

Control::Control(const Control& parent, ControlKind kind, std::string_view name, Bounds bounds,
                 std::string_view text)
    : native_(nullptr), left_(parent.left_ + bounds.left), top_(parent.top_ + bounds.top) {
  native_ = Create(parent.native_, kind, name, {left_, top_, bounds.width, bounds.height}, text);
}

Panel::Panel(const Control& parent, std::string_view name, Bounds bounds, Bevel bevel)
    : Control(parent, bevel == Bevel::kLowered ? ControlKind::kPanel : ControlKind::kEtchedPanel,
              name, bounds, {}) {}

GroupBox::GroupBox(const Control& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Control(parent, ControlKind::kGroupBox, name, bounds, caption) {}

Label::Label(const Control& parent, std::string_view name, Bounds bounds, std::string_view caption)
    : Control(parent, ControlKind::kLabel, name, bounds, caption) {}

Button::Button(const Control& parent, std::string_view name, Bounds bounds,
               std::string_view caption)
    : Control(parent, ControlKind::kButton, name, bounds, caption) {}

Edit::Edit(const Control& parent, std::string_view name, Bounds bounds, std::string_view text)
    : Control(parent, ControlKind::kEdit, name, bounds, text) {}

CheckBox::CheckBox(const Control& parent, std::string_view name, Bounds bounds,
                   std::string_view caption)
    : Control(parent, ControlKind::kCheckBox, name, bounds, caption) {}

StatusBar::StatusBar(const Form& parent, std::string_view name, Bounds bounds)
    : Control(parent, ControlKind::kStatusBar, name, bounds, {}) {}

}  // namespace zelbo::toolkit
