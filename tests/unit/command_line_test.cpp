#include <gtest/gtest.h>

#include "console/command_line.h"

namespace zelbo::console {
namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments, bool slash_options = false) {
  return ParseCommandLine(arguments, slash_options);
}

std::int64_t SizeOf(std::vector<std::string> arguments, bool slash_options = false) {
  const ParsedCommandLine parsed = Parse(std::move(arguments), slash_options);
  EXPECT_EQ(parsed.verdict, ParseVerdict::kRun);
  return parsed.request.partSize;
}

TEST(CommandLine, PresetsAndUnitsGiveByteCounts) {
  EXPECT_EQ(SizeOf({"big.iso", "-sf"}), 1433600);
  EXPECT_EQ(SizeOf({"big.iso", "-sz"}), 102760448);
  EXPECT_EQ(SizeOf({"big.iso", "-sc"}), 734003200);
  EXPECT_EQ(SizeOf({"big.iso", "-sd"}), 4928307200);
  EXPECT_EQ(SizeOf({"big.iso", "-sfx"}), 1433600);  // text after a preset letter is ignored
  EXPECT_EQ(SizeOf({"big.iso", "-sk100"}), 102400);
  EXPECT_EQ(SizeOf({"big.iso", "-Sk100"}), 102400);
  EXPECT_EQ(SizeOf({"big.iso", "-SK100"}), 102400);
  EXPECT_EQ(SizeOf({"big.iso", "-sm4096"}), 4294967296);
  EXPECT_EQ(SizeOf({"big.iso", "-sm2048"}), 2147483648);
  EXPECT_EQ(SizeOf({"big.iso", "-s100k"}), 100);  // digits up to the first other character
  EXPECT_EQ(SizeOf({"big.iso", "-s 77"}), 77);    // leading white space is skipped
  EXPECT_EQ(SizeOf({"big.iso", "-s+5"}), 5);
}

TEST(CommandLine, NumbersAreReadAtFull64BitWidth) {
  EXPECT_EQ(SizeOf({"big.iso", "-s5000000000"}), 5000000000);
  EXPECT_EQ(SizeOf({"big.iso", "-s9223372036854775807"}), 9223372036854775807);
  EXPECT_EQ(SizeOf({"big.iso", "-sk9007199254740991"}), 9007199254740991 * 1024);
}

TEST(CommandLine, LastOptionWinsAndACountOutranksASize) {
  EXPECT_EQ(SizeOf({"big.iso", "-sc", "-sd"}), 4928307200);
  EXPECT_EQ(Parse({"big.iso", "-sp4", "-sc"}).request.partCount, 4);
  EXPECT_EQ(Parse({"-sc", "-sp4", "big.iso"}).request.partCount, 4);
  EXPECT_EQ(Parse({"big.iso", "-sp4", "-sp7"}).request.partCount, 7);
  EXPECT_EQ(Parse({"a.bin", "b.bin", "-sf"}).request.sourcePath, "b.bin");
  // A later size of 0 clears an earlier one.
  EXPECT_EQ(Parse({"big.iso", "-sc", "-s0"}).verdict, ParseVerdict::kNoSize);
}

TEST(CommandLine, IncompleteRequestsAreParameterErrors) {
  EXPECT_EQ(Parse({}).verdict, ParseVerdict::kUsage);
  EXPECT_EQ(Parse({"big.iso"}).verdict, ParseVerdict::kUsage);
  EXPECT_EQ(Parse({"-sc"}).verdict, ParseVerdict::kUsage);
  EXPECT_EQ(Parse({"-sc", "-sp3"}).verdict, ParseVerdict::kNoFile);
  EXPECT_EQ(Parse({"big.iso", "-x"}).verdict, ParseVerdict::kNoSize);
  EXPECT_EQ(Parse({"big.iso", "-s0"}).verdict, ParseVerdict::kNoSize);
  EXPECT_EQ(Parse({"big.iso", "-sp0"}).verdict, ParseVerdict::kNoSize);
  EXPECT_EQ(Parse({"big.iso", "-sabc"}).verdict, ParseVerdict::kNoSize);
  EXPECT_EQ(Parse({"big.iso", "-sk"}).verdict, ParseVerdict::kNoSize);
  EXPECT_EQ(Parse({"big.iso", "-"}).verdict, ParseVerdict::kNoSize);
}

TEST(CommandLine, NegativeAndOversizedNumbersAreRefused) {
  for (const char* option : {"-s-100", "-sp-2", "-sk-1", "-sm-5", "-s9223372036854775808",
                             "-sk9007199254740992", "-sm8796093022208", "-sp2147483648",
                             "-s99999999999999999999999"}) {
    const ParsedCommandLine parsed = Parse({"big.iso", option});
    EXPECT_EQ(parsed.verdict, ParseVerdict::kBadNumber) << option;
    EXPECT_EQ(parsed.offending_argument, option);
  }
  EXPECT_EQ(Parse({"big.iso", "-s-0"}).verdict, ParseVerdict::kNoSize);  // zero is not negative
  EXPECT_EQ(Parse({"big.iso", "-sp2147483647"}).request.partCount, 2147483647);
}

TEST(CommandLine, SlashStartsAnOptionOnlyWhereThePlatformSaysSo) {
  EXPECT_EQ(SizeOf({"big.iso", "/SK100"}, true), 102400);
  EXPECT_EQ(Parse({"big.iso", "/?"}, true).verdict, ParseVerdict::kNoSize);
  // On POSIX '/' begins an absolute path, which is the source.
  const ParsedCommandLine posix = Parse({"/data/big.iso", "-sf"}, false);
  EXPECT_EQ(posix.verdict, ParseVerdict::kRun);
  EXPECT_EQ(posix.request.sourcePath, "/data/big.iso");
  EXPECT_EQ(Parse({"/data/big.iso", "-sf"}, true).verdict, ParseVerdict::kNoFile);
}

TEST(CommandLine, DigestsAndFlushAreOnUnlessAnOptionSaysNo) {
  const SplitRequest plain = Parse({"big.iso", "-sf"}).request;
  EXPECT_TRUE(plain.digests && plain.flush);
  EXPECT_EQ(plain.unit, SizeUnit::kKbytes);
  const SplitRequest quick = Parse({"big.iso", "-ND", "-sm5", "/nf"}, true).request;
  EXPECT_FALSE(quick.digests || quick.flush);
  EXPECT_EQ(quick.unit, SizeUnit::kMbytes);
  EXPECT_TRUE(Parse({"big.iso", "-s9", "-nx", "-n"}).request.flush) << "others are ignored";
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
  EXPECT_EQ(Parse({"--help"}).verdict, ParseVerdict::kHelp);
  EXPECT_EQ(Parse({"big.iso", "-sf", "--version"}).verdict, ParseVerdict::kVersion);
}

TEST(UsageText, NamesOnlyTheOptionLeadersThePlatformAccepts) {
  EXPECT_NE(UsageText(true).find("may be specified with - or with /\n"), std::string::npos);
  EXPECT_EQ(UsageText(false).find("or with /"), std::string::npos);
}

}  // namespace
}  // namespace zelbo::console
