// Paths and sizes as the windowed program shows and derives them: the
// shortened path display, the scaled size
// text, and the batch name proposed for a source.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace zelbo::gui {

// The path itself up to 60 bytes; a longer one as drive, "...", the
// separator, name and extension ("C:...\beach-2005.avi").
std::string SourcePathDisplay(std::string_view path,
                              const platform::PathStyle& style = platform::NativePathStyle());

// The whole path with the mark of a source that could not be opened.
std::string OpenErrorDisplay(std::string_view path);

// The size scaled to bytes, kbytes, ... Tbytes with one decimal, then the
// exact count: "3.5 Mbytes. (3,670,016 bytes)".
std::string SourceSizeText(std::int64_t size);

// The source's name without folder and last extension, with ".BAT".
std::string ProposedBatchName(std::string_view sourceFile,
                              const platform::PathStyle& style = platform::NativePathStyle());

}  // namespace zelbo::gui
