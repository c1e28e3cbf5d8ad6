// The real-time world both programs, the benchmark and the Qt tests build their server in: Qt's
// clock, event pump and timers, the mail connections, and the server's port, a serial device or,
// with none chosen, the server's modem on a real-time virtual radio. The port's notes go to the
// server's log and its events to the operator's list.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bus/server.h"
#include "platform/qt/qt_line_connection.h"
#include "platform/qt/qt_server_port.h"
#include "platform/qt/qt_simulator_port.h"
#include "platform/qt/qt_time.h"

namespace velora {

class QtWorld {
 public:
  struct Options {
    // The built-in simulator's calculator beside the port (the operator's program).
    bool simulator = false;
    // Instead of the world's own, for a test or a meter.
    OneShotTimer* timer = nullptr;
    PortDecorator decoratePort = {};
    LineConnectionFactory* mailConnections = nullptr;
    OneShotTimerFactory* mailTimers = nullptr;
    std::string localHostName = {};  // empty: this machine's name
  };

  QtWorld() = default;
  QtWorld(const QtWorld&) = delete;
  QtWorld& operator=(const QtWorld&) = delete;

  // The server, wired from this world's ports; the world must outlive it.
  std::unique_ptr<Server> Build(OperatorUi& ui, std::string workDir, Options options);
  std::unique_ptr<Server> Build(OperatorUi& ui, std::string workDir) {
    return Build(ui, std::move(workDir), Options());
  }
  // The port of the server built last, and its simulator (null without one).
  QtServerPort& Port() { return *port_; }
  QtSimulatorPort* Simulator() { return simulator_; }

  QtClock clock;
  QtEventPump pump;
  QtOneShotTimer timer;
  QtLineConnectionFactory mailConnections;
  QtOneShotTimerFactory mailTimers;

 private:
  QtServerPort* port_ = nullptr;
  QtSimulatorPort* simulator_ = nullptr;
};

}  // namespace velora
