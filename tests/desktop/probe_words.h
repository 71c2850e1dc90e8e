// The words of the probe's line protocol, the same on both of its ends
// (the Windows probe and the Linux driver): fields separated by tabs, with
// \, tab and line feed escaped inside a field (a carriage return is
// dropped, as boxes end their lines with it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelbo::testing::probe {

inline std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c != '\r') out += c;
  }
  return out;
}

inline std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A line's fields, unescaped; an empty last field counts too.
inline std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace zelbo::testing::probe
