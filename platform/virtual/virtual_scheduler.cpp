// The task queue shared by virtual and real time.
#include "platform/virtual/virtual_scheduler.h"

#include <algorithm>
#include <stdexcept>

namespace velora {

Scheduler::TaskId TaskQueue::Add(std::int64_t dueUs, std::function<void()> task) {
  std::size_t slot;
  if (!free_.empty()) {
    slot = free_.back();
    free_.pop_back();
  } else {
    slot = slots_.size();
    if (slot > SlotMask) throw std::length_error("too many scheduled tasks");
    slots_.emplace_back();
  }
  const Scheduler::TaskId id = (nextNumber_++ << SlotBits) | slot;
  slots_[slot].id = id;
  slots_[slot].task = std::move(task);
  heap_.push_back(Entry{dueUs, id});
  std::push_heap(heap_.begin(), heap_.end(), Later());
  ++live_;
  // Cancelled entries wait in the heap until they come to the top; do not let them pile up.
  if (heap_.size() > 64 && heap_.size() > 4 * live_) {
    std::erase_if(heap_, [this](const Entry& e) { return !Live(e); });
    std::make_heap(heap_.begin(), heap_.end(), Later());
  }
  return id;
}

void TaskQueue::Cancel(Scheduler::TaskId id) {
  const std::size_t slot = SlotOf(id);
  if (id == 0 || slot >= slots_.size() || slots_[slot].id != id) return;
  slots_[slot].id = 0;
  slots_[slot].task = nullptr;
  free_.push_back(slot);
  --live_;
}

void TaskQueue::Prune() const {
  while (!heap_.empty() && !Live(heap_.front())) {
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    heap_.pop_back();
  }
}

std::int64_t TaskQueue::EarliestDue() const {
  Prune();
  return heap_.front().due;
}

std::function<void()> TaskQueue::Release(const Entry& e) {
  Slot& slot = slots_[SlotOf(e.id)];
  std::function<void()> task = std::move(slot.task);
  slot.task = nullptr;
  slot.id = 0;
  free_.push_back(SlotOf(e.id));
  --live_;
  return task;
}

bool TaskQueue::TakeDue(std::int64_t nowUs, std::int64_t& dueUs, std::function<void()>& task) {
  Prune();
  if (heap_.empty() || heap_.front().due > nowUs) return false;
  const Entry e = heap_.front();
  std::pop_heap(heap_.begin(), heap_.end(), Later());
  heap_.pop_back();
  dueUs = e.due;
  task = Release(e);
  return true;
}

std::size_t TaskQueue::RunDue(std::int64_t nowUs) {
  // Tasks numbered from here on were added by the ones this call runs.
  const Scheduler::TaskId firstLater = nextNumber_ << SlotBits;
  std::vector<Entry> later;
  std::size_t ran = 0;
  while (!heap_.empty() && heap_.front().due <= nowUs) {
    const Entry e = heap_.front();
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    heap_.pop_back();
    if (!Live(e)) continue;  // cancelled, perhaps by an earlier task of this call
    if (e.id >= firstLater) {
      later.push_back(e);
      continue;
    }
    std::function<void()> task = Release(e);
    task();
    ++ran;
  }
  for (const Entry& e : later) {
    heap_.push_back(e);
    std::push_heap(heap_.begin(), heap_.end(), Later());
  }
  return ran;
}

}  // namespace velora
