// The virtual-time world.
#include "platform/virtual/virtual_world.h"

namespace velora {

std::unique_ptr<Server> VirtualWorld::Build(OperatorUi& ui, std::string workDir, Options options) {
  const auto makePort = [this, decorate = options.decoratePort](const ServerSettings& settings) {
    std::unique_ptr<SerialPort> port = std::make_unique<VirtualSerialPort>(radio, settings);
    return decorate ? decorate(std::move(port), settings) : std::move(port);
  };
  return std::make_unique<Server>(
      ServerPorts{clock, pump, options.timer != nullptr ? *options.timer : timer, ui, makePort,
                  options.mailConnections, options.mailTimers, options.localHostName},
      std::move(workDir));
}

}  // namespace velora
