#include "common/part_names.h"

namespace zelbo {

std::string PartNumber(std::int32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return digits;
}

std::string PartFileName(std::string_view base_path, std::int32_t number) {
  const std::string digits = PartNumber(number);
  std::string path;
  path.reserve(base_path.size() + 1 + digits.size());
  path.append(base_path).append(1, '.').append(digits);
  return path;
}

// Built by appending to one reserved string: GCC 12 at -O3 warns falsely
// (-Wrestrict) about the chain of operator+ that would read more naturally.
std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.push_back('"');
  quoted.append(text);
  quoted.push_back('"');
  return quoted;
}

bool IsLongName(std::string_view name, std::string_view extension) {
  constexpr auto has_blank = [](std::string_view text) {
    return text.find(' ') != std::string_view::npos;
  };
  return has_blank(name) || name.size() > 8 || has_blank(extension) ||
         extension.size() > 4;
}

}  // namespace zelbo
