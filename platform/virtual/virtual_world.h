// The virtual-time world the tests and the benchmark build their server in: one VirtualTime with
// its clock, event pump and timer, and the server's modem on a virtual radio of that time, where
// simulated calculators are stations beside it.
#pragma once

#include <memory>
#include <string>

#include "bus/server.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "platform/virtual/virtual_time.h"

namespace velora {

class VirtualWorld {
 public:
  struct Options {
    // Instead of the world's own, for a meter.
    OneShotTimer* timer = nullptr;
    PortDecorator decoratePort = {};
    // Without them the mail services say that mail is not available.
    LineConnectionFactory* mailConnections = nullptr;
    OneShotTimerFactory* mailTimers = nullptr;
    std::string localHostName = "localhost";
  };

  VirtualWorld() = default;
  VirtualWorld(const VirtualWorld&) = delete;
  VirtualWorld& operator=(const VirtualWorld&) = delete;

  // The server, wired from this world's ports; the world must outlive it.
  std::unique_ptr<Server> Build(OperatorUi& ui, std::string workDir, Options options);
  std::unique_ptr<Server> Build(OperatorUi& ui, std::string workDir) {
    return Build(ui, std::move(workDir), Options());
  }

  VirtualTime time;
  VirtualClock clock{time};
  VirtualEventPump pump{time};
  VirtualTimer timer{time};
  VirtualRadio radio{time};
};

}  // namespace velora
