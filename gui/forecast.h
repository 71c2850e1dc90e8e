// Size planning for the windowed program: the planning record, the amount
// and unit the user typed, and the forecast text that tells what a split
// will produce (or why it can't) with transfer times per part. Plain
// functions over plain values; the window only reads and shows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelbo::gui {

// The program's one planning record.
struct SplitPlan {
  std::string sourceFile;      // as the open dialog returned it
  std::int64_t sourceSize = 0; // bytes; 0 or less: nothing to plan
  std::int64_t partSize = 0;   // bytes when the plan is valid, else the amount
  std::int32_t partCount = 0;  // the count the forecast names
};

// The entries of the unit list, by index.
enum class SizeUnit : int { kParts = 0, kBytes = 1, kKbytes = 2, kMbytes = 3 };

inline constexpr std::int64_t kKbyte = 1024;
inline constexpr std::int64_t kMbyte = 1024 * 1024;

// Decimal text with a comma between groups of three digits ("-1,000").
std::string SizeToText(std::int64_t value);

// The amount text read as a signed 32-bit decimal: leading white space,
// one optional sign, digits up to the first other character; no digits
// read as 0. A number beyond the 32-bit range reads as the nearest limit.
std::int32_t ReadAmount(std::string_view text);

// "\nEstimated transfer times per part HH:MM:\n   Modem: ..., ISDN: ...,
// DSL/LAN: <..." for one part of `partSize` bytes.
std::string TransferTimesText(std::int64_t partSize);

// What one recomputation of the forecast yields.
struct Forecast {
  bool changes = false;  // false: no source size, plan and label stay
  std::int64_t partSize = 0;
  std::optional<std::int32_t> partCount;  // empty: the count stays
  std::string label;
  bool runnable = false;  // a split may start on this plan
};

// The forecast for an amount text and unit index (an index outside the
// four units means no unit is selected) on a source of `sourceSize` bytes.
Forecast ComputeForecast(std::string_view amountText, int unitIndex,
                         std::int64_t sourceSize);

// Puts a forecast's part size and count into the plan.
void ApplyForecast(const Forecast& forecast, SplitPlan& plan);

}  // namespace zelbo::gui
