// Real time for the virtual radio: tasks run from one precise Qt timer on the thread's event
// loop; the clock is monotonic in microseconds.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include "platform/virtual_scheduler.h"

namespace velora {

class QtScheduler : public Scheduler {
 public:
  QtScheduler();
  std::int64_t NowUs() const override { return elapsed_.nsecsElapsed() / 1000; }
  TaskId ScheduleAfter(std::int64_t delayUs, std::function<void()> task) override;
  void Cancel(TaskId id) override;
  std::size_t PendingTasks() const { return tasks_.Size(); }

 private:
  void Fire();
  void Rearm();

  QElapsedTimer elapsed_;
  QTimer timer_;
  TaskQueue tasks_;
  bool firing_ = false;
};

}  // namespace velora
