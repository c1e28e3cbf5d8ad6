// The task queue shared by virtual and real time.
#include "platform/virtual_scheduler.h"

#include <vector>

namespace velora {

Scheduler::TaskId TaskQueue::Add(std::int64_t dueUs, std::function<void()> task) {
  const Scheduler::TaskId id = nextId_++;
  tasks_.emplace(Key{dueUs, id}, std::move(task));
  dueOf_.emplace(id, dueUs);
  return id;
}

void TaskQueue::Cancel(Scheduler::TaskId id) {
  const auto found = dueOf_.find(id);
  if (found == dueOf_.end()) return;
  tasks_.erase(Key{found->second, id});
  dueOf_.erase(found);
}

std::size_t TaskQueue::RunDue(std::int64_t nowUs) {
  std::vector<Key> batch;
  for (const auto& entry : tasks_) {
    if (entry.first.due > nowUs) break;
    batch.push_back(entry.first);
  }
  std::size_t ran = 0;
  for (const Key& key : batch) {
    const auto found = tasks_.find(key);
    if (found == tasks_.end()) continue;  // cancelled by an earlier task of the batch
    std::function<void()> task = std::move(found->second);
    tasks_.erase(found);
    dueOf_.erase(key.id);
    task();
    ++ran;
  }
  return ran;
}

}  // namespace velora
