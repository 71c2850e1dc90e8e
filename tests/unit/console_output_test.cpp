// Marks are gathered and written a few dozen times a second; lines at once.
#include <gtest/gtest.h>

#include "console/console_output.h"

namespace zelbo::console {
namespace {

using namespace std::chrono_literals;

TEST(CoalescingOutput, WritesMarksAtMostOncePerIntervalAndLinesAtOnce) {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::string> writes;
  {
    CoalescingOutput out([&](std::string_view text) { writes.emplace_back(text); },
                         [&] { return now; }, 40ms);
    out.Print("big.001\n");
    for (int mark = 0; mark < 100; ++mark) {  // a mark every millisecond
      now += 1ms;
      out.Mark(mark % 2 ? "/\b" : "|\b");
    }
    out.Print("big.002\n");
    out.Mark("|\b");
  }  // what is left goes out at the end
  ASSERT_EQ(writes.size(), 5u);
  EXPECT_EQ(writes[0], "big.001\n");
  EXPECT_EQ(writes[1].size(), 2u * 40) << "the marks of the first 40 ms";
  EXPECT_EQ(writes[2].size(), 2u * 40);
  EXPECT_EQ(writes[3].substr(0, 2u * 20), std::string(writes[1].substr(0, 40)))
      << "the rest, in order, then the line";
  EXPECT_TRUE(writes[3].ends_with("big.002\n"));
  EXPECT_EQ(writes[4], "|\b");
  std::string all;
  for (const std::string& write : writes) all += write;
  EXPECT_EQ(all.size(), 8u + 200 + 8 + 2);
}

TEST(CoalescingOutput, ASlowMarkIsShownAtOnce) {
  std::chrono::steady_clock::time_point now{};
  std::vector<std::string> writes;
  CoalescingOutput out([&](std::string_view text) { writes.emplace_back(text); },
                       [&] { return now; }, 40ms);
  now += 500ms;  // a slow medium: one read takes longer than the interval
  out.Mark("|\b");
  now += 500ms;
  out.Mark("/\b");
  EXPECT_EQ(writes, (std::vector<std::string>{"|\b", "/\b"}));
}

}  // namespace
}  // namespace zelbo::console
