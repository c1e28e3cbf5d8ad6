// Scheduling of the scripted calculators, and how a crowd of them shares the registration slot.
#include "platform/virtual/virtual_fleet.h"

#include <algorithm>
#include <cmath>

#include "link/frame.h"

namespace velora {

namespace {

// Estimating the backlog after each slot (Rivest's pseudo-Bayesian rule for slotted ALOHA):
// one fewer after a slot without collision, 1/(e - 2) more after a collision. Asking with
// probability 1/backlog gets about one registration every e slots however many are waiting.
const double CollisionGrowth = 1.0 / (std::exp(1.0) - 2.0);

}  // namespace

CalculatorFleet::CalculatorFleet(VirtualRadio& radio, const ServerSettings& settings, int count,
                                 std::uint32_t seed, std::string prefix, FleetTiming timing)
    : scheduler_(radio.scheduler()),
      radio_(radio),
      timing_(timing),
      crowd_(std::make_unique<CalculatorCrowd>(radio, settings)) {
  crowd_->onFrame = [this](std::string_view frame) { HeardOnAir(frame); };
  for (int i = 1; i <= count; ++i) {
    auto m = std::make_unique<Member>();
    m->name = prefix + std::to_string(i);
    m->station = std::make_unique<CalculatorStation>(radio, settings, m->name, crowd_.get());
    CalculatorEngine& engine = m->station->engine();
    engine.SetModel((i - 1) % 2);
    engine.SetUserName(m->name);
    const std::uint32_t memberSeed = seed * 7919u + static_cast<std::uint32_t>(i);
    m->user = std::make_unique<ScriptedUser>(engine, m->name, memberSeed);
    // Each member draws from its own sequence: what one does never depends on the order in
    // which the members hear something.
    m->random.seed(memberSeed ^ 0x9E3779B9u);
    Member* member = m.get();
    m->station->onFrame = [this, member] { Heard(*member); };
    ScheduleAct(*m, Between(*m, 0, timing_.firstConnectMaxUs));
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

std::int64_t CalculatorFleet::Between(Member& m, std::int64_t lo, std::int64_t hi) {
  return hi <= lo
             ? lo
             : lo + static_cast<std::int64_t>(m.random() % static_cast<std::uint64_t>(hi - lo));
}

void CalculatorFleet::HeardOnAir(std::string_view frame) {
  const std::uint8_t destination = FrameByte(frame, FrameDestination);
  const std::uint8_t kind = FrameByte(frame, FrameKind);
  if (destination == NoAddress && kind == KindInvite) {
    if (slotOpen_) EndSlot();
    slotOpen_ = true;
    requestHeard_ = false;
    garbledAtInvite_ = radio_.stats().garbledBytes;
    // Every member that wants a slot takes this one with the same chance; the engine answers
    // the invitation as it takes it, right after this.
    const double chance = 1.0 / std::max(1.0, backlog_);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    for (auto& m : members_) {
      CalculatorEngine& engine = m->station->engine();
      if (m->wantsSlot && !engine.Registered() && uniform(m->random) < chance) engine.Connect();
    }
    return;
  }
  if (destination == BroadcastAddress && kind == KindRegistered && frame.size() > FrameData + 8) {
    // The address given to another calculator is no longer ours, whatever we were told.
    std::string_view name = frame.substr(FrameData, 8);
    name = name.substr(0, name.find('\0'));
    const std::uint8_t address = FrameByte(frame, FrameData + 8);
    for (auto& m : members_) {
      const CalculatorEngine& engine = m->station->engine();
      if (engine.Registered() && engine.SimAddress() == address && engine.SimUserName() != name)
        LoseAddress(*m);
    }
  }
  if (!slotOpen_) return;
  if (destination == ServerAddress && kind == KindRegisterRequest) {
    requestHeard_ = true;
  } else if (FrameByte(frame, FrameSource) == ServerAddress) {
    EndSlot();  // the server talks again: the slot is over
  }
}

void CalculatorFleet::EndSlot() {
  slotOpen_ = false;
  if (requestHeard_) {
    ++slots_.success;
  } else if (radio_.stats().garbledBytes > garbledAtInvite_) {
    ++slots_.collisions;
    backlog_ += CollisionGrowth;
    return;
  } else {
    ++slots_.idle;
  }
  backlog_ = std::max(1.0, backlog_ - 1.0);
}

void CalculatorFleet::Heard(Member& m) {
  CalculatorEngine& engine = m.station->engine();
  if (!engine.Registered()) {
    if (!m.wasRegistered) return;
    // Logged out (or let go): away for a while, then back.
    m.wasRegistered = false;
    ScheduleAct(m, Between(m, timing_.offlineMinUs, timing_.offlineMaxUs));
    return;
  }
  if (engine.OwnFrames() != m.ownFrames || !m.wasRegistered) {
    m.ownFrames = engine.OwnFrames();
    m.ownFrameUs = scheduler_.NowUs();
  }
  if (!m.wasRegistered) {
    m.wasRegistered = true;
    m.wantsSlot = false;
    const int leaveAfter =
        timing_.leaveAfterChoicesMax <= 0
            ? 0
            : static_cast<int>(Between(m, std::max(1, timing_.leaveAfterChoicesMin),
                                       timing_.leaveAfterChoicesMax + 1));
    m.user->BeginVisit(leaveAfter);
  }
  // A new screen: read it, then answer (this replaces a pending look-back).
  const std::uint32_t serial = engine.ScreenSerial();
  if (serial != m.wokenFor && m.user->ScreenPending()) {
    m.wokenFor = serial;
    ScheduleAct(m, Between(m, timing_.thinkMinUs, timing_.thinkMaxUs));
  }
}

void CalculatorFleet::ScheduleAct(Member& m, std::int64_t delayUs) {
  if (m.actTask != 0) scheduler_.Cancel(m.actTask);
  m.actTask = scheduler_.ScheduleAfter(delayUs, [this, &m] {
    m.actTask = 0;
    Act(m);
  });
}

void CalculatorFleet::LoseAddress(Member& m) {
  m.station->engine().SilentDisconnect();
  m.wasRegistered = false;
  m.wantsSlot = true;
  ++addressesLost_;
}

void CalculatorFleet::Act(Member& m) {
  CalculatorEngine& engine = m.station->engine();
  if (engine.Registered() && m.wasRegistered && timing_.lostAfterUs > 0 &&
      scheduler_.NowUs() - m.ownFrameUs > timing_.lostAfterUs) {
    LoseAddress(m);
  }
  if (!engine.Registered()) {
    m.wantsSlot = true;  // from the next invitation on
    return;
  }
  if (!m.user->ScreenPending()) {
    // Still the answered screen: the answer went missing on the air.
    m.user->AnswerAgain();
    ScheduleAct(m, Between(m, timing_.thinkMinUs, timing_.thinkMaxUs));
    return;
  }
  if (!m.user->Act()) {
    ScheduleAct(m, 100'000);  // its acknowledgement is still on the way
    return;
  }
  ScheduleAct(m, timing_.patienceUs);  // a new screen cancels this
}

}  // namespace velora
