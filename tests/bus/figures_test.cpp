#include "bus/figures.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

TEST(CycleTimesTest, BucketsAreCumulativeAndTheLastTimesKeepTheirOrderOnceTheRingIsFull) {
  CycleTimes times;
  for (std::uint32_t ms : {10u, 25u, 26u, 120u, 20000u})
    times.Add(ms);
  const auto cumulative = times.Cumulative();
  EXPECT_EQ(cumulative[0], 2u) << "at or below 25 ms";
  EXPECT_EQ(cumulative[1], 3u) << "at or below 50 ms";
  EXPECT_EQ(cumulative[3], 4u) << "at or below 200 ms";
  EXPECT_EQ(cumulative[CycleTimes::BoundsMs.size() - 1], 4u) << "at or below 10 s";
  EXPECT_EQ(cumulative.back(), 5u) << "all";
  EXPECT_EQ(times.SumMs(), 20181u);

  for (std::uint32_t ms = 0; ms < CycleTimes::Kept; ++ms)
    times.Add(1000 + ms);
  const std::vector<std::uint32_t> recent = times.Recent();
  ASSERT_EQ(recent.size(), CycleTimes::Kept);
  EXPECT_EQ(recent.front(), 1000u) << "the five first ones are gone";
  EXPECT_EQ(recent.back(), 1000u + CycleTimes::Kept - 1);
  EXPECT_EQ(times.Count(), CycleTimes::Kept + 5);
}

}  // namespace
}  // namespace velora
