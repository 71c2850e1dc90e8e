#include "console/command_line.h"

#include <cctype>
#include <limits>

#include "common/numbers.h"

#ifndef ZELBO_VERSION
#error "ZELBO_VERSION must be set by the build"
#endif

namespace zelbo::console {
namespace {

constexpr std::int64_t kKilobyte = 1024;
constexpr std::int64_t kMegabyte = 1024 * 1024;

// The media presets, in bytes.
constexpr std::int64_t kFloppyBytes = 1400 * kKilobyte;
constexpr std::int64_t kZipBytes = 98 * kMegabyte;
constexpr std::int64_t kCdBytes = 700 * kMegabyte;
constexpr std::int64_t kDvdBytes = 4700 * kMegabyte;

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// A number given to an option: neither negative nor, once multiplied by its
// unit, beyond what a 64-bit byte count holds.
std::optional<std::int64_t> OptionNumber(std::string_view text, std::int64_t unit,
                                         std::int64_t limit) {
  const LeadingNumber number = ReadLeadingNumber(text);
  if (number.overflow || number.value < 0 || number.value > limit / unit) return std::nullopt;
  return number.value * unit;
}

// Applies one option to the request; false when its number is unusable.
bool ApplyOption(std::string_view option, SplitRequest& request) {
  if (option.size() == 3 && Lower(option[1]) == 'n') {
    if (Lower(option[2]) == 'd') request.digests = false;
    if (Lower(option[2]) == 'f') request.flush = false;
    return true;
  }
  if (option.size() < 2 || Lower(option[1]) != 's') return true;  // not ours: ignored
  constexpr std::int64_t kAnySize = std::numeric_limits<std::int64_t>::max();
  const char letter = option.size() > 2 ? Lower(option[2]) : '\0';
  std::optional<std::int64_t> size;
  SizeUnit unit = SizeUnit::kMbytes;
  switch (letter) {
    case 'c': size = kCdBytes; break;
    case 'd': size = kDvdBytes; break;
    case 'f': size = kFloppyBytes; unit = SizeUnit::kKbytes; break;
    case 'z': size = kZipBytes; break;
    case 'k': size = OptionNumber(option.substr(3), kKilobyte, kAnySize); unit = SizeUnit::kKbytes; break;
    case 'm': size = OptionNumber(option.substr(3), kMegabyte, kAnySize); break;
    case 'p': {
      const auto count =
          OptionNumber(option.substr(3), 1, std::numeric_limits<std::int32_t>::max());
      if (!count) return false;
      request.partCount = static_cast<std::int32_t>(*count);
      return true;
    }
    default: size = OptionNumber(option.substr(2), 1, kAnySize); unit = SizeUnit::kBytes; break;
  }
  if (!size) return false;
  request.partSize = *size;
  request.unit = unit;
  return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   bool slash_options) {
  ParsedCommandLine parsed;
  for (const std::string& argument : arguments) {
    if (argument == "--help") return {ParseVerdict::kHelp, {}, {}};
    if (argument == "--version") return {ParseVerdict::kVersion, {}, {}};
  }
  if (arguments.size() < 2) return parsed;  // kUsage
  for (const std::string& argument : arguments) {
    const bool is_option =
        !argument.empty() && (argument[0] == '-' || (slash_options && argument[0] == '/'));
    if (!is_option) {
      parsed.request.sourcePath = argument;  // the last path wins
    } else if (!ApplyOption(argument, parsed.request)) {
      parsed.verdict = ParseVerdict::kBadNumber;
      parsed.offending_argument = argument;
      return parsed;
    }
  }
  if (parsed.request.sourcePath.empty()) {
    parsed.verdict = ParseVerdict::kNoFile;
  } else if (parsed.request.partSize == 0 && parsed.request.partCount == 0) {
    parsed.verdict = ParseVerdict::kNoSize;
  } else {
    parsed.verdict = ParseVerdict::kRun;
  }
  return parsed;
}

std::string UsageText(bool slash_options) {
  std::string text;
  text += "CZELBO32 " ZELBO_VERSION " - cuts a file into numbered parts and writes scripts to join them\n";
  text += "This version supports files up to 8 million terrabytes large\n";
  text += "Usage:\n";
  text += "\tCZELBO32  filename {-sSizebytes|-skSizekb|-smSizemb|-spSizeparts|-sf|-sz|-sc|-sd} [-nd] [-nf]\n";
  text += "\tWhere:\n";
  text += "\t\t-s to specify the size in sizebytes bytes\n";
  text += "\t\t-sk to specify the size in sizekb kilobytes\n";
  text += "\t\t-sm to specify the size in sizemb megabytes\n";
  text += "\t\t-sf to specify the size of a 1.44 floppy\n";
  text += "\t\t-sz to specify the size of a 100MB Iomega Zip\n";
  text += "\t\t-sc to specify the size of a 700MB CD\n";
  text += "\t\t-sd to specify the size of a 4700MB DVD\n";
  text += "\t\t-sp is to split in equal sizeparts\n";
  text += "\t\t-nd for no digests: the scripts check the sizes of the parts only\n";
  text += "\t\t-nf for no flush: do not wait until the parts are on the disk\n";
  text += slash_options
              ? "\tOptions are not case sensitive and may be specified with - or with /\n"
              : "\tOptions are not case sensitive and must be specified with -\n";
  text += "\n";
  text +=
      "Possible return codes\n"
      "\tSuccess              0\n"
      "\tParameter error      1\n"
      "\tImpossible partsize  2\n"
      "\tFile error           3\n"
      "\tOpen file error      4\n"
      "\tError on batch file  5\n";
  return text;
}

std::string VersionLine() { return "CZELBO32 " ZELBO_VERSION "\n"; }

}  // namespace zelbo::console
