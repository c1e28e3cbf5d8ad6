// A fleet of scripted calculators on the virtual radio: they register, log in and browse, each
// at its own pace. Used by the headless server's demo mode, the fleet benchmark and tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/virtual_calculator_station.h"
#include "sim/scripted_user.h"

namespace velora {

struct FleetTiming {
  std::int64_t firstConnectMaxUs = 1'000'000;  // spread of the first registrations
  std::int64_t retryMinUs = 500'000;           // wait for a confirmation before asking again
  std::int64_t retryMaxUs = 3'000'000;
  std::int64_t thinkMinUs = 300'000;  // reading a screen before answering it
  std::int64_t thinkMaxUs = 1'500'000;
  std::int64_t patienceUs = 10'000'000;  // no new screen after an answer: answer again
};

class CalculatorFleet {
 public:
  // Calculators named prefix1 .. prefixN, each with its name as password; every second one is a
  // TI 86.
  CalculatorFleet(VirtualRadio& radio, const ServerSettings& settings, int count,
                  std::uint32_t seed, std::string prefix = "demo",
                  FleetTiming timing = FleetTiming());
  ~CalculatorFleet();

  std::size_t Size() const { return members_.size(); }
  const std::string& Name(std::size_t i) const { return members_[i]->name; }
  CalculatorStation& Station(std::size_t i) { return *members_[i]->station; }
  ScriptedUser& User(std::size_t i) { return *members_[i]->user; }
  std::size_t RegisteredCount() const;

 private:
  struct Member {
    std::string name;
    std::unique_ptr<CalculatorStation> station;
    std::unique_ptr<ScriptedUser> user;
    Scheduler::TaskId actTask = 0;
    std::uint32_t wokenFor = 0;  // the screen the member was last woken for
  };
  void ScheduleAct(Member& m, std::int64_t delayUs);
  void Act(Member& m);
  std::int64_t Between(std::int64_t lo, std::int64_t hi);

  Scheduler& scheduler_;
  FleetTiming timing_;
  std::mt19937 random_;
  std::vector<std::unique_ptr<Member>> members_;
};

}  // namespace velora
