// The self-pipes behind the signals.
#include "app/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace velora {

namespace {

// The write end of the pipe of each signal, plus one (0: none). Lock-free, so the handler may
// read it.
std::array<std::atomic<int>, 65> writeEnd;

void OnSignal(int signal) {
  if (signal < 0 || static_cast<std::size_t>(signal) >= writeEnd.size()) return;
  const int fd = writeEnd[static_cast<std::size_t>(signal)].load() - 1;
  if (fd < 0) return;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  errno = saved;
}

void Watch(QObject* parent, std::initializer_list<int> which, std::function<void()> onSignal) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  const int readEnd = ends[0];
  auto* notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, parent,
                   [readEnd, onSignal = std::move(onSignal)] {
                     char buffer[16];
                     while (::read(readEnd, buffer, sizeof buffer) > 0) {
                     }
                     onSignal();
                   });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : which) {
    writeEnd[static_cast<std::size_t>(signal)].store(ends[1] + 1);
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

void WatchTerminationSignals(QObject* parent, std::function<void()> onSignal) {
  Watch(parent, {SIGINT, SIGTERM}, std::move(onSignal));
}

void WatchStatusSignal(QObject* parent, std::function<void()> onSignal) {
  Watch(parent, {SIGUSR1}, std::move(onSignal));
}

void IgnoreFileSizeSignal() {
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace velora
