#include "console/path_helpers.h"

#include "common/numbers.h"
#include "platform/file.h"

namespace zelbo::console {
namespace {

void AppendEscape(std::string& text, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  text.append("\\x").append(1, kHex[value >> 4]).append(1, kHex[value & 0xf]);
}

}  // namespace

std::int64_t getthefilesize(const std::string& path) {
  if (!platform::IsReadable(path)) return -1;
  auto file = platform::InputFile::Open(path);
  if (!file.ok()) return -1;
  auto size = file.value().Size();
  return size.ok() ? size.value() : -1;
}

std::string LongLongToStr(std::int64_t value) { return DecimalText(value); }

std::string ShownName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    // C1 controls in UTF-8: U+0080..U+009F are 0xC2 0x80..0x9F.
    const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                    static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F) {
      AppendEscape(shown, byte);
    } else if (c1) {
      AppendEscape(shown, byte);
      AppendEscape(shown, static_cast<unsigned char>(name[++i]));
    } else {
      shown.push_back(name[i]);
    }
  }
  return shown;
}

}  // namespace zelbo::console
