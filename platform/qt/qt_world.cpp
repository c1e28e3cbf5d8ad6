// The real-time world.
#include "platform/qt/qt_world.h"

namespace velora {

std::unique_ptr<Server> QtWorld::Build(OperatorUi& ui, std::string workDir, Options options) {
  port_ = nullptr;
  simulator_ = nullptr;
  const auto makePort = [this, withSimulator = options.simulator,
                         decorate = options.decoratePort](const ServerSettings& settings) {
    auto device = std::make_unique<QtServerPort>(settings);
    port_ = device.get();
    std::unique_ptr<SerialPort> port;
    if (withSimulator) {
      auto simulator = std::make_unique<QtSimulatorPort>(std::move(device), settings);
      simulator_ = simulator.get();
      port = std::move(simulator);
    } else {
      port = std::move(device);
    }
    return decorate ? decorate(std::move(port), settings) : std::move(port);
  };
  const std::string hostName =
      options.localHostName.empty() ? QtLocalHostName() : options.localHostName;
  auto server = std::make_unique<Server>(
      ServerPorts{clock, pump, options.timer != nullptr ? *options.timer : timer, ui, makePort,
                  options.mailConnections != nullptr ? options.mailConnections : &mailConnections,
                  options.mailTimers != nullptr ? options.mailTimers : &mailTimers, hostName},
      std::move(workDir));
  Server& built = *server;
  const auto note = [&built](std::string_view text) { built.LogLine(text); };
  port_->SetNoteHandler(note);
  port_->SetEventHandler([&ui](std::string_view line) { ui.EventLine(line); });
  if (simulator_ != nullptr) simulator_->SetNoteHandler(note);
  return server;
}

}  // namespace velora
