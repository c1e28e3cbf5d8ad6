// What the virtual radio needs of time: the present in microseconds and one-off tasks. Virtual
// time implements it for tests and tools, a Qt adapter for real time; both keep a TaskQueue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velora {

class Scheduler {
 public:
  using TaskId = std::uint64_t;

  virtual ~Scheduler() = default;
  virtual std::int64_t NowUs() const = 0;
  // Runs the task once, no earlier than delayUs from now (a negative delay counts as 0). The
  // task runs as an event of the owner's event loop. Ids are never 0.
  virtual TaskId ScheduleAfter(std::int64_t delayUs, std::function<void()> task) = 0;
  // Cancelling a task that has run or is unknown does nothing.
  virtual void Cancel(TaskId id) = 0;
};

// Tasks by due time; tasks due at the same time run in the order they were added. A binary heap
// of due times over slots that are used again: adding, cancelling and running a task allocate
// nothing once the queue has grown (the radio adds one per byte on the air).
class TaskQueue {
 public:
  Scheduler::TaskId Add(std::int64_t dueUs, std::function<void()> task);
  void Cancel(Scheduler::TaskId id);
  bool Empty() const { return live_ == 0; }
  std::size_t Size() const { return live_; }
  // Only when not empty.
  std::int64_t EarliestDue() const;
  // Runs the tasks due at or before nowUs that were queued before the call (tasks they add run
  // in a later call); returns how many ran.
  std::size_t RunDue(std::int64_t nowUs);
  // Takes the earliest task out if it is due at or before nowUs (one at a time, in order).
  bool TakeDue(std::int64_t nowUs, std::int64_t& dueUs, std::function<void()>& task);

 private:
  struct Entry {
    std::int64_t due;
    Scheduler::TaskId id;
  };
  struct Slot {
    Scheduler::TaskId id = 0;  // 0 while free
    std::function<void()> task;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.due != b.due ? a.due > b.due : a.id > b.id;
    }
  };
  static std::size_t SlotOf(Scheduler::TaskId id) { return id & SlotMask; }
  bool Live(const Entry& e) const { return slots_[SlotOf(e.id)].id == e.id; }
  // Drops cancelled tasks from the top of the heap.
  void Prune() const;
  std::function<void()> Release(const Entry& e);

  // An id is the number of the task (so ids grow in the order of adding) above its slot.
  static constexpr int SlotBits = 24;
  static constexpr Scheduler::TaskId SlotMask = (Scheduler::TaskId{1} << SlotBits) - 1;

  mutable std::vector<Entry> heap_;
  std::vector<Slot> slots_;
  std::vector<std::size_t> free_;
  Scheduler::TaskId nextNumber_ = 1;
  std::size_t live_ = 0;
};

}  // namespace velora
