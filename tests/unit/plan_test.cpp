#include <gtest/gtest.h>

#include "console/split_run.h"

namespace zelbo::console {
namespace {

SplitRequest BySize(std::int64_t partSize) { return {"big.iso", partSize, 0}; }
SplitRequest ByCount(std::int32_t partCount) { return {"big.iso", 0, partCount}; }

std::string TextFor(std::int64_t sourceSize, const SplitRequest& request) {
  return PlanText(PlanSplit(sourceSize, request), sourceSize, request);
}

TEST(SizePlan, WholePartsAndRemainder) {
  const ConsolePlan plan = PlanSplit(3000000, BySize(1433600));
  EXPECT_EQ(plan.problem, PlanProblem::kNone);
  EXPECT_EQ(plan.wholeParts, 2);
  EXPECT_EQ(plan.remainder, 132800);
  EXPECT_EQ(plan.partsToWrite, 3);
  EXPECT_EQ(TextFor(3000000, BySize(1433600)),
            "2 parts of 1433600 bytes\n and a remainder of 132800\n");
  // Exact multiples and a part as large as the file have no remainder line.
  EXPECT_EQ(TextFor(4096, BySize(1024)), "4 parts of 1024 bytes\n");
  EXPECT_EQ(TextFor(4096, BySize(4096)), "1 parts of 4096 bytes\n");
  EXPECT_EQ(PlanSplit(4096, BySize(4096)).partsToWrite, 1);
}

TEST(SizePlan, ThousandWholePartsIsTheLimit) {
  EXPECT_EQ(PlanSplit(1000 * 7, BySize(7)).partsToWrite, 1000);
  // The limit counts whole parts, so a remainder makes one file more.
  EXPECT_EQ(PlanSplit(1000 * 7 + 1, BySize(7)).partsToWrite, 1001);
  const ConsolePlan refused = PlanSplit(1001 * 7, BySize(7));
  EXPECT_EQ(refused.problem, PlanProblem::kTooManyParts);
  EXPECT_EQ(TextFor(3000000, BySize(1024)), "2929 parts is more than is supported (1000 max.)!\n");
  // Counts beyond 32 bits are printed whole.
  EXPECT_EQ(TextFor(4500000000, BySize(1)),
            "4500000000 parts is more than is supported (1000 max.)!\n");
}

TEST(SizePlan, PartsLargerThanTheFileAreRefused) {
  EXPECT_EQ(PlanSplit(1000, BySize(1001)).problem, PlanProblem::kPartsTooLarge);
  EXPECT_EQ(TextFor(0, BySize(1)), "...\nThe file is only 0 bytes long!\nYour parts are too large!\n");
  EXPECT_EQ(TextFor(4500000000, BySize(4928307200)),
            "...\nThe file is only 4500000000 bytes long!\nYour parts are too large!\n");
}

TEST(CountPlan, RoundsThePartSizeUpAndMayWriteFewerParts) {
  EXPECT_EQ(TextFor(12, ByCount(5)), "5 equal parts of 3 bytes.\n");
  EXPECT_EQ(PlanSplit(12, ByCount(5)).partsToWrite, 4);
  EXPECT_EQ(TextFor(3, ByCount(10)), "10 equal parts of 1 bytes.\n");
  EXPECT_EQ(PlanSplit(3, ByCount(10)).partsToWrite, 3);
  EXPECT_EQ(PlanSplit(4500000000, ByCount(4)).partSize, 1125000000);
  EXPECT_EQ(PlanSplit(4500000001, ByCount(4)).partSize, 1125000001);
  // No limit on the count.
  EXPECT_EQ(PlanSplit(1500, ByCount(1500)).partsToWrite, 1500);
  // A count outranks a size given as well.
  EXPECT_EQ(PlanSplit(12, SplitRequest{"x", 1, 2}).partSize, 6);
}

TEST(CountPlan, AnEmptyFileIsRefusedInsteadOfDividingByZero) {
  const ConsolePlan plan = PlanSplit(0, ByCount(3));
  EXPECT_EQ(plan.problem, PlanProblem::kPartsTooLarge);
  EXPECT_EQ(TextFor(0, ByCount(3)), "...\nThe file is only 0 bytes long!\nYour parts are too large!\n");
}

}  // namespace
}  // namespace zelbo::console
