// Virtual time.
#include "platform/virtual/virtual_time.h"

#include <chrono>

namespace velora {

Scheduler::TaskId VirtualTime::ScheduleAfter(std::int64_t delayUs, std::function<void()> task) {
  return tasks_.Add(now_ + (delayUs > 0 ? delayUs : 0), std::move(task));
}

void VirtualTime::Cancel(TaskId id) {
  tasks_.Cancel(id);
}

bool VirtualTime::RunNextBatch() {
  if (tasks_.Empty()) return false;
  if (tasks_.EarliestDue() > now_) now_ = tasks_.EarliestDue();
  tasks_.RunDue(now_);
  return true;
}

void VirtualTime::RunUntil(std::int64_t us) {
  while (!tasks_.Empty() && tasks_.EarliestDue() <= us) {
    RunNextBatch();
  }
  if (us > now_) now_ = us;
}

VirtualClock::VirtualClock(const VirtualTime& time, std::uint32_t startTickMs, DateTime startDate)
    : time_(time), startTickMs_(startTickMs), startDate_(startDate) {}

std::uint32_t VirtualClock::TickMs() {
  return startTickMs_ + static_cast<std::uint32_t>(time_.NowUs() / 1000);
}

DateTime VirtualClock::LocalNow() {
  using namespace std::chrono;
  constexpr std::int64_t MsPerDay = 86'400'000;
  const std::int64_t startOfDayMs =
      ((startDate_.hour * 60LL + startDate_.minute) * 60 + startDate_.second) * 1000 +
      startDate_.millisecond;
  const std::int64_t totalMs = startOfDayMs + time_.NowUs() / 1000;
  const std::int64_t dayOffset = totalMs / MsPerDay;
  std::int64_t msOfDay = totalMs % MsPerDay;
  const year_month_day startDay{year{startDate_.year},
                                month{static_cast<unsigned>(startDate_.month)},
                                day{static_cast<unsigned>(startDate_.day)}};
  const year_month_day today{sys_days{startDay} + days{dayOffset}};
  DateTime now;
  now.year = static_cast<int>(today.year());
  now.month = static_cast<int>(static_cast<unsigned>(today.month()));
  now.day = static_cast<int>(static_cast<unsigned>(today.day()));
  now.millisecond = static_cast<int>(msOfDay % 1000);
  msOfDay /= 1000;
  now.second = static_cast<int>(msOfDay % 60);
  msOfDay /= 60;
  now.minute = static_cast<int>(msOfDay % 60);
  now.hour = static_cast<int>(msOfDay / 60);
  now.utcOffsetMinutes = startDate_.utcOffsetMinutes;
  now.utcOffsetKnown = startDate_.utcOffsetKnown;
  return now;
}

void VirtualTimer::Start(int ms) {
  Stop();
  if (ms >= 0) intervalMs_ = ms;
  task_ = scheduler_.ScheduleAfter(std::int64_t{intervalMs_} * 1000, [this] {
    task_ = 0;
    // A copy, because the handler may destroy this timer.
    if (auto handler = handler_) handler();
  });
}

void VirtualTimer::Stop() {
  if (task_ != 0) scheduler_.Cancel(task_);
  task_ = 0;
}

void VirtualEventPump::ProcessEvents() {
  ++batches_;
  if (!time_.RunNextBatch()) {
    throw VirtualStall("virtual time stalled at " + std::to_string(time_.NowUs()) +
                       " us: a wait has nothing scheduled that could end it");
  }
}

}  // namespace velora
