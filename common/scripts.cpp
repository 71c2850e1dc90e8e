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

// Sizes from here on do not fit in 32 bits: wine's cmd reports only their
// low 32 bits, and FAT32 holds no file this large.
constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;

// The shell script appends up to this many bytes of small parts with one
// cat when the folder has room for them besides the parts: a process
// start costs more than copying a floppy-sized part.
constexpr std::int64_t kGroupBytes = std::int64_t{64} << 20;

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
  // `expected` bytes are set aside at once: a batch for hundreds of parts
  // runs to megabytes, and growing it step by step copies it again and again.
  explicit ScriptBuilder(std::string_view line_end, std::size_t expected = 0)
      : line_end_(line_end) {
    text_.reserve(expected);
  }

  template <typename... Pieces>
  ScriptBuilder& Line(const Pieces&... pieces) {
    (text_.append(pieces), ...);
    text_.append(line_end_);
    return *this;
  }

  // Lines written with '\n' between them, each given the script's line end.
  ScriptBuilder& Block(std::string_view lines) {
    for (std::size_t end; (end = lines.find('\n')) != std::string_view::npos;) {
      Line(lines.substr(0, end));
      lines.remove_prefix(end + 1);
    }
    return lines.empty() ? *this : Line(lines);
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
  std::int64_t Whole() const { return totals.back(); }
  // The largest of the parts from `number` on (the last of them, if several).
  std::int32_t LargestFrom(std::int32_t number) const {
    std::int32_t largest = count();
    for (std::int32_t j = count() - 1; j >= number; --j) {
      if (Size(j) > Size(largest)) largest = j;
    }
    return largest;
  }
};

// The digest of part `number` as the scripts compare it, or "" without one.
std::string DigestOf(const ScriptInput& input, std::int32_t number) {
  const auto index = static_cast<std::size_t>(number - 1);
  return index < input.partDigests.size() ? input.partDigests[index] : std::string();
}

bool HasDigests(const ScriptInput& input) { return !input.partDigests.empty(); }

// A folder in the parts' folder that only one join at a time can make; it
// must not be the restored file's name.
std::string LockName(const ScriptInput& input) {
  std::string lock = input.scriptBaseName;
  lock.append(".lock");
  if (lock == input.sourceFileName) lock.insert(lock.size() - 5, ".join");
  return lock;
}

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
// wine's cmd only its low 32 bits. The low form counts only where
// `low_is_unique`, that is where no other state of the join has it.
std::vector<std::string> SizeForms(std::int64_t size, bool low_is_unique = true) {
  std::vector<std::string> forms{std::to_string(size)};
  const std::uint64_t low = static_cast<std::uint64_t>(size) & 0xffffffffu;
  if (low_is_unique && low != static_cast<std::uint64_t>(size)) forms.push_back(std::to_string(low));
  return forms;
}

// Part 1 before and after part `number` is appended: an append that stopped
// halfway leaves it anywhere between, which takes every low form once the
// part reaches 4 GiB, and an empty part leaves it the same.
bool LowFormsAreUnique(const PartSizes& parts, std::int32_t number) {
  return parts.Size(number) > 0 && parts.Size(number) < kFourGiB;
}

// The IF conditions under which the variable holds none of the forms.
std::string IfNoneOf(std::string_view variable, const std::vector<std::string>& forms) {
  std::string conditions;
  for (const std::string& form : forms) {
    conditions.append("IF NOT \"%").append(variable).append("%\"==\"").append(form).append("\" ");
  }
  return conditions;
}

// One line per form: `before`IF "%variable%"=="form" `command`.
void IfAnyOf(ScriptBuilder& batch, std::string_view before, std::string_view variable,
             const std::vector<std::string>& forms, std::string_view command) {
  for (const std::string& form : forms) {
    batch.Line(before, "IF \"%", variable, "%\"==\"", form, "\" ", command);
  }
}

// Sets the variable to the size of the quoted file, or to nothing when
// there is no such file.
std::string Measure(std::string_view variable, std::string_view quoted_file) {
  std::string text("SET \"");
  text.append(variable).append("=\" & FOR %%F IN (").append(quoted_file).append(") DO SET \"");
  return text.append(variable).append("=%%~zF\"");
}

