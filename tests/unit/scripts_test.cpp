#include <gtest/gtest.h>

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

constexpr ScriptNames kBig{"big", "big.iso", "unsplit"};

TEST(ConsoleScripts, BatchIsByteExactWithCrLf) {
  EXPECT_EQ(DosBatchText(ScriptVariant::kConsole, kBig, 3),
            "@ECHO OFF\r\n"
            "ECHO ZELBO Written By Odric Vallen\r\n"
            "ECHO Now putting the parts back together, please wait...\r\n"
            "ECHO IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND\r\n"
            "ECHO YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!\r\n"
            "\r\n"
            "COPY /B \"big.001\" + \"big.002\" \"big.001\"\r\n"
            "DEL \"big.002\"\r\n"
            "\r\n"
            "COPY /B \"big.001\" + \"big.003\" \"big.001\"\r\n"
            "DEL \"big.003\"\r\n"
            "\r\n"
            "ECHO Now renaming the file back to it's original name...\r\n"
            "IF EXIST \"big.iso\" GOTO DESTEXISTS\r\n"
            "ECHO If you have an error message here your DOS probably\r\n"
            "ECHO does not support long file names. You will then find\r\n"
            "ECHO the complete file as \"big.001\"\r\n"
            "ECHO Rename results:\r\n"
            "REN \"big.001\" \"big.iso\"\r\n"
            "GOTO END\r\n"
            "\r\n"
            ":DESTEXISTS\r\n"
            "ECHO The destination file \"big.iso\" already exists!!\r\n"
            "ECHO Your file has been rebuilt as \"big.001\"\r\n"
            "\r\n"
            ":END\r\n"
            "DEL unsplit.bat\r\n"
            "ECHO ...\r\n"
            "ECHO Finished!\r\n");
}

TEST(ConsoleScripts, ShellScriptIsByteExactWithLf) {
  EXPECT_EQ(ShellScriptText(ScriptVariant::kConsole, kBig, 3),
            "#!/bin/sh\n"
            "echo ZELBO Written By Odric Vallen\n"
            "echo This shell script should be run from the directory where the parts are located!\n"
            "echo Now putting the parts back together, please wait...\n"
            "echo IF YOU HAVE FILE NOT FOUND ERRORS HERE THEN YOU ARE MISSING A PART AND\n"
            "echo YOU SHOULD START ALL OVER AGAIN COPYING ALL THE PARTS INCLUDING THE FIRST!!\n"
            "\n"
            "echo appending part 002...\n"
            "cat \"big.002\" >> \"big.001\"\n"
            "rm \"big.002\"\n"
            "\n"
            "echo appending part 003...\n"
            "cat \"big.003\" >> \"big.001\"\n"
            "rm \"big.003\"\n"
            "\n"
            "mv \"big.001\" \"big.iso\"\n"
            "rm unsplit.sh\n"
            "echo Finished!\n");
}

TEST(Scripts, NoPartOrOnePartOnlyRenames) {
  for (const ScriptVariant variant : {ScriptVariant::kConsole, ScriptVariant::kWindowed}) {
    const std::string batch = DosBatchText(variant, kBig, 1);
    const std::string shell = ShellScriptText(variant, kBig, 1);
    EXPECT_EQ(batch.find("COPY /B"), std::string::npos);
    EXPECT_EQ(shell.find("cat "), std::string::npos);
    EXPECT_EQ(DosBatchText(variant, kBig, 0), batch);
    EXPECT_EQ(ShellScriptText(variant, kBig, 0), shell);
  }
}

TEST(Scripts, PartsFromOneThousandOnHaveFourDigits) {
  const std::string batch = DosBatchText(ScriptVariant::kConsole, kBig, 1000);
  EXPECT_NE(batch.find("COPY /B \"big.001\" + \"big.1000\" \"big.001\"\r\nDEL \"big.1000\"\r\n"),
            std::string::npos);
  const std::string shell = ShellScriptText(ScriptVariant::kConsole, kBig, 1000);
  EXPECT_NE(shell.find("echo appending part 1000...\ncat \"big.1000\" >> \"big.001\"\nrm \"big.1000\"\n"),
            std::string::npos);
  EXPECT_EQ(batch.find("\n\n"), std::string::npos);  // every line end is CRLF
  EXPECT_EQ(shell.find('\r'), std::string::npos);
}

TEST(WindowedScripts, BannerNamesTheWebAddressAndSelfDeletionNamesTheBatch) {
  const ScriptNames names{"part", "Holiday Video.avi", "Holiday V"};
  const std::string batch = DosBatchText(ScriptVariant::kWindowed, names, 2);
  const std::string shell = ShellScriptText(ScriptVariant::kWindowed, names, 2);
  const std::string banner = std::string("Written By Odric Vallen, ") + ZELBO_WEB_ADDRESS + ".";
  EXPECT_NE(batch.find("ECHO ZELBO " + banner + "\r\n"), std::string::npos);
  EXPECT_NE(shell.find("echo ZELBO " + banner + "\n"), std::string::npos);
  EXPECT_NE(batch.find("REN \"part.001\" \"Holiday Video.avi\"\r\n"), std::string::npos);
  EXPECT_TRUE(batch.ends_with(":END\r\nDEL \"Holiday V.bat\"\r\nECHO ...\r\nECHO Finished!\r\n"));
  EXPECT_TRUE(shell.ends_with("mv \"part.001\" \"Holiday Video.avi\"\nrm \"Holiday V.sh\"\necho Finished!\n"));
}

TEST(ScriptNamesAreInert, BatchDoublesPercent) {
  const ScriptNames names{"100%", "100%done.txt", "a%PATH%b"};
  const std::string batch = DosBatchText(ScriptVariant::kWindowed, names, 2);
  EXPECT_NE(batch.find("COPY /B \"100%%.001\" + \"100%%.002\" \"100%%.001\"\r\n"), std::string::npos);
  EXPECT_NE(batch.find("REN \"100%%.001\" \"100%%done.txt\"\r\n"), std::string::npos);
  EXPECT_NE(batch.find("DEL \"a%%PATH%%b.bat\"\r\n"), std::string::npos);
}

TEST(ScriptNamesAreInert, ShellEscapesExpansionsAndGuardsLeadingDashes) {
  const ScriptNames names{"-rf $HOME", "a\"`b`\\c$d", "-x"};
  const std::string shell = ShellScriptText(ScriptVariant::kWindowed, names, 2);
  EXPECT_NE(shell.find("cat \"./-rf \\$HOME.002\" >> \"./-rf \\$HOME.001\"\n"), std::string::npos);
  EXPECT_NE(shell.find("mv \"./-rf \\$HOME.001\" \"a\\\"\\`b\\`\\\\c\\$d\"\n"), std::string::npos);
  EXPECT_NE(shell.find("rm \"./-x.sh\"\n"), std::string::npos);
}

TEST(ScriptNamesAreInert, LineBreaksCannotBeCarried) {
  EXPECT_TRUE(ScriptsCanCarry("Big File %1 $x.iso"));
  EXPECT_FALSE(ScriptsCanCarry("two\nlines"));
  EXPECT_FALSE(ScriptsCanCarry("carriage\rreturn"));
}

}  // namespace
}  // namespace zelbo
