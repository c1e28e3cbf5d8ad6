// Qt adapters of the time ports: the clock, the precise one-shot timer and the event pump.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/ports.h"
#include "platform/qt/qt_precise_wakeup.h"

namespace velora {

// Milliseconds of a monotonic clock since construction, and the local date and time.
class QtClock : public Clock {
 public:
  QtClock() { elapsed_.start(); }
  std::uint32_t TickMs() override { return static_cast<std::uint32_t>(elapsed_.elapsed()); }
  DateTime LocalNow() override;

 private:
  QElapsedTimer elapsed_;
};

// A precise single-shot timer; its expiry arrives as an event of the thread's event loop, within
// microseconds of the interval rather than rounded to the loop's milliseconds.
class QtOneShotTimer : public OneShotTimer {
 public:
  QtOneShotTimer();
  // A negative interval is refused and the previous one stays in force.
  void Start(int ms) override;
  void Stop() override { wakeup_.Cancel(); }
  void SetHandler(std::function<void()> onExpiry) override { handler_ = std::move(onExpiry); }
  bool Active() const { return wakeup_.Armed(); }

 private:
  PreciseWakeup wakeup_;
  std::function<void()> handler_;
  int intervalMs_ = 5;
};

class QtOneShotTimerFactory : public OneShotTimerFactory {
 public:
  std::unique_ptr<OneShotTimer> CreateTimer() override {
    return std::make_unique<QtOneShotTimer>();
  }
};

// Hands pending events to the application and, with none pending, sleeps in the event
// dispatcher until the next one arrives (never a spin).
class QtEventPump : public EventPump {
 public:
  void ProcessEvents() override;
  bool Terminating() const override;
  // Ends every wait of the serial line after its current batch of events.
  void RequestTermination();

 private:
  bool terminating_ = false;
};

}  // namespace velora
