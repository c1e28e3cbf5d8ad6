// The task queue under virtual and real time: order, cancelling, tasks added while tasks run,
// and slots used again.
#include "platform/virtual/virtual_scheduler.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace velora {
namespace {

TEST(TaskQueueTest, EarlierFirstAndTheSameMomentInTheOrderAdded) {
  TaskQueue queue;
  std::string order;
  for (const auto& [due, name] : std::vector<std::pair<int, char>>{
           {30, 'd'}, {10, 'a'}, {20, 'b'}, {20, 'c'}, {30, 'e'}, {5, '0'}}) {
    queue.Add(due, [&order, name = name] { order += name; });
  }
  EXPECT_EQ(queue.Size(), 6u);
  EXPECT_EQ(queue.EarliestDue(), 5);
  EXPECT_EQ(queue.RunDue(20), 4u);
  EXPECT_EQ(order, "0abc");
  EXPECT_EQ(queue.RunDue(100), 2u);
  EXPECT_EQ(order, "0abcde");
  EXPECT_TRUE(queue.Empty());
}

TEST(TaskQueueTest, CancellingBeforeOrDuringARunAndAfterIt) {
  TaskQueue queue;
  std::string order;
  const auto x = queue.Add(10, [&] { order += 'x'; });
  Scheduler::TaskId y = 0;
  queue.Add(5, [&] {
    order += 'a';
    queue.Cancel(y);  // due in the same run, not yet run
  });
  y = queue.Add(7, [&] { order += 'y'; });
  const auto z = queue.Add(8, [&] { order += 'z'; });
  queue.Cancel(x);
  EXPECT_EQ(queue.Size(), 3u);
  queue.RunDue(10);
  EXPECT_EQ(order, "az");
  queue.Cancel(z);  // has run: nothing happens
  queue.Cancel(0);
  queue.Cancel(123456789);
  EXPECT_TRUE(queue.Empty());
}

TEST(TaskQueueTest, TasksAddedByARunWaitForTheNextEvenWhenDue) {
  TaskQueue queue;
  std::string order;
  queue.Add(10, [&] {
    order += 'a';
    queue.Add(10, [&] { order += 'c'; });
    queue.Add(0, [&] { order += 'd'; });
  });
  queue.Add(10, [&] { order += 'b'; });
  EXPECT_EQ(queue.RunDue(10), 2u);
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(queue.EarliestDue(), 0);
  EXPECT_EQ(queue.RunDue(10), 2u);
  EXPECT_EQ(order, "abdc");
}

TEST(TaskQueueTest, TakingOneAtATimeInOrder) {
  TaskQueue queue;
  queue.Add(20, [] {});
  queue.Add(10, [] {});
  const auto gone = queue.Add(15, [] {});
  queue.Cancel(gone);
  std::int64_t due = -1;
  std::function<void()> task;
  EXPECT_FALSE(queue.TakeDue(9, due, task));
  ASSERT_TRUE(queue.TakeDue(30, due, task));
  EXPECT_EQ(due, 10);
  ASSERT_TRUE(queue.TakeDue(30, due, task));
  EXPECT_EQ(due, 20);
  EXPECT_FALSE(queue.TakeDue(30, due, task));
}

TEST(TaskQueueTest, IdsStayUniqueWhileSlotsAreUsedAgainAndCancelledOnesPileUp) {
  TaskQueue queue;
  std::set<Scheduler::TaskId> ids;
  std::vector<Scheduler::TaskId> keep;
  int ran = 0;
  // Like a patience timer put off again and again, beside tasks that do run.
  for (int i = 0; i < 20'000; ++i) {
    const auto id = queue.Add(1'000'000 + i, [&] { ++ran; });
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(ids.insert(id).second);
    if (i % 100 == 0) {
      keep.push_back(id);
    } else {
      queue.Cancel(id);
    }
  }
  EXPECT_EQ(queue.Size(), keep.size());
  EXPECT_EQ(queue.EarliestDue(), 1'000'000);
  queue.Cancel(keep.front());  // the slot of a cancelled task is no longer its id
  EXPECT_EQ(queue.RunDue(2'000'000), keep.size() - 1);
  EXPECT_EQ(ran, static_cast<int>(keep.size()) - 1);
  EXPECT_TRUE(queue.Empty());
}

}  // namespace
}  // namespace velora
