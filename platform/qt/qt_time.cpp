// Qt adapters of the time ports.
#include "platform/qt/qt_time.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDateTime>

namespace velora {

DateTime QtClock::LocalNow() {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate date = now.date();
  const QTime time = now.time();
  return DateTime{date.year(),   date.month(),  date.day(),  time.hour(),
                  time.minute(), time.second(), time.msec(), now.offsetFromUtc() / 60,
                  now.isValid()};
}

QtOneShotTimer::QtOneShotTimer()
    : wakeup_([this] {
        // A copy, because the handler may destroy this timer.
        if (auto handler = handler_) handler();
      }) {}

void QtOneShotTimer::Start(int ms) {
  if (ms >= 0) intervalMs_ = ms;
  wakeup_.At(MonotonicUs() + std::int64_t{intervalMs_} * 1000);
}

void QtEventPump::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool QtEventPump::Terminating() const {
  return terminating_ || QCoreApplication::closingDown();
}

void QtEventPump::RequestTermination() {
  terminating_ = true;
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
}

}  // namespace velora
