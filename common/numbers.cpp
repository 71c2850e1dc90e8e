#include "common/numbers.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace zelbo {

LeadingNumber ReadLeadingNumber(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Accumulated as a negative number, whose range reaches one further.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  LeadingNumber number;
  std::int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const int digit = text[at] - '0';
    if (value < (kMin + digit) / 10) {
      number.overflow = true;
      value = kMin;
      break;
    }
    value = value * 10 - digit;
  }
  if (negative) {
    number.value = value;
  } else if (value == kMin) {
    number.overflow = true;
    number.value = std::numeric_limits<std::int64_t>::max();
  } else {
    number.value = -value;
  }
  return number;
}

std::string DecimalText(std::int64_t value, char separator) {
  static constexpr char kDigits[] = "0123456789";
  // The magnitude as unsigned, so that the smallest value has one too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  std::string text;
  int digits = 0;
  do {
    if (separator != '\0' && digits > 0 && digits % 3 == 0) text.push_back(separator);
    text.push_back(kDigits[magnitude % 10]);
    magnitude /= 10;
    ++digits;
  } while (magnitude != 0);
  if (value < 0) text.push_back('-');
  std::reverse(text.begin(), text.end());
  return text;
}

}  // namespace zelbo