// The texts of a set's names as the batch writes them.
struct BatchWords {
  std::string base;    // the parts' base name, '%' doubled
  std::string first;   // part 1, quoted
  std::string source;  // the restored name, quoted
  std::string lock;    // the lock folder, quoted
  std::string Part(std::int32_t number) const { return Quoted(base + "." + PartNumber(number)); }
  // The part whose number the variable holds: a name never travels in a
  // variable, as wine's cmd expands '%' in the value of one.
  std::string PartIn(std::string_view variable) const {
    return Quoted(base + ".%" + std::string(variable) + "%");
  }
  std::string Trial() const { return Quoted(lock.substr(1, lock.size() - 2) + "\\" + base + ".000"); }
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

// The digest of the bytes "zelbo" CR LF, which ECHO writes into the sample
// file: certutil that gives it for that file can be trusted with the parts.
constexpr std::string_view kSampleDigest =
    "b0dddde440f494a956f84b51c86d74b20d8de28995cf89a834f820fbc314a9ab";

// Works in its own folder; /CHECK only checks. One join at a time: the
// lock folder is made atomically, and a run that was killed leaves it
// behind, which the message explains. certutil's output is compared line
// by line with the digest (Windows 7 puts a blank between the byte pairs)
// and never read into a variable, so no word of it can become a command.
void BatchStart(ScriptBuilder& batch, const BatchWords& words, const ScriptInput& input) {
  batch.Line("PUSHD \"%~dp0\"")
      .Line("IF NOT EXIST \"%~nx0\" GOTO NOTHERE")
      .Line("SET \"ZELBO_CHECK=\" & SET \"ZELBO_LOCK=\" & SET \"ZELBO_BAD=\" & SET \"ZELBO_NEXT=\" & "
            "SET \"ZELBO_HELD=\" & SET \"ZELBO_DRY=\" & SET \"ZELBO_T=\" & SET \"ZELBO_TMINE=\" & SET \"ZELBO_NOHASH=1\"")
      .Line("IF /I \"%~1\"==\"/CHECK\" SET \"ZELBO_CHECK=1\"")
      .Line("IF DEFINED ZELBO_CHECK ECHO Checking the parts only: nothing is changed.")
      .Line("IF DEFINED ZELBO_CHECK GOTO CHECKING")
      // MD leaves ERRORLEVEL as it was when it succeeds: "(CALL )" clears it.
      .Line("(CALL )")
      .Line("MD ", words.lock, " 2>NUL")
      .Line("IF ERRORLEVEL 1 GOTO LOCKED")
      .Line("SET \"ZELBO_LOCK=1\"")
      .Line(":CHECKING");
  if (!HasDigests(input)) {
    batch.Line("ECHO This batch holds no digests of the parts: they are checked by their sizes, not their contents.");
    return;
  }
  // cmd seeds %RANDOM% with the time in seconds: two joins started in the
  // same second draw the same numbers. MD is atomic, so each takes the
  // first folder that no other one made.
  batch.Line(":TEMPDIR")
      .Line("SET \"ZELBO_T=%TMP%\\zelbo-%RANDOM%\"")
      .Line("(CALL )")
      .Line("MD \"%ZELBO_T%\" 2>NUL")
      .Line("IF ERRORLEVEL 1 IF EXIST \"%ZELBO_T%\" GOTO TEMPDIR")
      .Line("IF NOT ERRORLEVEL 1 SET \"ZELBO_TMINE=1\"")
      .Line("ECHO zelbo>\"%ZELBO_T%\\s.in\"")
      .Line("SET \"ZELBO_N=\" & SET \"ZD=", kSampleDigest, "\" & CALL :SUM")
      .Line("IF DEFINED ZM SET \"ZELBO_NOHASH=\"")
      .Line("IF NOT DEFINED ZM ECHO certutil gives no SHA-256 digests here: the parts are checked by their sizes, not their contents.");
}

// Under `condition` the part's content is checked, where certutil can;
// with /CHECK the part is named when it is good. (A part that is only
// measured is named here: wine's cmd looks for a CALL's label from the
// top of the batch, which would cost more than the part.)
void Verdict(ScriptBuilder& batch, const std::string& condition, const std::string& part) {
  batch.Line(condition, "IF DEFINED ZELBO_NOHASH IF DEFINED ZELBO_CHECK ECHO ", part, " has the right size.")
      .Line(condition, "IF NOT DEFINED ZELBO_NOHASH CALL :GOOD");
}

// Before anything changes: every part still to append is there with its
// size and its digest, and part 1 is where this run can go on from.
// ZELBO_NEXT becomes the number of the first part still to append (none:
// all are in part 1). A dry pass through that part's lines checks part 1.
void BatchPreflight(ScriptBuilder& batch, const BatchWords& words, const ScriptInput& input,
                    const PartSizes& parts) {
  batch.Line("SET \"ZELBO_N=001\" & ", Measure("Z1", words.first),
             " & FOR %%F IN (", words.first, ") DO SET \"ZA=%%~aF\"")
      .Line("IF \"%Z1%\"==\"\" GOTO MISSING")
      // A symbolic link (Windows marks it "l"): appending would change its target.
      .Line("IF \"%ZA:~8,1%\"==\"l\" GOTO LINKED");
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    const std::string number = PartNumber(j);
    const std::vector<std::string> forms = SizeForms(parts.Size(j));
    batch.Line("SET \"ZELBO_N=", number, "\" & SET \"ZELBO_P=", std::to_string(parts.Size(j)),
               "\" & SET \"ZD=", DigestOf(input, j), "\" & ", Measure("ZS", words.Part(j)));
    // A part may be missing only when an earlier run appended it.
    batch.Line("IF \"%ZS%\"==\"\" IF DEFINED ZELBO_NEXT CALL :MISSING");
    IfAnyOf(batch, "IF \"%ZS%\"==\"\" ", "Z1", SizeForms(parts.Total(j - 1)), "CALL :MISSING");
    batch.Line("IF NOT \"%ZS%\"==\"\" ", IfNoneOf("ZS", forms), "CALL :BADSIZE")
        .Line("IF NOT \"%ZS%\"==\"\" IF NOT DEFINED ZELBO_NEXT SET \"ZELBO_NEXT=", number,
              "\" & SET \"ZELBO_TRY=", PartNumber(parts.LargestFrom(j)), "\"");
    for (const std::string& form : forms) Verdict(batch, "IF \"%ZS%\"==\"" + form + "\" ", words.Part(j));
  }
  const std::string whole = std::to_string(parts.Whole());
  batch.Line("IF DEFINED ZELBO_BAD GOTO NOTGOOD")
      .Line("IF DEFINED ZELBO_NEXT SET \"ZELBO_DRY=1\" & GOTO PART%ZELBO_NEXT%")
      // All parts are in part 1: only its full size says so.
      .Line("SET \"ZELBO_WANT=", whole, "\" & SET \"ZS=%Z1%\"")
      .Line("IF NOT \"%ZS%\"==\"", whole, "\" GOTO BADFIRST");
  if (parts.count() > 1) batch.Line("SET \"ZELBO_HELD=1\"");
  batch.Line(":CHECKED").Line("SET \"ZELBO_DRY=\"");
  // Part 1 as it was written is checked by its digest too.
  const std::string fresh = parts.count() > 1 ? "IF \"%ZELBO_NEXT%\"==\"002\" " : "";
  batch.Line("SET \"ZELBO_N=001\" & SET \"ZD=", DigestOf(input, 1), "\"");
  Verdict(batch, "IF NOT DEFINED ZELBO_HELD " + fresh, words.first);
  batch.Line("IF DEFINED ZELBO_BAD GOTO NOTGOOD")
      .Line("IF NOT DEFINED ZELBO_CHECK GOTO JOIN")
      .Line("IF DEFINED ZELBO_HELD GOTO PARTLY");
  if (parts.count() > 1) batch.Line("IF NOT \"%ZELBO_NEXT%\"==\"002\" GOTO PARTLY");
  batch.Line("IF DEFINED ZELBO_NOHASH ECHO All parts have the right sizes.")
      .Line("IF NOT DEFINED ZELBO_NOHASH ECHO All parts are good.")
      .Line("CALL :TIDY & POPD & EXIT /B 0")
      .Line()
      .Line(":JOIN")
      .Line("IF NOT DEFINED ZELBO_NEXT GOTO ROOMY");
}

