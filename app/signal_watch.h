// SIGINT and SIGTERM as events of the program's own thread: the handler only writes a byte to a
// pipe, and a socket notifier on the other end calls back from the event loop.
#pragma once

#include <functional>

class QObject;

namespace velora {

// Installs the handlers once; onSignal runs on the event loop's thread for every signal.
void WatchTerminationSignals(QObject* parent, std::function<void()> onSignal);

}  // namespace velora
