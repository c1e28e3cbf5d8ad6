// Real time for the virtual radio.
#include "platform/qt_scheduler.h"

namespace velora {

namespace {

// Late tasks may schedule further tasks that are already due; this many rounds at most before
// other events get their turn.
constexpr int MaxRoundsPerFiring = 64;

}  // namespace

QtScheduler::QtScheduler() {
  elapsed_.start();
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
}

Scheduler::TaskId QtScheduler::ScheduleAfter(std::int64_t delayUs, std::function<void()> task) {
  const TaskId id = tasks_.Add(NowUs() + (delayUs > 0 ? delayUs : 0), std::move(task));
  Rearm();
  return id;
}

void QtScheduler::Cancel(TaskId id) {
  tasks_.Cancel(id);
  Rearm();
}

void QtScheduler::Fire() {
  firing_ = true;
  for (int round = 0; round < MaxRoundsPerFiring; ++round) {
    if (tasks_.RunDue(NowUs()) == 0) break;
  }
  firing_ = false;
  Rearm();
}

void QtScheduler::Rearm() {
  if (firing_) return;
  if (tasks_.Empty()) {
    timer_.stop();
    return;
  }
  const std::int64_t waitUs = tasks_.EarliestDue() - NowUs();
  const int ms = waitUs <= 0 ? 0 : static_cast<int>((waitUs + 999) / 1000);
  timer_.start(ms);
}

}  // namespace velora
