// What the texts must hold whatever interpreter runs them; how they behave
// when run is tested by running them (tests/e2e/rejoin*, tests/wine/).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/part_names.h"
#include "common/scripts.h"

namespace zelbo {
namespace {

TEST(PartFileName, HasAtLeastThreeDigits) {
  EXPECT_EQ(PartFileName("C:\\data\\big", 1), "C:\\data\\big.001");
  EXPECT_EQ(PartFileName("big", 12), "big.012");
  EXPECT_EQ(PartFileName("big", 999), "big.999");
  EXPECT_EQ(PartFileName("big", 1000), "big.1000");
  EXPECT_EQ(PartFileName("", 7), ".007");
}

TEST(IsLongName, EightDotThreeRule) {
  EXPECT_FALSE(IsLongName("big", ".iso"));
  EXPECT_FALSE(IsLongName("12345678", ".abc"));
  EXPECT_FALSE(IsLongName("my.file", ".txt"));  // inner dots don't count
  EXPECT_FALSE(IsLongName("README", ""));
  EXPECT_FALSE(IsLongName("", ".iso"));
  EXPECT_TRUE(IsLongName("123456789", ".iso"));
  EXPECT_TRUE(IsLongName("archive.tar", ".gz"));
  EXPECT_TRUE(IsLongName("Big File", ".iso"));
  EXPECT_TRUE(IsLongName("big", ".html"));
  EXPECT_TRUE(IsLongName("big", ". a"));
}

ScriptInput Console(std::string base, std::string source, std::vector<std::int64_t> sizes) {
  return {ScriptVariant::kConsole, std::move(base), std::move(source), "unsplit", std::move(sizes), {}};
}

const ScriptInput kBig = Console("big", "big.iso", {1433600, 1433600, 132800});

bool Holds(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

TEST(Batch, KeepsItsJoinLinesAndEndsEveryLineWithCrLf) {
  const std::string batch = DosBatchText(kBig);
  EXPECT_TRUE(batch.starts_with("@ECHO OFF\r\n"));
  for (const char* line :
       {"\r\nECHO ZELBO Written By Odric Vallen\r\n",
        "\r\nECHO YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!\r\n",
        "\r\nCOPY /B \"big.001\" + \"big.002\" \"big.001\"\r\n",
        "\r\nCOPY /B \"big.001\" + \"big.003\" \"big.001\"\r\n", "\r\nDEL /F \"big.003\"\r\n",
        "\r\nIF EXIST \"big.iso\" GOTO DESTEXISTS\r\n", "\r\nREN \"big.001\" \"big.iso\"\r\n",
        "\r\nECHO The destination file \"big.iso\" already exists!!\r\n",
        "\r\n:END\r\nECHO ...\r\nECHO Finished!\r\nCALL :TIDY\r\nDEL /F unsplit.bat & POPD & EXIT /B 0\r\n"}) {
    EXPECT_TRUE(Holds(batch, line)) << line;
  }
  for (std::size_t at = 0; (at = batch.find('\n', at)) != std::string::npos; ++at) {
    ASSERT_TRUE(at > 0 && batch[at - 1] == '\r') << "bare LF at " << at;
  }
  EXPECT_EQ(std::count(batch.begin(), batch.end(), '\r'), std::count(batch.begin(), batch.end(), '\n'));
  // Delayed expansion goes off before any name is read.
  EXPECT_LT(batch.find("SETLOCAL ENABLEEXTENSIONS DISABLEDELAYEDEXPANSION\r\n"), batch.find("big"));
}

// An empty part 1 and a part 2 of 4 GiB: wine's low form of the joined size
// is "0", as is the empty part 1's, so the batch takes neither for the other.
TEST(Batch, TakesNoSizeFormThatAnotherStateOfTheJoinHas) {
  const std::string batch = DosBatchText(Console("big", "big.iso", {0, std::int64_t{1} << 32}));
  EXPECT_TRUE(Holds(batch, "\r\nIF \"%ZS%\"==\"4294967296\" GOTO DONE002\r\nIF NOT \"%ZS%\"==\"0\" GOTO BADFIRST\r\n"));
  EXPECT_TRUE(Holds(batch, "\r\nIF NOT \"%ZS%\"==\"4294967296\" GOTO PARTIAL\r\n"));
}

TEST(ShellScript, KeepsItsJoinLinesAndEndsEveryLineWithLf) {
  const std::string shell = ShellScriptText(kBig);
  EXPECT_TRUE(shell.starts_with("#!/bin/sh\necho ZELBO Written By Odric Vallen\n"));
  // NUMBER SIZE TOTAL DIGEST of each part, "." where the parts for one cat end.
  for (const char* line : {"\n  $1 002 1433600 2867200 -\n  $1 003 132800 3000000 - .\n}\n",
                           "\n[ -z \"$next\" ] || room 2553\n", "\nmv -f \"$first\" \"$source\" || "}) {
    EXPECT_TRUE(Holds(shell, line)) << line;
  }
  EXPECT_TRUE(shell.ends_with("\nrm -f unsplit.sh\necho Finished!\n"));
  EXPECT_EQ(shell.find('\r'), std::string::npos);
}

TEST(Scripts, OnePartOnlyRenamesAndNoPartIsOneEmptyPart) {
  for (const ScriptVariant variant : {ScriptVariant::kConsole, ScriptVariant::kWindowed}) {
    ScriptInput one{variant, "one", "one.bin", "one", {10}, {}};
    EXPECT_FALSE(Holds(DosBatchText(one), "COPY /B"));
    EXPECT_TRUE(Holds(ShellScriptText(one), "\nparts() {\n  :\n}\n"));
    ScriptInput none = one;
    none.partSizes.clear();
    one.partSizes = {0};
    EXPECT_EQ(DosBatchText(none), DosBatchText(one));
    EXPECT_EQ(ShellScriptText(none), ShellScriptText(one));
  }
}

TEST(Scripts, PartsFromOneThousandOnHaveFourDigits) {
  const ScriptInput many = Console("big", "big.iso", std::vector<std::int64_t>(1000, 7));
  EXPECT_TRUE(Holds(DosBatchText(many), "\r\nCOPY /B \"big.001\" + \"big.1000\" \"big.001\"\r\n"));
  EXPECT_TRUE(Holds(ShellScriptText(many), "\n  $1 1000 7 7000 - .\n}\n"));
}

TEST(WindowedScripts, BannerNamesTheWebAddressAndSelfDeletionNamesTheBatch) {
  const ScriptInput input{ScriptVariant::kWindowed, "part", "Holiday Video.avi", "Holiday V", {4, 2}, {}};
  const std::string batch = DosBatchText(input);
  const std::string shell = ShellScriptText(input);
  const std::string banner = std::string("Written By Odric Vallen, ") + ZELBO_WEB_ADDRESS + ".";
  EXPECT_TRUE(Holds(batch, "\r\nECHO ZELBO " + banner + "\r\n"));
  EXPECT_TRUE(Holds(shell, "\necho ZELBO " + banner + "\n"));
  EXPECT_TRUE(Holds(batch, "\r\nREN \"part.001\" \"Holiday Video.avi\"\r\n"));
  EXPECT_TRUE(Holds(batch, "\r\nDEL /F \"Holiday V.bat\" & POPD & EXIT /B 0\r\n"));
  EXPECT_TRUE(shell.ends_with("\nrm -f \"Holiday V.sh\"\necho Finished!\n"));
}

// True when every occurrence of `word` in `line` stands inside double quotes.
bool AlwaysQuoted(std::string_view line, std::string_view word) {
  for (std::size_t at = 0; (at = line.find(word, at)) != std::string_view::npos; ++at) {
    const auto quotes_before = std::count(line.begin(), line.begin() + static_cast<long>(at), '"');
    if (quotes_before % 2 == 0) return false;
  }
  return true;
}

TEST(ScriptNamesAreInert, BatchQuotesEveryNameAndDoublesPercent) {
  const ScriptInput input{ScriptVariant::kWindowed, "a&b^c(%x%)", "a&b^c(%x%)!y!.bin",
                          "r&d %TEMP%", {3, 3}, {std::string(64, 'a'), std::string(64, 'b')}};
  const std::string batch = DosBatchText(input);
  EXPECT_EQ(BatchObstacleFor(input), BatchObstacle::kNone);
  // Without the names in their doubled form no trace of them is left: a
  // single % would be expanded.
  std::string rest = batch;
  for (const std::string doubled : {"(%%x%%)", " %%TEMP%%"}) {
    for (std::size_t at; (at = rest.find(doubled)) != std::string::npos;) rest.erase(at, doubled.size());
  }
  EXPECT_FALSE(Holds(rest, "%x%"));
  EXPECT_FALSE(Holds(rest, "%TEMP%"));
  std::size_t lines = 0;
  for (std::size_t start = 0, end; (end = batch.find("\r\n", start)) != std::string::npos;
       start = end + 2, ++lines) {
    const std::string_view line = std::string_view(batch).substr(start, end - start);
    EXPECT_TRUE(AlwaysQuoted(line, "a&b^c(%%x%%)")) << line;
    EXPECT_TRUE(AlwaysQuoted(line, "r&d %%TEMP%%")) << line;
  }
  EXPECT_GT(lines, 50u);
}

TEST(ScriptNamesAreInert, ShellEscapesExpansionsAndGuardsLeadingDashes) {
  const ScriptInput input{ScriptVariant::kWindowed, "-rf $HOME", "a\"`b`\\c$d", "-x", {3, 3}, {}};
  const std::string shell = ShellScriptText(input);
  EXPECT_TRUE(Holds(shell, "\nbase=\"./-rf \\$HOME\"\nsource=\"a\\\"\\`b\\`\\\\c\\$d\"\nlock=\"./-rf \\$HOME.lock\"\n"));
  EXPECT_TRUE(Holds(shell, "\nrm -f \"./-x.sh\"\n"));
}

TEST(ScriptNamesAreInert, LineBreaksCannotBeCarried) {
  EXPECT_TRUE(ScriptsCanCarry("Big File %1 $x.iso"));
  EXPECT_FALSE(ScriptsCanCarry("two\nlines"));
  EXPECT_FALSE(ScriptsCanCarry("carriage\rreturn"));
}

TEST(IsReservedDeviceName, AnyCaseAnyExtension) {
  for (const char* name : {"CON", "con.txt", "Nul.tar.gz", "prn", "AUX.", "com1.bin", "LPT9",
                           "lpt1 .log", "COM\xc2\xb9.txt", "lpt\xc2\xb3"}) {
    EXPECT_TRUE(IsReservedDeviceName(name)) << name;
  }
  for (const char* name : {"console.txt", "com10", "com0", "lpt", "nul_", "xcon", "big.con", "COM\xc2\xb2x"}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << name;
  }
}

struct ObstacleCase {
  const char* source;
  BatchObstacle expected;
};

TEST(BatchObstacle, NamesCmdCannotCarry) {
  const ObstacleCase cases[] = {
      {"Big File 100%.iso", BatchObstacle::kNone},
      {"a!b!&c^d.bin", BatchObstacle::kNone},
      {"q\"t.bin", BatchObstacle::kDoubleQuote},
      {"a*b.bin", BatchObstacle::kNotAWindowsName},
      {"what?.bin", BatchObstacle::kNotAWindowsName},
      {"a<b>c.bin", BatchObstacle::kNotAWindowsName},
      {"a|b.bin", BatchObstacle::kNotAWindowsName},
      {"a:b.bin", BatchObstacle::kNotAWindowsName},
      {"b\\s.bin", BatchObstacle::kNotAWindowsName},
      {"tab\there.bin", BatchObstacle::kNotAWindowsName},
      {"ends in a dot.", BatchObstacle::kNotAWindowsName},
      {"ends in a blank ", BatchObstacle::kNotAWindowsName},
      {"con.txt", BatchObstacle::kDeviceName},
      // Greek is in neither Western OEM code page, nor in ASCII.
      {"\xce\xa9\xce\xbc.bin", BatchObstacle::kCodePage},
  };
  for (const ObstacleCase& row : cases) {
    EXPECT_EQ(BatchObstacleFor(Console("part", row.source, {1, 1})), row.expected) << row.source;
  }
  // The parts' base name and the windowed batch's own name count too.
  EXPECT_EQ(BatchObstacleFor(Console("nul", "nul.bin", {1})), BatchObstacle::kDeviceName);
  EXPECT_EQ(BatchObstacleFor({ScriptVariant::kWindowed, "part", "ok.bin", "a*b", {1}, {}}),
            BatchObstacle::kNotAWindowsName);
  EXPECT_EQ(BatchObstacleFor({ScriptVariant::kConsole, "part", "ok.bin", "a*b", {1}, {}}),
            BatchObstacle::kNone);
}

TEST(BatchObstacle, GivesABatchThatTouchesNothingAndAShellScriptThatJoins) {
  const ScriptInput input = Console("q\"t", "q\"t.bin", {3, 3});
  const std::string batch = DosBatchText(input);
  for (const char* command : {"COPY", "DEL", "REN", "ATTRIB", "q\"t"}) {
    EXPECT_FALSE(Holds(batch, command)) << command;
  }
  EXPECT_TRUE(Holds(batch, "\r\nECHO ERROR: This batch cannot join these parts: the name holds a double quote"));
  EXPECT_TRUE(batch.ends_with("\r\nEXIT /B 1\r\n"));
  EXPECT_TRUE(Holds(ShellScriptText(input), "\nbase=\"q\\\"t\"\nsource=\"q\\\"t.bin\"\n"));
}

TEST(BatchNotice, SaysWhichNameAndWhereToTurnInstead) {
  EXPECT_EQ(BatchNotice(kBig), "");
  EXPECT_EQ(BatchNotice({ScriptVariant::kWindowed, "part", "say \"hi\".txt", "Greeting", {1}, {}}),
            "The DOS batch file \"Greeting.bat\" cannot join the parts: the name \"say \"hi\".txt\" "
            "holds a double quote, which cmd cannot quote. Join them with \"Greeting.sh\", or "
            "rename the file and split it again.");
}

}  // namespace
}  // namespace zelbo
