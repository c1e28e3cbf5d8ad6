// One measured run of the server: in real time on the virtual radio or on a pseudo-terminal, or
// in virtual time. Each run is meant to run in a process of its own (its peak memory is its own).
#pragma once

#include <cstdint>

namespace velora::bench {

enum class RealPort { VirtualRadio, PseudoTerminal };

struct RealPlan {
  RealPort port = RealPort::VirtualRadio;
  int stations = 0;
  double warmUpLimitS = 60;  // waiting for every station to register
  double measureS = 5;
  int logLevel = 3;
  std::uint32_t seed = 1;
  bool shortSlices = false;  // ask the kernel for short time slices first
};

// Plain numbers, so that a child process can hand them over through a pipe.
struct RealResult {
  int registered = 0;
  double warmUpS = 0;
  std::uint64_t cycles = 0;
  double meanCycleMs = 0;
  double idealCycleMs = 0;
  // Where a cycle's time beyond the ideal went, in ms: waits that ran out ending late, answers
  // arriving late, and the work between waits.
  double lateWaitsMs = 0;
  double lateAnswersMs = 0;
  double workMs = 0;
  double cpuShare = 0;  // of one core, the whole process (server and simulated stations)
  double timedLateMeanUs = 0;
  double timedLateMedianUs = 0;
  double timedLateP99Us = 0;
  std::uint64_t answered = 0;
  double answeredMeanMs = 0;
  double answeredIdealMeanMs = 0;
};

struct VirtualPlan {
  int stations = 10;
  double simulatedS = 3600;
  bool journeys = true;  // log out and register again; otherwise register once and browse
  double wallLimitS = 300;
  int logLevel = 1;
  std::uint32_t seed = 1;
};

struct VirtualResult {
  double simulatedS = 0;
  double wallS = 0;
  double cpuS = 0;
  std::uint64_t cycles = 0;
  std::uint64_t stationCycles = 0;  // the stations present, summed over the cycles
  // From the moment every station had registered on: the settled network.
  double settledCpuS = 0;
  std::uint64_t settledStationCycles = 0;
  std::uint64_t frames = 0;  // sent and received by the server
  double peakRssMb = 0;
  int registeredAtEnd = 0;
  double allRegisteredS = -1;  // first moment every station had registered; -1: never
  std::uint64_t allRegisteredCycles = 0;
  double oneANewcomerPerCycleS = -1;  // the least time N registrations can take, one per cycle
  double idealRatio = 0;              // cycle time against the model's: 1 in virtual time
  std::uint64_t logins = 0;
  std::uint64_t logouts = 0;
  std::uint64_t messages = 0;  // written by the users and confirmed by the server
};

RealResult RunRealTime(const RealPlan& plan);
VirtualResult RunVirtualTime(const VirtualPlan& plan);

}  // namespace velora::bench
