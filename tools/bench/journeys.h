// The journeys of the simulated users in the virtual-time runs: register, log in, choose menu
// items, log out, stay away a while, register again.
//
// Hook for further errands: set them on FleetTiming here (sending a message to another member,
// for one) once the scripted users know them; the runs pick them up unchanged.
#pragma once

#include <cstdint>

#include "platform/virtual_fleet.h"

namespace velora::bench {

inline void ConfigureJourneys(FleetTiming& timing) {
  timing.leaveAfterChoicesMin = 5;
  timing.leaveAfterChoicesMax = 30;
  timing.offlineMinUs = 30'000'000;
  timing.offlineMaxUs = 300'000'000;
}

inline std::uint64_t CountLogouts(CalculatorFleet& fleet) {
  std::uint64_t logouts = 0;
  for (std::size_t i = 0; i < fleet.Size(); ++i)
    logouts += static_cast<std::uint64_t>(fleet.User(i).logouts);
  return logouts;
}

}  // namespace velora::bench