// Where the system can tell: a joined file of 4 GiB or more does not fit
// on FAT (fsutil needs no translation for the name of the file system).
void BatchSizeLimit(ScriptBuilder& batch, const PartSizes& parts) {
  if (parts.Whole() < kFourGiB) return;
  batch.Line("FOR %%D IN (.) DO SET \"ZELBO_DRIVE=%%~dD\"")
      .Line("FOR /F \"tokens=1,* delims=:\" %%A IN ('fsutil fsinfo volumeinfo %ZELBO_DRIVE%\\ 2^>NUL') DO (")
      .Line("  IF /I \"%%B\"==\" FAT32\" GOTO TOOLARGE")
      .Line("  IF /I \"%%B\"==\" FAT\" GOTO TOOLARGE")
      .Line(")");
}

// No command of cmd can cut a file back, so an append must not run out of
// room halfway: one trial copy of the largest part still to append
// (ZELBO_TRY) shows that there is room for it, and each append frees as
// much as it takes once its part is deleted. The trial copy lives in the
// lock folder, so a killed run cannot leave it anywhere else.
void BatchRoomCheck(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts) {
  const std::string trial = words.Trial();
  batch.Line("GOTO TRY%ZELBO_TRY%");
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
      .Line(":ROOMY")
      // Parts copied off a CD keep the read-only mark.
      .Line("ATTRIB -R ", words.first)
      .Line("IF NOT DEFINED ZELBO_NEXT GOTO JOINED")
      .Line("GOTO PART%ZELBO_NEXT%")
      .Line();
}

