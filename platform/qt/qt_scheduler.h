// Real time for the virtual radio: tasks run from one precise wake-up on the thread's event
// loop; the clock is monotonic in microseconds.
#pragma once

#include <cstdint>

#include "platform/qt/qt_precise_wakeup.h"
#include "platform/virtual/virtual_scheduler.h"

namespace velora {

class QtScheduler : public Scheduler {
 public:
  QtScheduler();
  // Inside a task the moment the task was due, elsewhere the clock: what a task schedules keeps
  // time however late the task itself ran, so lateness never adds up along a chain of tasks
  // (the bytes of a burst, a calculator's turnaround after the frame it heard).
  std::int64_t NowUs() const override;
  TaskId ScheduleAfter(std::int64_t delayUs, std::function<void()> task) override;
  void Cancel(TaskId id) override;
  std::size_t PendingTasks() const { return tasks_.Size(); }
  // How late the tasks ran, in microseconds, for the benchmark.
  std::uint64_t TasksRun() const { return tasksRun_; }
  std::int64_t LatenessUs() const { return latenessUs_; }

 private:
  void Fire();
  void Rearm();
  std::int64_t ClockUs() const { return MonotonicUs() - startUs_; }

  std::int64_t startUs_;
  PreciseWakeup wakeup_;
  TaskQueue tasks_;
  bool firing_ = false;
  std::int64_t armedDueUs_ = -1;
  bool inTask_ = false;
  std::int64_t taskDueUs_ = 0;
  std::uint64_t tasksRun_ = 0;
  std::int64_t latenessUs_ = 0;
};

}  // namespace velora
