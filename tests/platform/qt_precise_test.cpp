// Precise real time: the wake-up on the monotonic clock, the timer built on it, and the real-time
// scheduler whose tasks keep time however late they run.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/qt/qt_precise_wakeup.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_time.h"
#include "platform/qt_test_support.h"

namespace velora {
namespace {

TEST(PreciseWakeupTest, WakesAtTheMomentNotBeforeAndOnlyOnce) {
  testing::TestApp();
  std::vector<std::int64_t> woken;
  PreciseWakeup wakeup([&] { woken.push_back(MonotonicUs()); });
  const std::int64_t at = MonotonicUs() + 3'000;
  wakeup.At(MonotonicUs() + 200'000);
  wakeup.At(at);  // replaces the first
  EXPECT_TRUE(QTest::qWaitFor([&] { return !woken.empty(); }, 2000));
  QTest::qWait(20);
  ASSERT_EQ(woken.size(), 1u);
  EXPECT_GE(woken[0], at);
  EXPECT_FALSE(wakeup.Armed());
}

TEST(PreciseWakeupTest, APastMomentWakesAtOnceAndACancelledOneNever) {
  testing::TestApp();
  int woken = 0;
  PreciseWakeup wakeup([&] { ++woken; });
  wakeup.At(MonotonicUs() - 1'000'000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return woken == 1; }, 1000));
  wakeup.At(MonotonicUs() + 2'000);
  wakeup.Cancel();
  // Already expired but not yet handed over: cancelling still holds it back.
  wakeup.At(MonotonicUs());
  QTest::qSleep(2);
  wakeup.Cancel();
  QTest::qWait(30);
  EXPECT_EQ(woken, 1);
}

TEST(ShortTimeSlicesTest, AskingKeepsTheNiceValue) {
  // In a child: the test process keeps its own scheduling.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setpriority(PRIO_PROCESS, 0, 7) != 0) ::_exit(2);
    RequestShortTimeSlices();  // granted or not, as the kernel has it
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    ::_exit(errno == 0 && nice == 7 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(QtOneShotTimerTest, MayBeDestroyedInsideItsOwnExpiry) {
  testing::TestApp();
  auto timer = std::make_unique<QtOneShotTimer>();
  bool expired = false;
  timer->SetHandler([&] {
    expired = true;
    timer.reset();
  });
  timer->Start(1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return expired; }, 1000));
  EXPECT_EQ(timer, nullptr);
  QTest::qWait(10);
}

TEST(QtSchedulerTest, ALateTaskStillSeesItsOwnMomentAndWhatItSchedulesKeepsTime) {
  testing::TestApp();
  QtScheduler scheduler;
  std::vector<std::int64_t> seen;
  const std::int64_t asked = scheduler.NowUs();
  scheduler.ScheduleAfter(2'000, [&] {
    seen.push_back(scheduler.NowUs());
    scheduler.ScheduleAfter(521, [&] { seen.push_back(scheduler.NowUs()); });
  });
  QTest::qSleep(30);  // the event loop is busy elsewhere: both tasks are due when it returns
  EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() == 2; }, 2000));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_GE(seen[0], asked + 2'000);
  EXPECT_LT(seen[0], asked + 10'000) << "the moment it was due, not the moment it ran";
  EXPECT_EQ(seen[1], seen[0] + 521) << "timed from the moment the first was due";
  EXPECT_GE(scheduler.NowUs(), asked + 30'000) << "outside a task the clock";
  EXPECT_GE(scheduler.LatenessUs(), 2 * 20'000);
  EXPECT_EQ(scheduler.TasksRun(), 2u);
}

}  // namespace
}  // namespace velora