// Appends part j, unless an earlier run did without deleting it (part 1
// has exactly the size it has with the part in). In the dry pass it only
// checks part 1 and goes back to CHECKED.
void BatchAppend(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts,
                 std::int32_t j) {
  const std::string number = PartNumber(j);
  const std::string part = words.Part(j);
  const std::int64_t before = parts.Total(j - 1);
  const std::int64_t after = parts.Total(j);
  const bool unique = LowFormsAreUnique(parts, j);
  const std::string skip = j < parts.count() ? "PART" + PartNumber(j + 1) : "JOINED";
  batch.Line(":PART", number)
      .Line("IF NOT EXIST ", part, " GOTO ", skip)
      .Line("SET \"ZELBO_N=", number, "\" & SET \"ZELBO_WANT=", std::to_string(before), "\" & ",
            Measure("ZS", words.first))
      .Line("IF \"%ZS%\"==\"", std::to_string(after), "\" GOTO DONE", number)
      .Line(IfNoneOf("ZS", SizeForms(before, unique)), "GOTO BADFIRST")
      .Line("IF DEFINED ZELBO_DRY GOTO CHECKED")
      .Line("COPY /B ", words.first, " + ", part, " ", words.first)
      .Line(Measure("ZS", words.first));
  if (after != before) IfAnyOf(batch, "", "ZS", SizeForms(before), "GOTO UNCHANGED");
  batch.Line(IfNoneOf("ZS", SizeForms(after, unique)), "GOTO PARTIAL")
      .Line(":DONE", number)
      .Line("IF DEFINED ZELBO_DRY SET \"ZELBO_HELD=1\" & GOTO CHECKED")
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
      .Line("ECHO Finished!")
      .Line("CALL :TIDY");
  // Last, and on one line: on Windows cmd reads no line of a batch that is gone.
  const std::string self = input.variant == ScriptVariant::kWindowed
                               ? "DEL /F " + Quoted(BatchName(input.batchBaseName) + ".bat")
                               : std::string("DEL /F unsplit.bat");
  batch.Line(self, " & POPD & EXIT /B 0").Line();
}

// The batch's subroutines: each names the part whose number ZELBO_N holds.
void BatchRoutines(ScriptBuilder& batch, const BatchWords& words) {
  const std::string part = words.PartIn("ZELBO_N");
  batch.Line(":GOOD")
      .Line("CALL :SUM")
      .Line("IF NOT DEFINED ZM GOTO DAMAGED")
      .Line("IF DEFINED ZELBO_CHECK ECHO ", part, " is good.")
      .Line("GOTO :EOF")
      .Line(":DAMAGED")
      .Line("ECHO ERROR: The part ", part, " is damaged: its bytes are not those it was written with.")
      .Line("SET \"ZELBO_BAD=1\"")
      .Line("GOTO :EOF")
      .Line(":MISSING")
      .Line("ECHO ERROR: The part ", part, " is missing.")
      .Line("SET \"ZELBO_BAD=1\"")
      .Line("IF \"%ZELBO_N%\"==\"001\" GOTO NOTGOOD")
      .Line("GOTO :EOF")
      .Line(":BADSIZE")
      .Line("ECHO ERROR: The part ", part, " has %ZS% bytes instead of %ZELBO_P%.")
      .Line("SET \"ZELBO_BAD=1\"")
      .Line("GOTO :EOF")
      .Line()
      .Line("REM ZM becomes 1 when certutil gives ZD as the digest of part ZELBO_N, or of")
      .Line("REM the sample file when ZELBO_N is empty.")
      .Line(":SUM")
      .Line("SET \"ZM=\" & SET \"ZW=%ZD:~0,2%", [] {
        std::string pairs;
        for (int at = 2; at < 64; at += 2) pairs.append(" %ZD:~").append(std::to_string(at)).append(",2%");
        return pairs;
      }(), "\"")
      .Line("IF DEFINED ZELBO_N certutil -hashfile ", Quoted(".\\" + words.base + ".%ZELBO_N%"),
            " SHA256 >\"%ZELBO_T%\\s.out\" 2>NUL")
      .Line("IF NOT DEFINED ZELBO_N certutil -hashfile \"%ZELBO_T%\\s.in\" SHA256 >\"%ZELBO_T%\\s.out\" 2>NUL")
      .Line("FOR /F \"usebackq delims=\" %%L IN (\"%ZELBO_T%\\s.out\") DO (")
      .Line("  IF /I \"%%L\"==\"%ZD%\" SET \"ZM=1\"")
      .Line("  IF /I \"%%L\"==\"%ZW%\" SET \"ZM=1\"")
      .Line(")")
      .Line("GOTO :EOF")
      .Line()
      .Line(":TIDY")
      .Line("IF DEFINED ZELBO_TMINE RD /S /Q \"%ZELBO_T%\" >NUL 2>&1")
      .Line("IF DEFINED ZELBO_LOCK RD ", words.lock, " 2>NUL")
      .Line("GOTO :EOF")
      .Line();
}

