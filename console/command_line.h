// The console program's command line: the request it describes, the usage
// text and the exit codes with which every run ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelbo::console {

// The unit in which a part size was given, for the messages about it.
enum class SizeUnit { kBytes, kKbytes, kMbytes };

// What the command line asks for. 0 means "not given" for both numbers.
struct SplitRequest {
  std::string sourcePath;
  std::int64_t partSize = 0;   // bytes per part
  std::int32_t partCount = 0;  // number of equal parts; outranks partSize
  SizeUnit unit = SizeUnit::kBytes;
  bool digests = true;  // -nd: none; the scripts then check sizes only
  bool flush = true;    // -nf: do not wait until the parts are on the medium
};

enum class ExitStatus : int {
  kSuccess = 0,
  kParameterError = 1,
  kImpossiblePartSize = 2,
  kFileError = 3,
  kOpenFileError = 4,
  kBatchFileError = 5,
};

enum class ParseVerdict {
  kRun,        // a complete request
  kUsage,      // fewer than two arguments
  kNoFile,     // no source path among the arguments
  kNoSize,     // neither a part size nor a part count
  kBadNumber,  // a negative number, or one too large for a byte count
  kHelp,       // --help
  kVersion,    // --version
};

struct ParsedCommandLine {
  ParseVerdict verdict = ParseVerdict::kUsage;
  SplitRequest request;
  std::string offending_argument;  // for kBadNumber
};

// Reads the arguments (without the program name). Options start with '-',
// and also with '/' when `slash_options` is set (Windows).
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   bool slash_options);

// The usage text and the exit-code list, as printed.
std::string UsageText(bool slash_options);

// The one line that --version prints.
std::string VersionLine();

}  // namespace zelbo::console
