#include "common/scripts.h"

#include <algorithm>

#include "common/part_names.h"
#include "platform/system.h"

#ifndef ZELBO_WEB_ADDRESS
#error "ZELBO_WEB_ADDRESS must be set by the build"
#endif

namespace zelbo {
namespace {

constexpr std::string_view kBanner = "ZELBO Written By Odric Vallen";

std::string BannerLine(ScriptVariant variant) {
  std::string line(kBanner);
  if (variant == ScriptVariant::kWindowed) {
    line.append(", ").append(MakerWebAddress()).append(".");
  }
  return line;
}

// Appends lines, each ended by the script's own line end.
class ScriptBuilder {
 public:
  explicit ScriptBuilder(std::string_view line_end) : line_end_(line_end) {}

  template <typename... Pieces>
  ScriptBuilder& Line(const Pieces&... pieces) {
    (text_.append(pieces), ...);
    text_.append(line_end_);
    return *this;
  }

  template <std::size_t N>
  ScriptBuilder& Lines(const std::string_view (&lines)[N]) {
    for (const std::string_view line : lines) Line(line);
    return *this;
  }

  std::string Take() { return std::move(text_); }

 private:
  std::string_view line_end_;
  std::string text_;
};

// What the join of one set is checked against: the size of each part and
// the size of part 1 once parts 1..j are in it (totals[j - 1]).
struct PartSizes {
  std::vector<std::int64_t> sizes;
  std::vector<std::int64_t> totals;

  explicit PartSizes(const std::vector<std::int64_t>& written)
      : sizes(written.empty() ? std::vector<std::int64_t>{0} : written) {
    std::int64_t total = 0;
    for (const std::int64_t size : sizes) totals.push_back(total += size);
  }
  std::int32_t count() const { return static_cast<std::int32_t>(sizes.size()); }
  std::int64_t Size(std::int32_t number) const { return sizes[static_cast<std::size_t>(number - 1)]; }
  std::int64_t Total(std::int32_t number) const { return totals[static_cast<std::size_t>(number - 1)]; }
  // The largest of the parts from `number` on (the last of them, if several).
  std::int32_t LargestFrom(std::int32_t number) const {
    std::int32_t largest = count();
    for (std::int32_t j = count() - 1; j >= number; --j) {
      if (Size(j) > Size(largest)) largest = j;
    }
    return largest;
  }
};

// ---------------------------------------------------------------- batch

// cmd expands %NAME% even inside double quotes; %% stands for one '%'.
std::string BatchName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    if (c == '%') out.push_back('%');
    out.push_back(c);
  }
  return out;
}

// The texts in which cmd's %~z may give `size`: Windows gives all of it,
// wine's cmd only its low 32 bits.
std::vector<std::string> SizeForms(std::int64_t size) {
  std::vector<std::string> forms{std::to_string(size)};
  const std::uint64_t low = static_cast<std::uint64_t>(size) & 0xffffffffu;
  if (low != static_cast<std::uint64_t>(size)) forms.push_back(std::to_string(low));
  return forms;
}

// The IF conditions under which the variable holds none of the forms of `size`.
std::string IfSizeIsNot(std::string_view variable, std::int64_t size) {
  std::string conditions;
  for (const std::string& form : SizeForms(size)) {
    conditions.append("IF NOT \"%").append(variable).append("%\"==\"").append(form).append("\" ");
  }
  return conditions;
}

// One line per form of `size`: `before`IF "%variable%"=="form" `command`.
void IfSizeIs(ScriptBuilder& batch, std::string_view before, std::string_view variable,
              std::int64_t size, std::string_view command) {
  for (const std::string& form : SizeForms(size)) {
    batch.Line(before, "IF \"%", variable, "%\"==\"", form, "\" ", command);
  }
}

// Sets the variable to the size of the quoted file, or to nothing when
// there is no such file.
std::string Measure(std::string_view variable, std::string_view quoted_file) {
  return "SET \"" + std::string(variable) + "=\" & FOR %%F IN (" + std::string(quoted_file) +
         ") DO SET \"" + std::string(variable) + "=%%~zF\"";
}

