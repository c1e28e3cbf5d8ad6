// Signals as events of the program's own thread: the handler only writes a byte to a pipe, and a
// socket notifier on the other end calls back from the event loop.
#pragma once

#include <functional>

class QObject;

namespace velora {

// SIGINT and SIGTERM; onSignal runs on the event loop's thread for every signal. A later call
// takes the signals over.
void WatchTerminationSignals(QObject* parent, std::function<void()> onSignal);
// SIGUSR1, the operator's request for the status line; as above.
void WatchStatusSignal(QObject* parent, std::function<void()> onSignal);
// A file-size limit (ulimit -f, LimitFSIZE) would kill the program with SIGXFSZ at the first
// write past it. Ignored, that write fails with EFBIG and is handled like a full disk.
void IgnoreFileSizeSignal();

}  // namespace velora
