// The Qt time adapters: the precise timer through the event pump, termination, real-time tasks.
#include "platform/qt/qt_time.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <string>

#include "platform/qt/qt_scheduler.h"
#include "platform/qt_test_support.h"

namespace velora {
namespace {

TEST(QtTimeTest, TheTimerEndsAWaitOfThePump) {
  testing::TestApp();
  QtOneShotTimer timer;
  QtEventPump pump;
  bool expired = false;
  timer.SetHandler([&] { expired = true; });
  QElapsedTimer elapsed;
  elapsed.start();
  timer.Start(20);
  EXPECT_TRUE(timer.Active());
  while (!expired)
    pump.ProcessEvents();
  EXPECT_GE(elapsed.elapsed(), 20);
  EXPECT_LT(elapsed.elapsed(), 1000);

  timer.Start(-5);  // refused: the previous 20 ms stay
  elapsed.restart();
  expired = false;
  while (!expired)
    pump.ProcessEvents();
  EXPECT_GE(elapsed.elapsed(), 20);

  timer.Start(5);
  timer.Stop();
  EXPECT_FALSE(timer.Active());
}

TEST(QtTimeTest, TerminationIsSeenByTheWaitingCode) {
  testing::TestApp();
  QtEventPump pump;
  EXPECT_FALSE(pump.Terminating());
  QTimer::singleShot(10, [&] { pump.RequestTermination(); });
  QElapsedTimer elapsed;
  elapsed.start();
  while (!pump.Terminating())
    pump.ProcessEvents();
  EXPECT_LT(elapsed.elapsed(), 1000);
}

TEST(QtTimeTest, TheClockIsMonotonicFromStart) {
  QtClock clock;
  const std::uint32_t first = clock.TickMs();
  EXPECT_LT(first, 1000u);
  QTest::qSleep(5);
  EXPECT_GE(clock.TickMs(), first + 5);
  const DateTime now = clock.LocalNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
}

TEST(QtSchedulerTest, TasksRunInTimeOrderInRealTime) {
  testing::TestApp();
  QtScheduler scheduler;
  std::string order;
  const std::int64_t start = scheduler.NowUs();
  std::int64_t lastRanUs = 0;
  scheduler.ScheduleAfter(15'000, [&] {
    order += 'c';
    lastRanUs = scheduler.NowUs();
  });
  scheduler.ScheduleAfter(2'000, [&] { order += 'a'; });
  const auto cancelled = scheduler.ScheduleAfter(5'000, [&] { order += 'x'; });
  scheduler.ScheduleAfter(8'000, [&] {
    order += 'b';
    scheduler.ScheduleAfter(0, [&] { order += 'B'; });
  });
  scheduler.Cancel(cancelled);
  EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() == 4; }, 2000));
  EXPECT_EQ(order, "abBc");
  EXPECT_GE(lastRanUs - start, 15'000);
  EXPECT_EQ(scheduler.PendingTasks(), 0u);
}

}  // namespace
}  // namespace velora
