// Virtual time: order of tasks, batches, the clock, the one-shot timer and the stalled pump.
#include "platform/virtual/virtual_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velora {
namespace {

TEST(VirtualTimeTest, TasksRunByTimeAndThenInTheOrderTheyWereScheduled) {
  VirtualTime time;
  std::string order;
  time.ScheduleAfter(300, [&] { order += 'c'; });
  time.ScheduleAfter(100, [&] { order += 'a'; });
  time.ScheduleAfter(300, [&] { order += 'd'; });
  time.ScheduleAfter(100, [&] { order += 'b'; });
  const auto cancelled = time.ScheduleAfter(200, [&] { order += 'x'; });
  time.Cancel(cancelled);
  time.Cancel(cancelled);  // twice is harmless
  time.Cancel(9999);

  EXPECT_TRUE(time.RunNextBatch());
  EXPECT_EQ(time.NowUs(), 100);
  EXPECT_EQ(order, "ab");
  EXPECT_TRUE(time.RunNextBatch());
  EXPECT_EQ(time.NowUs(), 300);
  EXPECT_EQ(order, "abcd");
  EXPECT_FALSE(time.RunNextBatch());
  EXPECT_EQ(time.NowUs(), 300);
}

TEST(VirtualTimeTest, TasksScheduledForNowRunInTheNextBatch) {
  VirtualTime time;
  std::string order;
  time.ScheduleAfter(50, [&] {
    order += '1';
    time.ScheduleAfter(0, [&] { order += '3'; });
    time.ScheduleAfter(-20, [&] { order += '4'; });  // a past time counts as now
  });
  time.ScheduleAfter(50, [&] { order += '2'; });
  time.RunNextBatch();
  EXPECT_EQ(order, "12");
  time.RunNextBatch();
  EXPECT_EQ(order, "1234");
  EXPECT_EQ(time.NowUs(), 50);
}

TEST(VirtualTimeTest, ATaskMayCancelALaterOneOfTheSameBatch) {
  VirtualTime time;
  bool ran = false;
  Scheduler::TaskId second = 0;
  time.ScheduleAfter(10, [&] { time.Cancel(second); });
  second = time.ScheduleAfter(10, [&] { ran = true; });
  time.RunNextBatch();
  EXPECT_FALSE(ran);
  EXPECT_EQ(time.PendingTasks(), 0u);
}

TEST(VirtualTimeTest, RunUntilStopsAtTheGivenTime) {
  VirtualTime time;
  int runs = 0;
  time.ScheduleAfter(1000, [&] { ++runs; });
  time.ScheduleAfter(2000, [&] { ++runs; });
  time.ScheduleAfter(2001, [&] { ++runs; });
  time.RunUntil(2000);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(time.NowUs(), 2000);
  time.RunFor(500);
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(time.NowUs(), 2500);
}

TEST(VirtualTimeTest, AWaitWithNothingScheduledFailsInsteadOfHanging) {
  VirtualTime time;
  VirtualEventPump pump(time);
  bool ran = false;
  time.ScheduleAfter(5, [&] { ran = true; });
  pump.ProcessEvents();
  EXPECT_TRUE(ran);
  EXPECT_THROW(pump.ProcessEvents(), VirtualStall);
  EXPECT_FALSE(pump.Terminating());
  pump.RequestTermination();
  EXPECT_TRUE(pump.Terminating());
}

TEST(VirtualClockTest, MillisecondsFollowMicroseconds) {
  VirtualTime time;
  VirtualClock clock(time, 250);
  EXPECT_EQ(clock.TickMs(), 250u);
  time.RunUntil(999);
  EXPECT_EQ(clock.TickMs(), 250u);
  time.RunUntil(1000);
  EXPECT_EQ(clock.TickMs(), 251u);

  VirtualClock wrapping(time, 0xFFFFFFF0u);
  time.RunUntil(33'000);
  EXPECT_EQ(wrapping.TickMs(), 0x11u);  // wraps like the system tick count
}

TEST(VirtualClockTest, LocalTimeRollsOverDaysMonthsAndYears) {
  VirtualTime time;
  VirtualClock clock(time, 0, DateTime{2026, 12, 31, 23, 59, 59, 500});
  DateTime now = clock.LocalNow();
  EXPECT_EQ(now.year, 2026);
  EXPECT_EQ(now.second, 59);
  time.RunUntil(700'000);
  now = clock.LocalNow();
  EXPECT_EQ(now.year, 2027);
  EXPECT_EQ(now.month, 1);
  EXPECT_EQ(now.day, 1);
  EXPECT_EQ(now.hour, 0);
  EXPECT_EQ(now.minute, 0);
  EXPECT_EQ(now.second, 0);
  EXPECT_EQ(now.millisecond, 200);

  VirtualTime leap;
  VirtualClock february(leap, 0, DateTime{2028, 2, 28, 12, 0, 0, 0});
  leap.RunUntil(24LL * 3600 * 1'000'000);
  EXPECT_EQ(february.LocalNow().month, 2);
  EXPECT_EQ(february.LocalNow().day, 29);
  EXPECT_EQ(february.LocalNow().hour, 12);
}

TEST(VirtualTimerTest, ExpiresOnceAfterItsIntervalAndRestartsCleanly) {
  VirtualTime time;
  VirtualTimer timer(time);
  std::vector<std::int64_t> expiries;
  timer.SetHandler([&] { expiries.push_back(time.NowUs()); });

  timer.Start(3);
  EXPECT_TRUE(timer.Active());
  time.RunUntil(2000);
  timer.Start(4);  // a restart replaces the running interval
  time.RunUntil(20'000);
  ASSERT_EQ(expiries.size(), 1u);
  EXPECT_EQ(expiries[0], 6000);
  EXPECT_FALSE(timer.Active());

  timer.Start(-1);  // refused: the previous interval stays
  EXPECT_EQ(timer.Interval(), 4);
  time.RunFor(10'000);
  ASSERT_EQ(expiries.size(), 2u);
  EXPECT_EQ(expiries[1], 24'000);

  timer.Start(1);
  timer.Stop();
  time.RunFor(10'000);
  EXPECT_EQ(expiries.size(), 2u);
  EXPECT_EQ(time.PendingTasks(), 0u);
}

TEST(VirtualTimerTest, ZeroIntervalExpiresAtTheNextBatch) {
  VirtualTime time;
  VirtualTimer timer(time);
  bool expired = false;
  timer.SetHandler([&] { expired = true; });
  timer.Start(0);
  EXPECT_FALSE(expired);
  time.RunNextBatch();
  EXPECT_TRUE(expired);
  EXPECT_EQ(time.NowUs(), 0);
}

}  // namespace
}  // namespace velora