// The texts of a set's names as the batch writes them.
struct BatchWords {
  std::string base;    // the parts' base name, '%' doubled
  std::string first;   // part 1, quoted
  std::string source;  // the restored name, quoted
  std::string Part(std::int32_t number) const { return Quoted(base + "." + PartNumber(number)); }
  // The part whose number the variable holds: a name never travels in a
  // variable, as wine's cmd expands '%' in the value of one.
  std::string PartIn(std::string_view variable) const {
    return Quoted(base + ".%" + std::string(variable) + "%");
  }
};

void BatchHeader(ScriptBuilder& batch, ScriptVariant variant) {
  batch.Line("@ECHO OFF")
      // Before any name is read: with delayed expansion on (cmd /V:ON, or
      // the registry), "!x!" in a name would be expanded.
      .Line("SETLOCAL ENABLEEXTENSIONS DISABLEDELAYEDEXPANSION")
      .Line("ECHO ", BannerLine(variant))
      .Line("ECHO Now putting the parts back together, please wait...")
      .Line("ECHO IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND")
      .Line("ECHO YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!")
      .Line();
}

// Before anything changes: every part still to append is there with its
// size, and part 1 is where this run can go on from. ZELBO_NEXT becomes the
// number of the first part still to append (none: all are in part 1).
void BatchPreflight(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts) {
  batch.Line("PUSHD \"%~dp0\"")
      .Line("IF NOT EXIST \"%~nx0\" GOTO NOTHERE")
      .Line("SET \"ZELBO_NEXT=\"")
      .Line("SET \"ZELBO_N=001\" & ", Measure("Z1", words.first))
      .Line("IF \"%Z1%\"==\"\" GOTO MISSING");
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    const std::string number = PartNumber(j);
    batch.Line("SET \"ZELBO_N=", number, "\" & SET \"ZELBO_P=", std::to_string(parts.Size(j)),
               "\" & ", Measure("ZS", words.Part(j)));
    // A part may be missing only when an earlier run appended it.
    batch.Line("IF \"%ZS%\"==\"\" IF DEFINED ZELBO_NEXT GOTO MISSING");
    IfSizeIs(batch, "IF \"%ZS%\"==\"\" ", "Z1", parts.Total(j - 1), "GOTO MISSING");
    batch.Line("IF NOT \"%ZS%\"==\"\" ", IfSizeIsNot("ZS", parts.Size(j)), "GOTO BADSIZE")
        .Line("IF NOT \"%ZS%\"==\"\" IF NOT DEFINED ZELBO_NEXT SET \"ZELBO_NEXT=", number,
              "\" & SET \"ZELBO_TRY=", PartNumber(parts.LargestFrom(j)), "\"");
  }
  const std::int64_t whole = parts.Total(parts.count());
  batch.Line("SET \"ZELBO_WANT=", std::to_string(whole), "\" & SET \"ZS=%Z1%\"")
      .Line("IF NOT DEFINED ZELBO_NEXT ", IfSizeIsNot("ZS", whole), "GOTO BADFIRST")
      .Line("IF NOT DEFINED ZELBO_NEXT GOTO JOINED");
}

// No command of cmd can cut a file back, so an append must not run out of
// room halfway: one trial copy of the largest part still to append
// (ZELBO_TRY) shows that there is room for it, and each append frees as
// much as it takes once its part is deleted. The trial copy is the set's
// own part 000, never a file that is already there.
void BatchRoomCheck(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts) {
  const std::string trial = Quoted(words.base + ".000");
  batch.Line("IF EXIST ", trial, " GOTO APPEND").Line("GOTO TRY%ZELBO_TRY%");
  std::vector<std::int32_t> tried;
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    const std::int32_t largest = parts.LargestFrom(j);
    if (std::find(tried.begin(), tried.end(), largest) != tried.end()) continue;
    tried.push_back(largest);
    batch.Line(":TRY", PartNumber(largest))
        .Line(Measure("ZP", words.Part(largest)))
        .Line("COPY /B ", words.Part(largest), " ", trial, " >NUL")
        .Line("GOTO TRIED");
  }
  batch.Line(":TRIED")
      .Line(Measure("ZS", trial))
      .Line("IF EXIST ", trial, " DEL /F ", trial)
      .Line("IF NOT \"%ZS%\"==\"%ZP%\" GOTO NOROOM")
      .Line(":APPEND")
      // Parts copied off a CD keep the read-only mark.
      .Line("ATTRIB -R ", words.first)
      .Line();
}

