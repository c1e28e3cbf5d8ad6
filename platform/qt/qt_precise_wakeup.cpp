// The precise wake-up on a timerfd.
#include "platform/qt/qt_precise_wakeup.h"

#include <sched.h>

#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace velora {

std::int64_t MonotonicUs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

namespace {

// The kernel's struct sched_attr (the C library has no wrapper for these calls).
struct SchedAttr {
  std::uint32_t size;
  std::uint32_t policy;
  std::uint64_t flags;
  std::int32_t nice;
  std::uint32_t priority;
  std::uint64_t runtime;  // for ordinary threads: the slice asked for, in ns
  std::uint64_t deadline;
  std::uint64_t period;
  std::uint32_t utilMin;
  std::uint32_t utilMax;
};

}  // namespace

bool RequestShortTimeSlices(std::int64_t sliceUs) {
#if defined(SYS_sched_getattr) && defined(SYS_sched_setattr)
  SchedAttr attr{};
  // Read first: setting writes the whole record, and the nice value must stay.
  if (::syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) != 0) return false;
  if (attr.policy != SCHED_OTHER) return false;  // real-time threads need no slice
  attr.size = sizeof attr;
  attr.runtime = static_cast<std::uint64_t>(sliceUs) * 1000;
  return ::syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
#else
  (void)sliceUs;
  return false;
#endif
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
