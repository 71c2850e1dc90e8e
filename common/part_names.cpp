#include "common/part_names.h"

namespace zelbo {

std::string PartFileName(std::string_view base_path, std::int32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  std::string path;
  path.reserve(base_path.size() + 1 + digits.size());
  path.append(base_path).append(1, '.').append(digits);
  return path;
}

bool IsLongName(std::string_view name, std::string_view extension) {
  constexpr auto has_blank = [](std::string_view text) {
    return text.find(' ') != std::string_view::npos;
  };
  return has_blank(name) || name.size() > 8 || has_blank(extension) ||
         extension.size() > 4;
}

}  // namespace zelbo
