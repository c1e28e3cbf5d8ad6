// A fleet of scripted calculators on the virtual radio: they register, log in and browse, each
// at its own pace, and may come and go. Used by the headless server's demo mode, the benchmark
// and tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/virtual/virtual_calculator_station.h"
#include "sim/scripted_user.h"

namespace velora {

struct FleetTiming {
  std::int64_t firstConnectMaxUs = 1'000'000;  // spread of the first registrations
  std::int64_t thinkMinUs = 300'000;           // reading a screen before answering it
  std::int64_t thinkMaxUs = 1'500'000;
  std::int64_t patienceUs = 10'000'000;  // no new screen after an answer: answer again
  // Journeys: after a number of menu choices drawn from this range a member chooses the
  // logout item, stays away between offlineMinUs and offlineMaxUs, and registers again.
  // 0: members never leave.
  int leaveAfterChoicesMin = 0;
  int leaveAfterChoicesMax = 0;
  std::int64_t offlineMinUs = 30'000'000;
  std::int64_t offlineMaxUs = 300'000'000;
  // Registered, but nothing sent to its address for this long: the server has let the station
  // go (kicked while out of range, say), and the member registers again. 0: never.
  std::int64_t lostAfterUs = 60'000'000;
};

// How the registration slots went, as every calculator on the air hears them.
struct RegistrationSlots {
  std::uint64_t idle = 0;        // nobody asked
  std::uint64_t success = 0;     // one request came through
  std::uint64_t collisions = 0;  // requests garbled each other
};

class CalculatorFleet {
 public:
  // Calculators named prefix1 .. prefixN, each with its name as password; every second one is a
  // TI 86.
  CalculatorFleet(VirtualRadio& radio, const ServerSettings& settings, int count,
                  std::uint32_t seed, std::string prefix = "demo",
                  FleetTiming timing = FleetTiming());
  ~CalculatorFleet();
  CalculatorFleet(const CalculatorFleet&) = delete;
  CalculatorFleet& operator=(const CalculatorFleet&) = delete;

  std::size_t Size() const { return members_.size(); }
  const std::string& Name(std::size_t i) const { return members_[i]->name; }
  CalculatorStation& Station(std::size_t i) { return *members_[i]->station; }
  ScriptedUser& User(std::size_t i) { return *members_[i]->user; }
  std::size_t RegisteredCount() const;
  // The one ear of all members (sleeping can be switched off there).
  CalculatorCrowd& Crowd() { return *crowd_; }
  const RegistrationSlots& Slots() const { return slots_; }
  // The number of calculators the crowd believes to be asking for a slot.
  double Backlog() const { return backlog_; }
  // Addresses the members found they had lost without being told (see lostAfterUs), or heard
  // given to another calculator.
  std::uint64_t AddressesLost() const { return addressesLost_; }

 private:
  struct Member {
    std::string name;
    std::unique_ptr<CalculatorStation> station;
    std::unique_ptr<ScriptedUser> user;
    std::mt19937 random;
    Scheduler::TaskId actTask = 0;
    std::uint32_t wokenFor = 0;  // the screen the member was last woken for
    bool wantsSlot = false;      // not registered and wants to be
    bool wasRegistered = false;
    std::uint32_t ownFrames = 0;  // the engine's count when the last one came
    std::int64_t ownFrameUs = 0;
  };
  void HeardOnAir(std::string_view frame);
  void EndSlot();
  void Heard(Member& m);
  void ScheduleAct(Member& m, std::int64_t delayUs);
  void Act(Member& m);
  // The member's address is no longer its own: it registers again.
  void LoseAddress(Member& m);
  static std::int64_t Between(Member& m, std::int64_t lo, std::int64_t hi);

  Scheduler& scheduler_;
  VirtualRadio& radio_;
  FleetTiming timing_;
  std::unique_ptr<CalculatorCrowd> crowd_;  // outlives the members
  std::vector<std::unique_ptr<Member>> members_;
  RegistrationSlots slots_;
  double backlog_ = 1;
  bool slotOpen_ = false;
  bool requestHeard_ = false;
  std::uint64_t garbledAtInvite_ = 0;
  std::uint64_t addressesLost_ = 0;
};

}  // namespace velora
