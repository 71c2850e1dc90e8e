#include "platform/command_line_win32.h"

namespace zelbo::platform::win32 {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<CommandLineWord> SplitCommandLine(std::wstring_view line) {
  std::size_t at = 0;
  // The program name: quotes group, backslashes are plain (a path).
  for (bool in_quotes = false; at < line.size(); ++at) {
    if (line[at] == L'"') {
      in_quotes = !in_quotes;
    } else if (IsBlank(line[at]) && !in_quotes) {
      break;
    }
  }

  std::vector<CommandLineWord> words;
  for (;;) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) return words;
    CommandLineWord word;
    bool in_quotes = false;
    while (at < line.size() && (in_quotes || !IsBlank(line[at]))) {
      std::size_t backslashes = 0;
      while (at < line.size() && line[at] == L'\\') {
        ++backslashes;
        ++at;
      }
      if (at < line.size() && line[at] == L'"') {
        word.text.append(backslashes / 2, L'\\');
        word.quoted = true;
        if (backslashes % 2 == 1) {
          word.text.push_back(L'"');
        } else if (in_quotes && at + 1 < line.size() && line[at + 1] == L'"') {
          word.text.push_back(L'"');
          ++at;
        } else {
          in_quotes = !in_quotes;
        }
        ++at;
      } else {
        word.text.append(backslashes, L'\\');
        if (at < line.size() && (in_quotes || !IsBlank(line[at]))) word.text.push_back(line[at++]);
      }
    }
    words.push_back(std::move(word));
  }
}

}  // namespace zelbo::platform::win32
