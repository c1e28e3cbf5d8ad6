// The built-in calculator simulator as the serial line sees it: one more station on the radio.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/constants.h"

namespace velora {

class SimulatorLink {
 public:
  virtual ~SimulatorLink() = default;
  // The simulated station's pending transmission (start string included when that option is on),
  // or empty when it has nothing to say.
  virtual std::string SendToServer() = 0;
  // Radio traffic the simulated station hears: what the server sent, or another station's answer.
  virtual void ReceiveFromServer(std::string_view bytes) = 0;
  // The simulated station's address; BroadcastAddress while it is not registered.
  virtual std::uint8_t SimAddress() const = 0;
};

// No simulator: silent, deaf and never registered.
class NullSimulatorLink : public SimulatorLink {
 public:
  std::string SendToServer() override { return {}; }
  void ReceiveFromServer(std::string_view) override {}
  std::uint8_t SimAddress() const override { return BroadcastAddress; }
};

}  // namespace velora
