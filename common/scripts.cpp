#include "common/scripts.h"

#include "common/part_names.h"

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

// A word in double quotes that the shell takes literally and that no
// command mistakes for an option.
std::string ShellWord(std::string_view name) {
  std::string out = "\"";
  if (!name.empty() && name.front() == '-') out.append("./");
  for (const char c : name) {
    if (c == '$' || c == '`' || c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
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

  std::string Take() { return std::move(text_); }

 private:
  std::string_view line_end_;
  std::string text_;
};

std::string PartNumber(std::int32_t number) {
  return PartFileName("", number).substr(1);
}

}  // namespace

std::string_view MakerWebAddress() { return ZELBO_WEB_ADDRESS; }

bool ScriptsCanCarry(std::string_view name) {
  return name.find_first_of("\r\n") == std::string_view::npos;
}

std::string DosBatchText(ScriptVariant variant, const ScriptNames& names,
                         std::int32_t part_count) {
  const std::string base = BatchName(names.scriptBaseName);
  const std::string first = "\"" + base + ".001\"";
  const std::string source = "\"" + BatchName(names.sourceFileName) + "\"";
  ScriptBuilder batch("\r\n");
  batch.Line("@ECHO OFF")
      .Line("ECHO ", BannerLine(variant))
      .Line("ECHO Now putting the parts back together, please wait...")
      .Line("ECHO IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND")
      .Line("ECHO YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!")
      .Line();
  for (std::int32_t j = 2; j <= part_count; ++j) {
    const std::string part = "\"" + base + "." + PartNumber(j) + "\"";
    batch.Line("COPY /B ", first, " + ", part, " ", first).Line("DEL ", part).Line();
  }
  batch.Line("ECHO Now renaming the file back to it's original name...")
      .Line("IF EXIST ", source, " GOTO DESTEXISTS")
      .Line("ECHO If you have an error message here your DOS probably")
      .Line("ECHO does not support long file names. You will then find")
      .Line("ECHO the complete file as ", first)
      .Line("ECHO Rename results:")
      .Line("REN ", first, " ", source)
      .Line("GOTO END")
      .Line()
      .Line(":DESTEXISTS")
      .Line("ECHO The destination file ", source, " already exists!!")
      .Line("ECHO Your file has been rebuilt as ", first)
      .Line()
      .Line(":END");
  if (variant == ScriptVariant::kWindowed) {
    batch.Line("DEL \"", BatchName(names.batchBaseName), ".bat\"");
  } else {
    batch.Line("DEL unsplit.bat");
  }
  batch.Line("ECHO ...").Line("ECHO Finished!");
  return batch.Take();
}

std::string ShellScriptText(ScriptVariant variant, const ScriptNames& names,
                            std::int32_t part_count) {
  const std::string base(names.scriptBaseName);
  const std::string first = ShellWord(base + ".001");
  ScriptBuilder shell("\n");
  shell.Line("#!/bin/sh")
      .Line("echo ", BannerLine(variant))
      .Line("echo This shell script should be run from the directory where the parts are located!")
      .Line("echo Now putting the parts back together, please wait...")
      .Line("echo IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND")
      .Line("echo YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!")
      .Line();
  for (std::int32_t j = 2; j <= part_count; ++j) {
    const std::string number = PartNumber(j);
    const std::string part = ShellWord(base + "." + number);
    shell.Line("echo appending part ", number, "...")
        .Line("cat ", part, " >> ", first)
        .Line("rm ", part)
        .Line();
  }
  shell.Line("mv ", first, " ", ShellWord(names.sourceFileName));
  if (variant == ScriptVariant::kWindowed) {
    shell.Line("rm ", ShellWord(std::string(names.batchBaseName) + ".sh"));
  } else {
    shell.Line("rm unsplit.sh");
  }
  shell.Line("echo Finished!");
  return shell.Take();
}

}  // namespace zelbo
