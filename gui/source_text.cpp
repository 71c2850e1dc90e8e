#include "gui/source_text.h"

#include <array>
#include <cstdio>

#include "common/paths.h"
#include "gui/forecast.h"

namespace zelbo::gui {
namespace {

constexpr std::size_t kLongestShownPath = 60;

}  // namespace

std::string SourcePathDisplay(std::string_view path, const platform::PathStyle& style) {
  if (path.size() <= kLongestShownPath) return std::string(path);
  const PathPieces pieces = fnsplit(path, style);
  return pieces.drive + "..." + style.preferred + pieces.name + pieces.extension;
}

std::string OpenErrorDisplay(std::string_view path) {
  return std::string(path) + ", WARNING: OPEN ERROR";
}

std::string SourceSizeText(std::int64_t size) {
  static constexpr std::array<const char*, 5> kUnits = {" bytes.", " kbytes.", " Mbytes.",
                                                        " Gbytes.", " Tbytes."};
  // Scaled in double precision and shown after adding 0.05, which is why a
  // whole value shows .0 or .1 depending on how the sum is represented.
  double scaled = static_cast<double>(size);
  std::size_t unit = 0;
  while (unit + 1 < kUnits.size() && scaled * (1.0 / 1024.0) >= 1.0) {
    scaled *= 1.0 / 1024.0;
    ++unit;
  }
  const int length = std::snprintf(nullptr, 0, "%.1f", scaled + 0.05);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.1f", scaled + 0.05);
  text.pop_back();
  return text + kUnits[unit] + " (" + SizeToText(size) + " bytes)";
}

std::string ProposedBatchName(std::string_view sourceFile, const platform::PathStyle& style) {
  return fnsplit(sourceFile, style).name + ".BAT";
}

}  // namespace zelbo::gui
