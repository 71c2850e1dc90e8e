// The console program's own helpers around paths and numbers: measuring a
// file, printing a size, and showing a name on the terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>


namespace zelbo::console {

// The size of the file at `path` in bytes, or -1 when the calling user may
// not read it, it cannot be opened (a directory, a FIFO), or the size query
// fails.
std::int64_t getthefilesize(const std::string& path);

// Decimal text without separators; a leading '-' for negative values.
std::string LongLongToStr(std::int64_t value);

// A name as it is printed: byte for byte, except that control characters
// (which could move the cursor or retitle the terminal) are shown as
// escapes such as \x1b.
std::string ShownName(std::string_view name);

}  // namespace zelbo::console
