// A one-shot wake-up at a moment of the monotonic clock, to the microsecond, delivered as an
// event of the thread's event loop. The loop's own timers count whole milliseconds and may wake a
// little late to save power; a timerfd watched by the loop wakes it when the moment has come.
#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

namespace velora {

// Microseconds of the monotonic clock (CLOCK_MONOTONIC).
std::int64_t MonotonicUs();

// Asks the kernel for short time slices for the calling thread (threads and processes it starts
// inherit them). On a busy machine a woken wait then gets the processor within a fraction of a
// millisecond instead of after a neighbour's whole slice (3 ms and more): the radio's pauses and
// time-outs end when they should. Linux 6.12 and later honour it for ordinary threads; elsewhere
// nothing changes. Needs no privileges; true when granted.
bool RequestShortTimeSlices(std::int64_t sliceUs = 100);

class PreciseWakeup {
 public:
  explicit PreciseWakeup(std::function<void()> onWakeup);
  ~PreciseWakeup();
  PreciseWakeup(const PreciseWakeup&) = delete;
  PreciseWakeup& operator=(const PreciseWakeup&) = delete;

  // Replaces any wake-up set before; a moment already past wakes at once (through the loop).
  void At(std::int64_t monotonicUs);
  void Cancel();
  bool Armed() const { return armed_; }

 private:
  void Fired();

  std::function<void()> onWakeup_;
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer fallback_;  // where there is no timerfd: whole milliseconds
  bool armed_ = false;
};

}  // namespace velora
