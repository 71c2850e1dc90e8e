// Numbers as both programs read and print them: one decimal reader, one
// decimal writer, one rounded-up division.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelbo {

// A decimal number read the way the C library reads a long, at 64-bit
// width: leading white space, one optional sign, digits up to the first
// other character; text without digits reads as 0. A number beyond the
// 64-bit range reads as the nearest limit, with `overflow` set.
struct LeadingNumber {
  std::int64_t value = 0;
  bool overflow = false;
};
LeadingNumber ReadLeadingNumber(std::string_view text);

// Decimal digits, a leading '-' for negative values, and `separator`
// (when not '\0') between groups of three digits: "-1,000". Every 64-bit
// value converts, the smallest one included.
std::string DecimalText(std::int64_t value, char separator = '\0');

// `dividend` / `divisor` rounded up, for dividend >= 0 and divisor > 0.
constexpr std::int64_t CeilDiv(std::int64_t dividend, std::int64_t divisor) {
  return dividend / divisor + (dividend % divisor != 0 ? 1 : 0);
}

}  // namespace zelbo
