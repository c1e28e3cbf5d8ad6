// The journeys of the simulated users in the virtual-time runs: register, log in, choose menu
// items, write another member a message now and then, log out, stay away a while, register
// again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/virtual/virtual_fleet.h"
#include "sim/message_errand.h"

namespace velora::bench {

inline void ConfigureJourneys(FleetTiming& timing) {
  timing.leaveAfterChoicesMin = 5;
  timing.leaveAfterChoicesMax = 30;
  timing.offlineMinUs = 30'000'000;
  timing.offlineMaxUs = 300'000'000;
}

// Gives every member of the fleet its message errand; the errands must outlive the fleet's run.
inline std::vector<std::unique_ptr<MessageErrand>> GiveMessageErrands(CalculatorFleet& fleet) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < fleet.Size(); ++i)
    names.push_back(AsciiUpper(fleet.Name(i)));
  std::vector<std::unique_ptr<MessageErrand>> errands;
  for (std::size_t i = 0; i < fleet.Size(); ++i) {
    std::vector<std::string> others = names;
    others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
    errands.push_back(std::make_unique<MessageErrand>(names[i], std::move(others), 0.25,
                                                      1000u + static_cast<std::uint32_t>(i)));
    fleet.User(i).errand = [errand = errands.back().get()](CalculatorEngine& engine) {
      return errand->Answer(engine);
    };
  }
  return errands;
}

inline std::uint64_t CountLogouts(CalculatorFleet& fleet) {
  std::uint64_t logouts = 0;
  for (std::size_t i = 0; i < fleet.Size(); ++i)
    logouts += static_cast<std::uint64_t>(fleet.User(i).logouts);
  return logouts;
}

}  // namespace velora::bench
