// The planning arithmetic and the texts the window shows, without a window.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gui/forecast.h"
#include "gui/source_text.h"

namespace zelbo::gui {
namespace {

constexpr int kParts = 0, kBytes = 1, kKbytes = 2, kMbytes = 3;

struct Example {
  std::int64_t sourceSize;
  const char* amount;
  int unit;
  std::int64_t partSize;
  std::string label;
};

TEST(Forecast, WorkedExamples) {
  const Example examples[] = {
      {10'000'000, "3", kParts, 3'333'334,
       "The file will be split into 3 parts of 3,333,334 bytes.\n"
       "Estimated transfer times per part HH:MM:\n   Modem: 0:19, ISDN: 0:08, DSL/LAN: <0:01"},
      {10'000'000, "1400", kKbytes, 1'433'600,
       "The file will be split into 7 parts of 1,400 kilobytes.\n"
       "Estimated transfer times per part HH:MM:\n   Modem: 0:08, ISDN: 0:04, DSL/LAN: <0:01"},
      {734'003'200, "650", kMbytes, 681'574'400,
       "The file will be split into 2 parts of 650 megabytes.\n"
       "Estimated transfer times per part HH:MM:\n   Modem: 61:38, ISDN: 26:26, DSL/LAN: <1:51"},
      {1'000, "2", kKbytes, 2'048, "WARNING: partsize bigger than filesize!"},
      {552'960, "1", kParts, 1, "You need at least two parts!"},
      {552'960, "0", kParts, 0, "You need at least an amount of 1!"},
      {552'960, "0", kMbytes, 0, "You need at least an amount of 1!"},
  };
  for (const Example& example : examples) {
    SCOPED_TRACE(example.amount);
    const Forecast forecast = ComputeForecast(example.amount, example.unit, example.sourceSize);
    EXPECT_TRUE(forecast.changes);
    EXPECT_EQ(forecast.partSize, example.partSize);
    EXPECT_EQ(forecast.label, example.label);
  }
}

TEST(Forecast, PlanAfterEachOutcome) {
  SplitPlan plan{"", 1000, 77, 9};
  ApplyForecast(ComputeForecast("-5", kBytes, plan.sourceSize), plan);
  EXPECT_EQ(plan.partSize, -5);
  EXPECT_EQ(plan.partCount, 9) << "an amount below 1 keeps the count";

  ApplyForecast(ComputeForecast("1", kParts, plan.sourceSize), plan);
  EXPECT_EQ(plan.partSize, 1);
  EXPECT_EQ(plan.partCount, 1);

  ApplyForecast(ComputeForecast("1001", kBytes, plan.sourceSize), plan);
  EXPECT_EQ(plan.partSize, 1001);
  EXPECT_EQ(plan.partCount, 1);

  ApplyForecast(ComputeForecast("300", kBytes, plan.sourceSize), plan);
  EXPECT_EQ(plan.partSize, 300);
  EXPECT_EQ(plan.partCount, 4);
}

TEST(Forecast, NoSourceSizeChangesNothing) {
  for (const std::int64_t size : {std::int64_t{-1}, std::int64_t{0}}) {
    SplitPlan plan{"", size, 12, 3};
    const Forecast forecast = ComputeForecast("5", kBytes, size);
    EXPECT_FALSE(forecast.changes);
    ApplyForecast(forecast, plan);
    EXPECT_EQ(plan.partSize, 12);
    EXPECT_EQ(plan.partCount, 3);
  }
}

TEST(Forecast, CountsAndSizesAtTheEdges) {
  Forecast forecast = ComputeForecast("10", kParts, 5);
  EXPECT_EQ(forecast.partSize, 1);
  EXPECT_EQ(forecast.partCount, 10) << "the typed count, though only 5 parts can be written";
  EXPECT_TRUE(forecast.label.starts_with("The file will be split into 10 parts of 1 bytes.\n"));

  forecast = ComputeForecast("6", kParts, 10);
  EXPECT_EQ(forecast.partSize, 2);
  EXPECT_TRUE(forecast.label.starts_with("The file will be split into 6 parts of 2 bytes."));

  EXPECT_EQ(ComputeForecast("2", kParts, 3).partSize, 2);

  forecast = ComputeForecast("4096", kBytes, 4096);
  EXPECT_EQ(forecast.partCount, 1);
  EXPECT_TRUE(forecast.label.starts_with("The file will be split into 1 parts of 4,096 bytes.\n"));

  forecast = ComputeForecast("4097", kBytes, 4096);
  EXPECT_EQ(forecast.label, "WARNING: partsize bigger than filesize!");
  EXPECT_EQ(forecast.partCount, 1);
  EXPECT_FALSE(forecast.runnable);
}

TEST(Forecast, AmountTextReadsLikeTheCLibrary) {
  EXPECT_EQ(ReadAmount("+5"), 5);
  EXPECT_EQ(ReadAmount("-5"), -5);
  EXPECT_EQ(ReadAmount("007"), 7);
  EXPECT_EQ(ReadAmount("12abc"), 12);
  EXPECT_EQ(ReadAmount(" 7"), 7);
  EXPECT_EQ(ReadAmount(""), 0);
  EXPECT_EQ(ReadAmount("abc"), 0);
  EXPECT_EQ(ReadAmount("- 5"), 0);
  EXPECT_EQ(ReadAmount("99999999999999999999"), 2147483647);
  EXPECT_EQ(ReadAmount("-99999999999999999999"), -2147483647 - 1);

  EXPECT_TRUE(ComputeForecast("007", kKbytes, 1 << 20)
                  .label.starts_with("The file will be split into 147 parts of 7 kilobytes."));
  EXPECT_EQ(ComputeForecast("-5", kBytes, 100).label, "You need at least an amount of 1!");
  EXPECT_EQ(ComputeForecast("", kBytes, 100).label, "You need at least an amount of 1!");
  EXPECT_TRUE(ComputeForecast("4700", kMbytes, std::int64_t{1} << 40)
                  .label.starts_with("The file will be split into 224 parts of 4,700 megabytes."));
}

TEST(Forecast, TransferTimesCountMinutesFromOne) {
  EXPECT_EQ(TransferTimesText(184'320),
            "\nEstimated transfer times per part HH:MM:\n   Modem: 0:02, ISDN: 0:01, DSL/LAN: <0:01");
  EXPECT_TRUE(TransferTimesText(10'874'980).find("Modem: 0:60,") != std::string::npos);
  EXPECT_TRUE(TransferTimesText(11'059'200).find("Modem: 1:01,") != std::string::npos);
  EXPECT_TRUE(TransferTimesText(100).find("Modem: 0:01,") != std::string::npos);
}

TEST(Forecast, RejectedPlansAreNotRunnable) {
  EXPECT_TRUE(ComputeForecast("3", kParts, 10'000).runnable);
  EXPECT_TRUE(ComputeForecast("100", kBytes, 10'000).runnable);
  EXPECT_FALSE(ComputeForecast("0", kBytes, 10'000).runnable);
  EXPECT_FALSE(ComputeForecast("1", kParts, 10'000).runnable);

  // Three thousand million one-byte parts do not fit a 32-bit count.
  const Forecast tooMany = ComputeForecast("1", kBytes, 3'000'000'000);
  EXPECT_FALSE(tooMany.runnable);
  EXPECT_EQ(tooMany.label, "You need at most 2,147,483,647 parts!");
  EXPECT_FALSE(tooMany.partCount.has_value());
}

TEST(Forecast, NoUnitSelectedGivesADefinedText) {
  Forecast forecast = ComputeForecast("100", -1, 10'000);
  EXPECT_EQ(forecast.partSize, 100) << "the amount taken as bytes";
  EXPECT_EQ(forecast.label, "Select the units for the parts!");
  EXPECT_FALSE(forecast.runnable);
  EXPECT_FALSE(forecast.partCount.has_value());

  forecast = ComputeForecast("100000", 7, 10'000);
  EXPECT_EQ(forecast.label, "WARNING: partsize bigger than filesize!");
}

TEST(SizeToText, GroupsDigitsInThrees) {
  EXPECT_EQ(SizeToText(0), "0");
  EXPECT_EQ(SizeToText(999), "999");
  EXPECT_EQ(SizeToText(1000), "1,000");
  EXPECT_EQ(SizeToText(999'999), "999,999");
  EXPECT_EQ(SizeToText(1'000'000), "1,000,000");
  EXPECT_EQ(SizeToText(3'333'334), "3,333,334");
  EXPECT_EQ(SizeToText(-1000), "-1,000");
  EXPECT_EQ(SizeToText(-999), "-999");
  EXPECT_EQ(SizeToText(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(SourceSizeText, RoundsTheDoubleSumAsShown) {
  const std::pair<std::int64_t, const char*> rows[] = {
      {0, "0.1 bytes. (0 bytes)"},
      {500, "500.1 bytes. (500 bytes)"},
      {1'023, "1023.0 bytes. (1,023 bytes)"},
      {1'024, "1.1 kbytes. (1,024 bytes)"},
      {2'048, "2.0 kbytes. (2,048 bytes)"},
      {3'670'016, "3.5 Mbytes. (3,670,016 bytes)"},
      {734'003'200, "700.0 Mbytes. (734,003,200 bytes)"},
      {4'700'000'000, "4.4 Gbytes. (4,700,000,000 bytes)"},
      {1'099'511'627'776, "1.1 Tbytes. (1,099,511,627,776 bytes)"},
      {std::int64_t{2048} << 40, "2048.1 Tbytes. (2,251,799,813,685,248 bytes)"},
  };
  for (const auto& [size, text] : rows) EXPECT_EQ(SourceSizeText(size), text);
}

TEST(SourcePathDisplay, ShortensPathsOverSixtyBytes) {
  const platform::PathStyle& windows = platform::kWindowsPaths;
  const std::string sixty = "C:\\" + std::string(51, 'd') + "\\a.avi";
  ASSERT_EQ(sixty.size(), 60u);
  EXPECT_EQ(SourcePathDisplay(sixty, windows), sixty);
  const std::string sixtyOne = "C:\\" + std::string(52, 'd') + "\\a.avi";
  EXPECT_EQ(SourcePathDisplay(sixtyOne, windows), "C:...\\a.avi");
  EXPECT_EQ(SourcePathDisplay(
                "C:\\Documents and Settings\\Owner\\My Documents\\Videos\\Holiday\\beach-2005.avi",
                windows),
            "C:...\\beach-2005.avi");
  EXPECT_EQ(SourcePathDisplay("\\\\server\\share\\" + std::string(50, 's') + "\\clip.avi", windows),
            "...\\clip.avi");
  EXPECT_EQ(SourcePathDisplay("/home/" + std::string(60, 'h') + "/clip.avi", platform::kPosixPaths),
            ".../clip.avi");
  EXPECT_EQ(OpenErrorDisplay("/x/y"), "/x/y, WARNING: OPEN ERROR");
}

TEST(ProposedBatchName, DropsOnlyTheLastExtension) {
  EXPECT_EQ(ProposedBatchName("D:\\video\\trip.part1.avi", platform::kWindowsPaths),
            "trip.part1.BAT");
  EXPECT_EQ(ProposedBatchName("/video/README", platform::kPosixPaths), "README.BAT");
}

}  // namespace
}  // namespace zelbo::gui
