// Real time for the virtual radio.
#include "platform/qt/qt_scheduler.h"

namespace velora {

namespace {

// Tasks may schedule further tasks that are already due; this many at most before other events
// get their turn.
constexpr int MaxTasksPerFiring = 4096;

}  // namespace

QtScheduler::QtScheduler() : startUs_(MonotonicUs()), wakeup_([this] { Fire(); }) {}

std::int64_t QtScheduler::NowUs() const {
  return inTask_ ? taskDueUs_ : ClockUs();
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
  std::int64_t due = 0;
  std::function<void()> task;
  for (int n = 0; n < MaxTasksPerFiring; ++n) {
    const std::int64_t now = ClockUs();
    if (!tasks_.TakeDue(now, due, task)) break;
    latenessUs_ += now - due;
    ++tasksRun_;
    inTask_ = true;
    taskDueUs_ = due;
    task();
    inTask_ = false;
  }
  firing_ = false;
  Rearm();
}

void QtScheduler::Rearm() {
  if (firing_) return;
  if (tasks_.Empty()) {
    wakeup_.Cancel();
    armedDueUs_ = -1;
    return;
  }
  const std::int64_t due = tasks_.EarliestDue();
  if (due == armedDueUs_ && wakeup_.Armed()) return;
  armedDueUs_ = due;
  wakeup_.At(startUs_ + due);
}

}  // namespace velora
