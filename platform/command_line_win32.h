// How the C runtime of Windows splits a command line into arguments. A
// Windows program receives its command line as one UTF-16 text; splitting it
// here (instead of taking argv, which holds only what the ANSI code page
// can) keeps every name whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelbo::platform::win32 {

struct CommandLineWord {
  std::wstring text;
  bool quoted = false;  // a double quote took part: no wildcard expansion
};

// Splits a whole command line, the program name first, and returns the
// arguments after the program name. The program name ends at the closing
// quote or the first blank; arguments are separated by blanks and tabs
// outside double quotes. 2n backslashes before a quote give n backslashes
// and the quote opens or closes a quoted stretch; 2n+1 give n backslashes
// and a literal quote; inside a quoted stretch "" gives one literal quote.
// Other backslashes are ordinary characters.
std::vector<CommandLineWord> SplitCommandLine(std::wstring_view line);

}  // namespace zelbo::platform::win32
