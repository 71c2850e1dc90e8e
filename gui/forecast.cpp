#include "gui/forecast.h"

#include <algorithm>
#include <limits>

#include "common/numbers.h"

namespace zelbo::gui {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// Bytes per minute of the three kinds of line the forecast times.
constexpr std::int64_t kModemBytesPerMinute = 184320;
constexpr std::int64_t kIsdnBytesPerMinute = 430000;
constexpr std::int64_t kDslBytesPerMinute = 6144000;

// "H:MM" with the minute field running from 01 to 60: one is added to the
// whole minutes left over, as the forecast has always shown it.
std::string HoursAndMinutes(std::int64_t partSize, std::int64_t bytesPerMinute) {
  const std::int64_t minutes = partSize / bytesPerMinute;
  const std::int64_t field = minutes % 60 + 1;
  return std::to_string(minutes / 60) + ":" + (field < 10 ? "0" : "") + std::to_string(field);
}

std::string Sentence(std::int64_t count, std::int64_t shownSize, std::string_view unitWord) {
  return "The file will be split into " + std::to_string(count) + " parts of " +
         SizeToText(shownSize) + " " + std::string(unitWord) + ".";
}

// Fills in the plan for the units that give a part size.
void PlanBySize(Forecast& forecast, SizeUnit unit, std::int64_t sourceSize) {
  static constexpr std::int64_t kBytesPerUnit[] = {0, 1, kKbyte, kMbyte};
  static constexpr std::string_view kUnitWords[] = {"", "bytes", "kilobytes", "megabytes"};
  const auto index = static_cast<int>(unit);
  forecast.partSize *= kBytesPerUnit[index];
  const std::int64_t count = CeilDiv(sourceSize, forecast.partSize);
  if (count > kInt32Max) {
    forecast.label = "You need at most " + SizeToText(kInt32Max) + " parts!";
    return;
  }
  forecast.partCount = static_cast<std::int32_t>(count);
  forecast.label = Sentence(count, forecast.partSize / kBytesPerUnit[index], kUnitWords[index]) +
                   TransferTimesText(forecast.partSize);
  forecast.runnable = true;
}

void PlanByCount(Forecast& forecast, std::int64_t sourceSize) {
  const std::int64_t count = forecast.partSize;
  forecast.partCount = static_cast<std::int32_t>(count);
  if (count < 2) {
    forecast.label = "You need at least two parts!";
    return;
  }
  forecast.partSize = CeilDiv(sourceSize, count);
  forecast.label = Sentence(count, forecast.partSize, "bytes") +
                   TransferTimesText(forecast.partSize);
  forecast.runnable = true;
}

}  // namespace

std::string SizeToText(std::int64_t value) { return DecimalText(value, ','); }

std::int32_t ReadAmount(std::string_view text) {
  return static_cast<std::int32_t>(std::clamp(ReadLeadingNumber(text).value, kInt32Min, kInt32Max));
}

std::string TransferTimesText(std::int64_t partSize) {
  return "\nEstimated transfer times per part HH:MM:\n   Modem: " +
         HoursAndMinutes(partSize, kModemBytesPerMinute) +
         ", ISDN: " + HoursAndMinutes(partSize, kIsdnBytesPerMinute) +
         ", DSL/LAN: <" + HoursAndMinutes(partSize, kDslBytesPerMinute);
}

Forecast ComputeForecast(std::string_view amountText, int unitIndex,
                         std::int64_t sourceSize) {
  Forecast forecast;
  if (sourceSize <= 0) return forecast;
  forecast.changes = true;
  forecast.partSize = ReadAmount(amountText);
  if (forecast.partSize <= 0) {
    forecast.label = "You need at least an amount of 1!";
    return forecast;
  }
  if (unitIndex == static_cast<int>(SizeUnit::kParts)) {
    PlanByCount(forecast, sourceSize);
  } else if (unitIndex >= static_cast<int>(SizeUnit::kBytes) &&
             unitIndex <= static_cast<int>(SizeUnit::kMbytes)) {
    PlanBySize(forecast, static_cast<SizeUnit>(unitIndex), sourceSize);
  } else {
    forecast.label = "Select the units for the parts!";
  }
  if (forecast.partSize > sourceSize) {
    forecast.label = "WARNING: partsize bigger than filesize!";
    forecast.runnable = false;
  }
  return forecast;
}

void ApplyForecast(const Forecast& forecast, SplitPlan& plan) {
  if (!forecast.changes) return;
  plan.partSize = forecast.partSize;
  if (forecast.partCount) plan.partCount = *forecast.partCount;
}

}  // namespace zelbo::gui