// Appends part j, unless an earlier run has (the part is gone) or did
// without deleting it (part 1 already holds it).
void BatchAppend(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts,
                 std::int32_t j) {
  const std::string number = PartNumber(j);
  const std::string part = words.Part(j);
  const std::int64_t before = parts.Total(j - 1);
  const std::int64_t after = parts.Total(j);
  const std::string skip = j < parts.count() ? "PART" + PartNumber(j + 1) : "JOINED";
  batch.Line(":PART", number)
      .Line("IF NOT EXIST ", part, " GOTO ", skip)
      .Line("SET \"ZELBO_N=", number, "\" & SET \"ZELBO_WANT=", std::to_string(before), "\" & ",
            Measure("ZS", words.first));
  IfSizeIs(batch, "", "ZS", after, "GOTO DONE" + number);
  batch.Line(IfSizeIsNot("ZS", before), "GOTO BADFIRST")
      .Line("COPY /B ", words.first, " + ", part, " ", words.first)
      .Line(Measure("ZS", words.first));
  if (after != before) IfSizeIs(batch, "", "ZS", before, "GOTO UNCHANGED");
  batch.Line(IfSizeIsNot("ZS", after), "GOTO PARTIAL")
      .Line(":DONE", number)
      .Line("DEL /F ", part)
      .Line("IF EXIST ", part, " GOTO NOTDELETED")
      .Line();
}

void BatchRename(ScriptBuilder& batch, const BatchWords& words, const ScriptInput& input) {
  batch.Line(":JOINED")
      .Line("ECHO Now renaming the file back to it's original name...")
      .Line("IF EXIST ", words.source, " GOTO DESTEXISTS")
      .Line("ECHO If you have an error message here your DOS probably")
      .Line("ECHO does not support long file names. You will then find")
      .Line("ECHO the complete file as ", words.first)
      .Line("ECHO Rename results:")
      .Line("REN ", words.first, " ", words.source)
      .Line("IF NOT EXIST ", words.source, " GOTO NOTRENAMED")
      .Line("GOTO END")
      .Line()
      .Line(":DESTEXISTS")
      .Line("ECHO The destination file ", words.source, " already exists!!")
      .Line("ECHO Your file has been rebuilt as ", words.first)
      .Line()
      .Line(":END")
      .Line("ECHO ...")
      .Line("ECHO Finished!");
  // Last, and on one line: on Windows cmd reads no line of a batch that is gone.
  const std::string self = input.variant == ScriptVariant::kWindowed
                               ? "DEL /F " + Quoted(BatchName(input.batchBaseName) + ".bat")
                               : std::string("DEL /F unsplit.bat");
  batch.Line(self, " & POPD & EXIT /B 0").Line();
}

