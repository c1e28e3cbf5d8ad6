// Virtual time: a clock, a task queue, a one-shot timer and an event pump whose ProcessEvents()
// jumps straight to the next scheduled event. Runs are fast and the same every time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/date_time.h"
#include "common/ports.h"
#include "platform/virtual/virtual_scheduler.h"

namespace velora {

// A wait found nothing scheduled that could ever end it.
class VirtualStall : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class VirtualTime : public Scheduler {
 public:
  std::int64_t NowUs() const override { return now_; }
  TaskId ScheduleAfter(std::int64_t delayUs, std::function<void()> task) override;
  void Cancel(TaskId id) override;

  // Runs the tasks due now; with none due, first moves the clock to the earliest scheduled task.
  // Tasks that the batch schedules for the same instant run in the next batch. False when
  // nothing is scheduled at all.
  bool RunNextBatch();
  // Runs every task due up to the given time and leaves the clock there.
  void RunUntil(std::int64_t us);
  void RunFor(std::int64_t us) { RunUntil(now_ + us); }
  std::size_t PendingTasks() const { return tasks_.Size(); }

 private:
  std::int64_t now_ = 0;
  TaskQueue tasks_;
};

// Milliseconds and local time that follow virtual time from a chosen start; the start's UTC offset
// is kept.
class VirtualClock : public Clock {
 public:
  explicit VirtualClock(const VirtualTime& time, std::uint32_t startTickMs = 0,
                        DateTime startDate = DateTime{2026, 12, 6, 9, 7, 0, 0});
  std::uint32_t TickMs() override;
  DateTime LocalNow() override;

 private:
  const VirtualTime& time_;
  std::uint32_t startTickMs_;
  DateTime startDate_;
};

// A one-shot timer on any scheduler.
class VirtualTimer : public OneShotTimer {
 public:
  explicit VirtualTimer(Scheduler& scheduler) : scheduler_(scheduler) {}
  ~VirtualTimer() override { Stop(); }
  VirtualTimer(const VirtualTimer&) = delete;
  VirtualTimer& operator=(const VirtualTimer&) = delete;

  // A negative interval is refused and the previous one stays in force.
  void Start(int ms) override;
  void Stop() override;
  void SetHandler(std::function<void()> onExpiry) override { handler_ = std::move(onExpiry); }
  bool Active() const { return task_ != 0; }
  int Interval() const { return intervalMs_; }

 private:
  Scheduler& scheduler_;
  std::function<void()> handler_;
  Scheduler::TaskId task_ = 0;
  int intervalMs_ = 5;
};

class VirtualTimerFactory : public OneShotTimerFactory {
 public:
  explicit VirtualTimerFactory(Scheduler& scheduler) : scheduler_(scheduler) {}
  std::unique_ptr<OneShotTimer> CreateTimer() override {
    return std::make_unique<VirtualTimer>(scheduler_);
  }

 private:
  Scheduler& scheduler_;
};

class VirtualEventPump : public EventPump {
 public:
  explicit VirtualEventPump(VirtualTime& time) : time_(time) {}
  // Throws VirtualStall when nothing is scheduled: the wait could never end.
  void ProcessEvents() override;
  bool Terminating() const override { return terminating_; }
  void RequestTermination() { terminating_ = true; }
  void ClearTermination() { terminating_ = false; }
  std::uint64_t Batches() const { return batches_; }

 private:
  VirtualTime& time_;
  bool terminating_ = false;
  std::uint64_t batches_ = 0;
};

}  // namespace velora