void BatchFailures(ScriptBuilder& batch, const BatchWords& words, const PartSizes& parts) {
  const std::string kPart = words.PartIn("ZELBO_N");
  const std::string& kFirst = words.first;
  constexpr std::string_view kNothingMore = "ECHO Nothing more was deleted, and nothing was renamed.";
  batch.Line(":NOTGOOD")
      .Line("ECHO ERROR: Not every part is as it was written.")
      .Line(kNothingMore)
      .Line("ECHO Copy the parts named above into this folder again and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":LOCKED")
      .Line("IF NOT EXIST ", Quoted(words.lock.substr(1, words.lock.size() - 2) + "\\"), " GOTO NOLOCK")
      .Line("ECHO ERROR: Another join of these parts is running, or one was stopped before it ended: the folder ",
            words.lock, " is there.")
      .Line(kNothingMore)
      .Line("ECHO If no other join is running, delete that folder and run this batch again.")
      .Line("GOTO STOPPED")
      .Line(":NOLOCK")
      .Line("ECHO ERROR: The folder ", words.lock, " could not be made here.")
      .Line(kNothingMore)
      .Line("ECHO Make this folder writable and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":LINKED")
      .Line("ECHO ERROR: The part ", kFirst, " is a link to a file that the join would change.")
      .Line(kNothingMore)
      .Line("ECHO Copy the part itself into this folder and run this batch again.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":PARTLY")
      .Line("ECHO ERROR: ", kFirst, " already holds parts of the file from an earlier join.")
      .Line("ECHO Run this batch without /CHECK to finish that join.")
      .Line("GOTO STOPPED")
      .Line()
      .Line(":TOOLARGE")
      .Line("ECHO ERROR: The file system of this folder cannot hold a file of ",
            std::to_string(parts.Whole()), " bytes.")
      .Line(kNothingMore)
      .Line("ECHO Copy the parts to a disk whose file system can (FAT32 holds no file of 4 GiB or more), and run this batch again.")
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
      .Line("CALL :TIDY")
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

// After the names: the settings every run needs, and the lock.
constexpr std::string_view kShellSetup = R"SH(# Works in its own folder, wherever it is started from, and reads sizes the
# same way whatever the user's settings. Checks every part before it changes
# anything, and stops at the first failure, before it deletes anything more.
# With --check it checks the parts and changes nothing.
unset CDPATH BLOCK_SIZE BLOCKSIZE LS_BLOCK_SIZE DF_BLOCK_SIZE POSIXLY_CORRECT TIME_STYLE QUOTING_STYLE LS_COLORS
LC_ALL=C
export LC_ALL
case $0 in */*) cd -- "${0%/*}/" || exit 1 ;; esac
set -f
first="$base.001"
checking=
[ "${1-}" != --check ] || checking=1
say() { printf '%s\n' "$@"; }
stop() { say "ERROR: $1" "Nothing more was deleted, and nothing was renamed." "$2"; exit 1; }
[ -z "$checking" ] || say "Checking the parts only: nothing is changed."
# One join at a time: two would cut part 1 back under each other. A run
# that was killed leaves the folder behind, and the message says what then.
if [ -z "$checking" ]; then
  if ! mkdir "$lock" 2>/dev/null; then
    [ ! -d "$lock" ] || stop "Another join of these parts is running, or one was stopped before it ended: the folder \"$lock\" is there." "If no other join is running, delete that folder and run this script again."
    stop "The folder \"$lock\" could not be made here." "Make this folder writable and run this script again."
  fi
  trap 'rmdir "$lock" 2>/dev/null' 0
  trap 'exit 1' 1 2 15
fi
)SH";

// The script's functions. Sizes come from `ls -lndL` (field 5), which reads
// no file, as some `wc -c` do, and are compared as text: some shells count
// in 32 bits. `dd` with seek= and no input cuts a file back; `rm -f` and
// `mv -f` ask no question about read-only files.
constexpr std::string_view kShellFunctions = R"SH(# lt A B: A is less than B, for whole numbers of any length, compared nine
# digits at a time.
lt() {
  [ ${#1} = ${#2} ] || { [ ${#1} -lt ${#2} ]; return; }
  while [ ${#1} -gt 9 ]; do
    x=${1%"${1#?????????}"} y=${2%"${2#?????????}"}
    [ "$x" = "$y" ] || { [ "1$x" -lt "1$y" ]; return; }
    set -- "${1#?????????}" "${2#?????????}"
  done
  [ "1$1" -lt "1$2" ]
}
# sizes FILE...: z<number> becomes the size of each part that is there, and
# n<number> its count of names, from one ls.
sizes() {
  while read -r mode names owner group s name; do
    name=${name##*.}
    case $mode in -*) ;; *) continue ;; esac
    case $s$name in '' | *[!0-9]*) continue ;; esac
    eval "z$name=\$s n$name=\$names"
  done <<EOF
$(ls -lndL "$@" 2>/dev/null)
EOF
}
# size FILE: s becomes the size of FILE, or nothing when it is no file.
size() { s=; set -- $(ls -lndL "$1" 2>/dev/null); case $1 in -*) s=$5 ;; esac; }
clear() { unset "z$1" "d$1" "h$1"; }
problem() { say "ERROR: $1"; bad=1; }
# check NUMBER SIZE TOTAL DIGEST: part 1 holds TOTAL bytes once the part is
# in it. The parts it holds may be gone; every later one must be there,
# whole, and its digest is compared below.
check() {
  eval "s=\${z$1-}"
  if [ -z "$next" ] && ! lt "$have" "$3"; then
    held=$3
    [ -z "$s" ] || gone="$gone $1"
    return
  fi
  [ -n "$next" ] || next=$1
  if [ -z "$s" ]; then problem "The part \"$base.$1\" is missing."
  elif [ "$s" != "$2" ]; then problem "The part \"$base.$1\" has $s bytes instead of $2."
  else sums="$sums $1"; eval "d$1=$4"
  fi
}
# digest NUMBER...: the SHA-256 of each of these parts, a line each.
digest() {
  for k; do set -- "$@" "$base.$k"; shift; done
  case $tool in
    openssl) openssl dgst -sha256 "$@" ;;
    shasum) shasum -a 256 "$@" ;;
    sha256) sha256 -q "$@" ;;
    *) sha256sum "$@" ;;
  esac 2>/dev/null
}
# hashed NUMBER...: h<number> becomes the digest of each of these parts,
# from one run of the tool; fails unless it gives one for each.
hashed() {
  out=$(digest "$@") || return 1
  while IFS= read -r line; do
    [ $# -gt 0 ] || return 1
    case $tool in openssl) h=${line##* } ;; *) h=${line%% *} h=${h#\\} ;; esac
    case $h in *[!0-9a-f]*) return 1 ;; esac
    [ ${#h} = 64 ] || return 1
    eval "h$1=\$h"
    shift
  done <<EOF
$out
EOF
  [ $# = 0 ]
}
# room KIB: roomy when df says that this folder has KIB free.
room() {
  p=
  for w in $(df -Pk . 2>/dev/null); do
    case $w in
      [0-9]*%) case $p in '' | *[!0-9]*) ;; *) { [ ${#p} -gt 9 ] || [ "$p" -ge "$1" ]; } && roomy=1 ;; esac; return ;;
    esac
    p=$w
  done
}
# fits BITS: the file system here holds files whose size needs BITS bits,
# or cannot tell.
fits() {
  set -- "$1" "$(getconf FILESIZEBITS . 2>/dev/null)"
  case $2 in [1-9] | [1-9][0-9]) [ "$2" -ge "$1" ] ;; esac
}
# back SIZE: cuts part 1 back to SIZE bytes, the end of the last part wholly
# in it; never makes it longer, never makes a new one.
back() {
  size "$first"
  [ "$s" != "$1" ] || return 0
  if [ -n "$s" ] && [ ! -h "$first" ] && lt "$1" "$s"; then
    chmod u+w "$first" 2>/dev/null
    dd if=/dev/null of="$first" bs=1 seek="$1" 2>/dev/null
    size "$first"
    [ "$s" != "$1" ] || return 0
  fi
  stop "The part \"$first\" ends in part of a part, and could not be cut back to $1 bytes." "Run this script again once \"$first\" can be written: it cuts that off first."
}
# remove FILE...: deletes parts that are in part 1.
remove() {
  rm -f "$@" && return
  for k; do
    [ ! -f "$k" ] || stop "The part \"$k\" was appended to \"$first\" but could not be deleted." "Make it deletable and run this script again: it goes on from there."
  done
}
# add NUMBER SIZE TOTAL DIGEST [END]: appends the parts from the next one on,
# a group at a time (END closes one) when there is room for that, else one
# at a time; a part is deleted once it is in.
add() {
  [ -n "$go" ] || [ "$1" = "$next" ] || return 0
  go=1
  say "appending part $1..."
  group="$group $1:$3"
  [ -n "$5" ] || [ -z "$roomy" ] || return 0
  append $group
  group=
}
# append NUMBER:TOTAL...: one cat for these parts; when it fails, part 1 is
# cut back and they go one at a time, so that the message names the part
# that fails. No size is read after an append that worked. cat writes at
# the end of part 1, where dd has moved the shared offset, and not through
# >>: the system copies in the kernel only into a file not opened to append.
append() {
  list=$*
  for p; do set -- "$@" "$base.${p%:*}"; shift; done
  if { dd bs=1 seek="$held" count=0 conv=notrunc 2>/dev/null && cat "$@"; } 1<>"$first"; then
    held=${list##*:}
    remove "$@"
    return
  fi
  back "$held"
  [ $# -gt 1 ] || stop "The part \"$1\" could not be appended to \"$first\"." "Fix what the message above says (is the disk full?) and run this script again: it goes on from this part."
  roomy=
  for p in $list; do append "$p"; done
}
)SH";

// Part 1, then every part still to append, and part 1 once more: where the
// join goes on from, and whether it may.
constexpr std::string_view kShellChecks = R"SH(have=${z001-}
[ -n "$have" ] || stop "The part \"$first\" is missing." "Copy it into this folder and run this script again."
case ${n001-1} in 0 | 1) ;; *) false ;; esac && [ ! -h "$first" ] || stop "The part \"$first\" is a link to a file that the join would change." "Copy the part itself into this folder and run this script again."
next= held=$size1 gone= sums= bad= cut= only= go= group= roomy=
! lt "$have" "$held" || stop "The part \"$first\" has $have bytes instead of $held." "Copy it into this folder again and run this script again."
parts check
if [ "$have" != "$held" ]; then
  [ -n "$next" ] || stop "The part \"$first\" has $have bytes, where this script expects $held at this point." "Copy all the parts into this folder again, the first one too, and run this script again."
  cut=1
fi
)SH";

// The contents of the parts to check, by the fastest tool there is, with
// one run for all of them; part by part only when that run fails.
constexpr std::string_view kShellDigests = R"SH(tool=
for t in openssl sha256sum shasum sha256; do
  command -v $t >/dev/null 2>&1 && { tool=$t; break; }
done
if [ -n "$sums" ]; then
  [ -z "$tool" ] || hashed $sums || for k in $sums; do hashed $k || eval "h$k=-"; done
  seen=
  for k in $sums; do eval "[ \"\${h$k--}\" = - ]" || seen=1; done
  [ -n "$seen" ] || only="No tool here computes SHA-256 digests (openssl, sha256sum, shasum or sha256): the parts are checked by their sizes, not their contents."
fi
)SH";

// What the checks found: every part still to append is named when it is
// not good, and with --check when it is.
constexpr std::string_view kShellVerdicts = R"SH([ -z "$only" ] || [ -z "$sums" ] || say "$only"
for k in $sums; do
  eval "h=\${h$k--} d=\${d$k-}"
  if [ -n "$only" ]; then [ -z "$checking" ] || say "\"$base.$k\" has the right size."
  elif [ "$h" = - ]; then problem "The part \"$base.$k\" could not be read."
  elif [ "$h" != "$d" ]; then problem "The part \"$base.$k\" is damaged: its bytes are not those it was written with."
  elif [ -n "$checking" ]; then say "\"$base.$k\" is good."
  fi
done
[ -z "$bad" ] || stop "Not every part is as it was written." "Copy the parts named above into this folder again and run this script again."
if [ -n "$checking" ]; then
  [ "$have" = "$size1" ] || stop "\"$first\" already holds parts of the file from an earlier join." "Run this script without --check to finish that join."
  if [ -n "$only" ]; then say "All parts have the right sizes."; else say "All parts are good."; fi
  exit 0
fi
)SH";

constexpr std::string_view kShellJoin = R"SH(if [ -n "$next" ]; then
  if [ -n "$cut" ]; then
    say "\"$first\" still holds part of \"$base.$next\" from an earlier run: cutting it back to $held bytes."
    back "$held"
  fi
  chmod u+w "$first" 2>/dev/null
fi
if [ -n "$gone" ]; then
  set --
  for k in $gone; do set -- "$@" "$base.$k"; done
  remove "$@"
fi
parts add
size "$first"
[ "$s" = "$whole" ] || stop "The part \"$first\" has $s bytes instead of $whole at the end." "Copy all the parts into this folder again, the first one too, and run this script again."
[ ! -d "$source" ] || stop "A folder named \"$source\" is in the way." "Your file has been rebuilt as \"$first\"."
mv -f "$first" "$source" || stop "\"$first\" could not be renamed to \"$source\"." "Your file has been rebuilt as \"$first\"."
)SH";

// The number of bits that the size of the joined file needs.
int BitsOf(std::int64_t size) {
  int bits = 0;
  for (auto rest = static_cast<std::uint64_t>(size); rest != 0; rest >>= 1) ++bits;
  return bits;
}

// One line per part from 2 on: NUMBER SIZE TOTAL DIGEST, and "." after the
// last part of each group that one cat may append; also the free KiB that
// the largest group needs besides the parts (0: no group holds two parts).
struct ShellTable {
  std::string lines;
  std::int64_t room_kib = 0;
};

ShellTable ShellPartTable(const ScriptInput& input, const PartSizes& parts) {
  ShellTable table;
  std::int64_t group = 0;
  std::int32_t in_group = 0;
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    group += parts.Size(j);
    ++in_group;
    const bool closes = j == parts.count() || group + parts.Size(j + 1) > kGroupBytes;
    if (closes && in_group > 1) table.room_kib = std::max(table.room_kib, group / 1024 + 1024);
    const std::string digest = DigestOf(input, j);
    table.lines.append("  $1 ").append(PartNumber(j)).append(" ").append(std::to_string(parts.Size(j)));
    table.lines.append(" ").append(std::to_string(parts.Total(j))).append(" ");
    table.lines.append(digest.empty() ? "-" : digest).append(closes ? " .\n" : "\n");
    if (closes) group = in_group = 0;
  }
  if (table.lines.empty()) table.lines = "  :\n";
  return table;
}

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
  const BatchWords words{base, Quoted(base + ".001"), Quoted(BatchName(input.sourceFileName)),
                         Quoted(BatchName(LockName(input)))};
  // About 1,100 bytes a part, with names of up to a line's width.
  constexpr std::size_t kBatchBytesPerPart = 1536;
  ScriptBuilder batch("\r\n", static_cast<std::size_t>(parts.count()) * kBatchBytesPerPart);
  BatchHeader(batch, input.variant);
  BatchStart(batch, words, input);
  BatchPreflight(batch, words, input, parts);
  BatchSizeLimit(batch, parts);
  if (parts.count() >= 2) {
    BatchRoomCheck(batch, words, parts);
  } else {
    batch.Line(":ROOMY").Line();
  }
  for (std::int32_t j = 2; j <= parts.count(); ++j) BatchAppend(batch, words, parts, j);
  BatchRename(batch, words, input);
  BatchRoutines(batch, words);
  BatchFailures(batch, words, parts);
  return batch.Take();
}

std::string ShellScriptText(const ScriptInput& input) {
  const PartSizes parts(input.partSizes);
  const std::string& base = input.scriptBaseName;
  const ShellTable table = ShellPartTable(input, parts);
  std::string names;
  for (std::int32_t j = 2; j <= parts.count(); ++j) {
    names.append(" \"$base.").append(PartNumber(j)).append("\"");
  }
  ScriptBuilder shell("\n");
  shell.Line("#!/bin/sh")
      .Line("echo ", BannerLine(input.variant))
      .Line("echo This shell script should be run from the directory where the parts are located!")
      .Line("echo Now putting the parts back together, please wait...")
      .Line("echo IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND")
      .Line("echo YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!")
      .Line()
      .Line("# The names come first: a shell that cannot read them stops here, before")
      .Line("# it has changed anything.")
      .Line("base=", ShellWord(base))
      .Line("source=", ShellWord(input.sourceFileName))
      .Line("lock=", ShellWord(LockName(input)))
      .Block(kShellSetup)
      .Block(kShellFunctions)
      .Line("# NUMBER SIZE TOTAL DIGEST of each part from 2 on; \".\" closes a group.")
      .Line("parts() {")
      .Block(table.lines)
      .Line("}")
      .Line("parts clear")
      .Line("unset z001 n001 h001")
      .Line("sizes \"$base.001\"", names)
      .Line("size1=", std::to_string(parts.Size(1)),
            " whole=", std::to_string(parts.Whole()))
      .Block(kShellChecks);
  if (HasDigests(input)) {
    shell.Line("[ \"$have\" != \"$size1\" ] || { sums=\" 001$sums\"; d001=", DigestOf(input, 1), "; }")
        .Block(kShellDigests);
  } else {
    shell.Line("[ \"$have\" != \"$size1\" ] || sums=\" 001$sums\"")
        .Line("only=\"This script holds no digests of the parts: they are checked by their sizes, not their contents.\"");
  }
  shell.Block(kShellVerdicts);
  if (parts.Whole() >= kFourGiB) {
    shell.Line("[ -z \"$next\" ] || fits ", std::to_string(BitsOf(parts.Whole())),
               " || stop \"The file system of this folder cannot hold a file of $whole bytes.\" "
               "\"Copy the parts to a disk whose file system can (FAT32 holds no file of 4 GiB or more), "
               "and run this script again.\"");
  }
  if (table.room_kib > 0) shell.Line("[ -z \"$next\" ] || room ", std::to_string(table.room_kib));
  shell.Block(kShellJoin);
  if (input.variant == ScriptVariant::kWindowed) {
    shell.Line("rm -f ", ShellWord(input.batchBaseName + ".sh"));
  } else {
    shell.Line("rm -f unsplit.sh");
  }
  shell.Line("echo Finished!");
  return shell.Take();
}

}  // namespace zelbo