void BatchFailures(ScriptBuilder& batch, const BatchWords& words) {
  const std::string kPart = words.PartIn("ZELBO_N");
  const std::string& kFirst = words.first;
  constexpr std::string_view kNothingMore = "ECHO Nothing more was deleted, and nothing was renamed.";
  batch.Line(":MISSING")
      .Line("ECHO ERROR: The part ", kPart, " is missing.")
      .Line(kNothingMore)
      .Line("ECHO Copy it into this folder and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":BADSIZE")
      .Line("ECHO ERROR: The part ", kPart, " has %ZS% bytes instead of %ZELBO_P%.")
      .Line(kNothingMore)
      .Line("ECHO Copy it into this folder again and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":BADFIRST")
      .Line("ECHO ERROR: The part ", kFirst,
            " has %ZS% bytes, where this batch expects %ZELBO_WANT% at this point.")
      .Line(kNothingMore)
      .Line("ECHO It is not the first part of this file, or an earlier run stopped while appending a part, which \"%~n0.sh\" can cut off.")
      .Line("ECHO Copy all the parts into this folder again, the first one too, and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":NOROOM")
      .Line("ECHO ERROR: There is no room in this folder to append ", words.PartIn("ZELBO_NEXT"),
            " (%ZP% bytes), or it cannot be written.")
      .Line(kNothingMore)
      .Line("ECHO Make room on the disk, or copy the parts to a disk with room, and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":UNCHANGED")
      .Line("ECHO ERROR: The part ", kPart, " could not be appended to ", kFirst, ".")
      .Line(kNothingMore)
      .Line("ECHO Fix what the message above says and run this batch again: it goes on from this part.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":PARTIAL")
      .Line("ECHO ERROR: The part ", kPart, " could not be appended to ", kFirst, " completely.")
      .Line(kNothingMore)
      .Line("ECHO ", kFirst, " now ends in an incomplete copy of it, which this batch cannot take off.")
      .Line("ECHO Run \"%~n0.sh\", which can, or copy all the parts into this folder again, the first one too, and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":NOTDELETED")
      .Line("ECHO ERROR: The part ", kPart, " was appended to ", kFirst, " but could not be deleted.")
      .Line(kNothingMore)
      .Line("ECHO Make it deletable and run this batch again: it goes on from there.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":NOTRENAMED")
      .Line("ECHO ERROR: ", kFirst, " could not be renamed to ", words.source, ".")
      .Line(kNothingMore)
      .Line("ECHO Your file has been rebuilt as ", kFirst, ".")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":NOTHERE")
      .Line("ECHO ERROR: This batch could not change to its own folder \"%~dp0\".")
      .Line(kNothingMore)
      .Line()
      .Line(":STOPPED")
      .Line("POPD")
      // A double-clicked batch closes its window at the end.
      .Line("PAUSE")
      .Line("EXIT /B 1");
}

// What the obstacle is, after "the name" or a quoted name.
std::string_view ObstacleText(BatchObstacle obstacle) {
  switch (obstacle) {
    case BatchObstacle::kDoubleQuote:
      return "holds a double quote, which cmd cannot quote";
    case BatchObstacle::kNotAWindowsName:
      return "holds a character that Windows file names cannot hold, or ends in a dot or a blank";
    case BatchObstacle::kDeviceName:
      return "is one that Windows keeps for a device, such as CON or NUL";
    case BatchObstacle::kCodePage:
      return "holds a character outside the code page in which cmd reads batch files";
    case BatchObstacle::kNone:
      break;
  }
  return "";
}

// A batch that touches nothing and says why it cannot join the parts.
std::string RefusingBatchText(ScriptVariant variant, BatchObstacle obstacle) {
  ScriptBuilder batch("\r\n");
  batch.Line("@ECHO OFF")
      .Line("ECHO ", BannerLine(variant))
      .Line("ECHO ERROR: This batch cannot join these parts: the name ", ObstacleText(obstacle), ".")
      .Line("ECHO Join them with the shell script that came with them, or rename the file and split it again.")
      .Line("ECHO Nothing was changed.")
      .Line("PAUSE")
      .Line("EXIT /B 1");
  return batch.Take();
}

BatchObstacle ObstacleOf(std::string_view name, bool whole_name) {
  if (name.find('"') != std::string_view::npos) return BatchObstacle::kDoubleQuote;
  const bool unfit_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 32 ||
           std::string_view("\\/:*?<>|").find(c) != std::string_view::npos;
  });
  if (unfit_character || (whole_name && (name.ends_with('.') || name.ends_with(' ')))) {
    return BatchObstacle::kNotAWindowsName;
  }
  if (IsReservedDeviceName(name)) return BatchObstacle::kDeviceName;
  if (!platform::BatchCanHold(name)) return BatchObstacle::kCodePage;
  return BatchObstacle::kNone;
}

struct NamedObstacle {
  std::string name;
  BatchObstacle obstacle = BatchObstacle::kNone;
};

NamedObstacle FirstObstacle(const ScriptInput& input) {
  std::vector<std::string> names = {input.sourceFileName, input.scriptBaseName + ".001"};
  if (input.variant == ScriptVariant::kWindowed) names.push_back(input.batchBaseName + ".bat");
  for (const std::string& name : names) {
    // Only the restored name is a whole name; the others end in a number or ".bat".
    const BatchObstacle obstacle = ObstacleOf(name, &name == &names.front());
    if (obstacle != BatchObstacle::kNone) return {name, obstacle};
  }
  return {};
}

// ---------------------------------------------------------------- shell

std::string ShellEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '$' || c == '`' || c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// A word in double quotes that the shell takes literally and that no
// command mistakes for an option.
std::string ShellWord(std::string_view name) {
  std::string word = name.starts_with('-') ? "\"./" : "\"";
  word += ShellEscaped(name);
  word += '"';
  return word;
}

// The shell script's own functions. Sizes come from `ls -lnL` (field 5),
// which does not read the file, as some `wc -c` do; `dd` with seek= and no
// input cuts a file back; `rm -f` and `mv -f` ask no question about
// read-only files.
constexpr std::string_view kShellPrologue[] = {
    "# Works in its own folder, wherever it is started from. Checks every part",
    "# before it changes anything and every append after it, and stops at the",
    "# first failure, before it deletes anything more.",
    "unset CDPATH",
    "case $0 in */*) cd -- \"${0%/*}/\" || exit 1 ;; esac",
    "set -f",
};

constexpr std::string_view kShellFunctions[] = {
    "say() { printf '%s\\n' \"$@\"; }",
    "# size FILE: s becomes the size of FILE in bytes, or nothing without FILE.",
    "size() { s=; [ -f \"$1\" ] && set -- $(ls -lnL -- \"$1\") && s=$5; }",
    "stop() { say \"ERROR: $1\" \"Nothing more was deleted, and nothing was renamed.\" \"$2\"; exit 1; }",
    "missing() { stop \"The part \\\"$1\\\" is missing.\" \"Copy it into this folder and run this script again.\"; }",
    "cut() {",
    "  chmod u+w -- \"$first\" 2>/dev/null",
    "  dd if=/dev/null of=\"$first\" bs=1 seek=\"$1\" 2>/dev/null",
    "  size \"$first\"; [ \"$s\" = \"$1\" ]",
    "}",
    "size \"$first\"; have=$s",
    "[ -n \"$have\" ] || missing \"$first\"",
    "next=",
    "# check PART SIZE BEFORE: PART has SIZE bytes; part 1 has BEFORE bytes",
    "# before PART is appended. A part may be missing only when an earlier run",
    "# appended it.",
    "check() {",
    "  size \"$1\"",
    "  if [ -z \"$s\" ]; then",
    "    [ -z \"$next\" ] && [ \"$have\" != \"$3\" ] && return",
    "    missing \"$1\"",
    "  fi",
    "  [ \"$s\" = \"$2\" ] || stop \"The part \\\"$1\\\" has $s bytes instead of $2.\" \"Copy it into this folder again and run this script again.\"",
    "  [ -n \"$next\" ] || { next=$1 before=$3 after=$(($3 + $2)); }",
    "}",
    "# ready TOTAL: part 1 holds what the parts before the next one hold (all:",
    "# TOTAL bytes); a little more when an earlier run stopped halfway through",
    "# appending the next one, which is cut off.",
    "ready() {",
    "  [ -n \"$next\" ] || before=$1 after=$1",
    "  if [ \"$have\" != \"$before\" ]; then",
    "    [ -n \"$next\" ] && [ \"$have\" -gt \"$before\" ] && [ \"$have\" -le \"$after\" ] ||",
    "      stop \"The part \\\"$first\\\" has $have bytes, where this script expects $before at this point.\" \"Copy all the parts into this folder again, the first one too, and run this script again.\"",
    "    say \"\\\"$first\\\" still holds part of \\\"$next\\\" from an earlier run: cutting it back to $before bytes.\"",
    "    cut \"$before\" || stop \"\\\"$first\\\" could not be cut back.\" \"Make it writable and run this script again.\"",
    "  fi",
    "  [ -z \"$next\" ] || chmod u+w -- \"$first\" 2>/dev/null",
    "  return 0",
    "}",
    "appended() { size \"$first\"; [ \"$s\" = \"$1\" ]; }",
    "# failed PART BEFORE: appending PART failed; part 1 is cut back to BEFORE.",
    "failed() {",
    "  cut \"$2\" || stop \"The part \\\"$1\\\" could not be appended to \\\"$first\\\", which now ends in part of it.\" \"Run this script again once \\\"$first\\\" can be written: it cuts that off first.\"",
    "  stop \"The part \\\"$1\\\" could not be appended to \\\"$first\\\".\" \"Fix what the message above says (is the disk full?) and run this script again: it goes on from this part.\"",
    "}",
    "kept() { stop \"The part \\\"$1\\\" was appended to \\\"$first\\\" but could not be deleted.\" \"Make it deletable and run this script again.\"; }",
    "",
};

}  // namespace

std::string_view MakerWebAddress() { return ZELBO_WEB_ADDRESS; }

bool ScriptsCanCarry(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos;
}

bool IsReservedDeviceName(std::string_view fileName) {
  std::string_view stem = fileName.substr(0, fileName.find('.'));
  while (stem.ends_with(' ')) stem.remove_suffix(1);
  std::string upper(stem);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  const std::string_view digit = std::string_view(upper).substr(3);
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xc2\xb9" ||
         digit == "\xc2\xb2" || digit == "\xc2\xb3";
}

BatchObstacle BatchObstacleFor(const ScriptInput& input) { return FirstObstacle(input).obstacle; }

std::string BatchNotice(const ScriptInput& input) {
  const NamedObstacle found = FirstObstacle(input);
  if (found.obstacle == BatchObstacle::kNone) return "";
  const std::string scripts =
      input.variant == ScriptVariant::kWindowed ? input.batchBaseName : std::string("unsplit");
  return "The DOS batch file " + Quoted(scripts + ".bat") + " cannot join the parts: the name " +
         Quoted(found.name) + " " + std::string(ObstacleText(found.obstacle)) +
         ". Join them with " + Quoted(scripts + ".sh") +
         ", or rename the file and split it again.";
}

std::string DosBatchText(const ScriptInput& input) {
  if (const BatchObstacle obstacle = BatchObstacleFor(input); obstacle != BatchObstacle::kNone) {
    return RefusingBatchText(input.variant, obstacle);
  }
  const PartSizes parts(input.partSizes);
  const std::string base = BatchName(input.scriptBaseName);
  const BatchWords words{base, Quoted(base + ".001"), Quoted(BatchName(input.sourceFileName))};
  ScriptBuilder batch("\r\n");
  BatchHeader(batch, input.variant);
  BatchPreflight(batch, words, parts);
  if (parts.count() >= 2) BatchRoomCheck(batch, words, parts);
  for (std::int32_t j = 2; j <= parts.count(); ++j) BatchAppend(batch, words, parts, j);
  BatchRename(batch, words, input);
  BatchFailures(batch, words);
  return batch.Take();
}

std::string ShellScriptText(const ScriptInput& input) {
  const PartSizes parts(input.partSizes);
  const std::string& base = input.scriptBaseName;
  const std::string first = ShellWord(base + ".001");
  const std::string source = ShellWord(input.sourceFileName);
  ScriptBuilder shell("\n");
  shell.Line("#!/bin/sh")
      .Line("echo ", BannerLine(input.variant))
      .Line("echo This shell script should be run from the directory where the parts are located!")
      .Line("echo Now putting the parts back together, please wait...")
      .Line("echo IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND")
      .Line("echo YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!")
      .Line()
      .Lines(kShellPrologue)
      .Line("first=", first)
      .Lines(kShellFunctions);
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    shell.Line("check ", ShellWord(base + "." + PartNumber(j)), " ", std::to_string(parts.Size(j)),
               " ", std::to_string(parts.Total(j - 1)));
  }
  shell.Line("ready ", std::to_string(parts.Total(parts.count()))).Line();
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    const std::string number = PartNumber(j);
    const std::string part = ShellWord(base + "." + number);
    shell.Line("if [ -f ", part, " ]; then")
        .Line("echo appending part ", number, "...")
        .Line("cat ", part, " >> ", first, " && appended ", std::to_string(parts.Total(j)),
              " || failed ", part, " ", std::to_string(parts.Total(j - 1)))
        .Line("rm -f ", part, " || kept ", part)
        .Line("fi")
        .Line();
  }
  const std::string in_message = ShellEscaped(input.sourceFileName);
  const std::string first_in_message = ShellEscaped(base + ".001");
  shell.Line("[ ! -d ", source, " ] || stop \"A folder named \\\"", in_message,
             "\\\" is in the way.\" \"Your file has been rebuilt as \\\"", first_in_message, "\\\".\"")
      .Line("mv -f ", first, " ", source, " || stop \"\\\"", first_in_message,
            "\\\" could not be renamed to \\\"", in_message,
            "\\\".\" \"Your file has been rebuilt as \\\"", first_in_message, "\\\".\"");
  if (input.variant == ScriptVariant::kWindowed) {
    shell.Line("rm -f ", ShellWord(input.batchBaseName + ".sh"));
  } else {
    shell.Line("rm -f unsplit.sh");
  }
  shell.Line("echo Finished!");
  return shell.Take();
}

}  // namespace zelbo
