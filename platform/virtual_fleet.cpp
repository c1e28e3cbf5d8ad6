// Scheduling of the scripted calculators.
#include "platform/virtual_fleet.h"

namespace velora {

CalculatorFleet::CalculatorFleet(VirtualRadio& radio, const ServerSettings& settings, int count,
                                 std::uint32_t seed, std::string prefix, FleetTiming timing)
    : scheduler_(radio.scheduler()), timing_(timing), random_(seed) {
  for (int i = 1; i <= count; ++i) {
    auto m = std::make_unique<Member>();
    m->name = prefix + std::to_string(i);
    m->station = std::make_unique<CalculatorStation>(radio, settings, m->name);
    CalculatorEngine& engine = m->station->engine();
    engine.SetModel((i - 1) % 2);
    engine.SetUserName(m->name);
    m->user = std::make_unique<ScriptedUser>(engine, m->name,
                                             seed * 7919u + static_cast<std::uint32_t>(i));
    Member* member = m.get();
    m->station->onFrame = [this, member] {
      // A new screen: read it, then answer (this replaces a pending look-back).
      const std::uint32_t serial = member->station->engine().ScreenSerial();
      if (serial != member->wokenFor && member->user->ScreenPending()) {
        member->wokenFor = serial;
        ScheduleAct(*member, Between(timing_.thinkMinUs, timing_.thinkMaxUs));
      }
    };
    ScheduleAct(*m, Between(0, timing_.firstConnectMaxUs));
    members_.push_back(std::move(m));
  }
}

CalculatorFleet::~CalculatorFleet() {
  for (auto& m : members_) {
    if (m->actTask != 0) scheduler_.Cancel(m->actTask);
  }
}

std::size_t CalculatorFleet::RegisteredCount() const {
  std::size_t n = 0;
  for (const auto& m : members_)
    n += m->station->engine().Registered() ? 1 : 0;
  return n;
}

std::int64_t CalculatorFleet::Between(std::int64_t lo, std::int64_t hi) {
  return hi <= lo ? lo
                  : lo + static_cast<std::int64_t>(random_() % static_cast<std::uint64_t>(hi - lo));
}

void CalculatorFleet::ScheduleAct(Member& m, std::int64_t delayUs) {
  if (m.actTask != 0) scheduler_.Cancel(m.actTask);
  m.actTask = scheduler_.ScheduleAfter(delayUs, [this, &m] {
    m.actTask = 0;
    Act(m);
  });
}

void CalculatorFleet::Act(Member& m) {
  CalculatorEngine& engine = m.station->engine();
  if (!engine.Registered()) {
    // Ask (again) and look back later: a request can collide with another newcomer's.
    m.user->Act();
    ScheduleAct(m, Between(timing_.retryMinUs, timing_.retryMaxUs));
    return;
  }
  if (!m.user->ScreenPending()) {
    // Still the answered screen: the answer went missing on the air.
    m.user->AnswerAgain();
    ScheduleAct(m, Between(timing_.thinkMinUs, timing_.thinkMaxUs));
    return;
  }
  if (!m.user->Act()) {
    ScheduleAct(m, 100'000);  // its acknowledgement is still on the way
    return;
  }
  ScheduleAct(m, timing_.patienceUs);  // a new screen cancels this
}

}  // namespace velora
