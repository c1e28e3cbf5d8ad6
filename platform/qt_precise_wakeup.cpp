// The precise wake-up on a timerfd.
#include "platform/qt_precise_wakeup.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace velora {

std::int64_t MonotonicUs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

PreciseWakeup::PreciseWakeup(std::function<void()> onWakeup) : onWakeup_(std::move(onWakeup)) {
  fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ >= 0) {
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      std::uint64_t expirations = 0;
      [[maybe_unused]] const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
      Fired();
    });
    return;
  }
  fallback_.setSingleShot(true);
  fallback_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fallback_, &QTimer::timeout, [this] { Fired(); });
}

PreciseWakeup::~PreciseWakeup() {
  notifier_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void PreciseWakeup::At(std::int64_t monotonicUs) {
  armed_ = true;
  if (fd_ < 0) {
    const std::int64_t waitUs = monotonicUs - MonotonicUs();
    fallback_.start(waitUs <= 0 ? 0 : static_cast<int>((waitUs + 999) / 1000));
    return;
  }
  // An absolute moment of 0 would disarm the timer: the past is the first nanosecond.
  const std::int64_t at = monotonicUs > 0 ? monotonicUs : 0;
  itimerspec spec{};
  spec.it_value.tv_sec = static_cast<time_t>(at / 1'000'000);
  spec.it_value.tv_nsec = static_cast<long>(at % 1'000'000) * 1000;
  if (spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0) spec.it_value.tv_nsec = 1;
  ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void PreciseWakeup::Cancel() {
  armed_ = false;
  if (fd_ < 0) {
    fallback_.stop();
    return;
  }
  const itimerspec off{};
  ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &off, nullptr);
}

void PreciseWakeup::Fired() {
  if (!armed_) return;  // cancelled after the expiry was already on its way
  armed_ = false;
  // A copy: the handler may destroy this wake-up.
  if (auto handler = onWakeup_) handler();
}

}  // namespace velora
