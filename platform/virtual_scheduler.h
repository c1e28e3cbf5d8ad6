// What the virtual radio needs of time: the present in microseconds and one-off tasks. Virtual
// time implements it for tests and tools, a Qt adapter for real time; both keep a TaskQueue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>

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

// Tasks by due time; tasks due at the same time run in the order they were added.
class TaskQueue {
 public:
  Scheduler::TaskId Add(std::int64_t dueUs, std::function<void()> task);
  void Cancel(Scheduler::TaskId id);
  bool Empty() const { return tasks_.empty(); }
  std::size_t Size() const { return tasks_.size(); }
  // Only when not empty.
  std::int64_t EarliestDue() const { return tasks_.begin()->first.due; }
  // Runs the tasks due at or before nowUs that were queued before the call (tasks they add run
  // in a later call); returns how many ran.
  std::size_t RunDue(std::int64_t nowUs);

 private:
  struct Key {
    std::int64_t due;
    Scheduler::TaskId id;
    bool operator<(const Key& other) const {
      return due != other.due ? due < other.due : id < other.id;
    }
  };

  Scheduler::TaskId nextId_ = 1;
  std::map<Key, std::function<void()>> tasks_;
  std::unordered_map<Scheduler::TaskId, std::int64_t> dueOf_;
};

}  // namespace velora
