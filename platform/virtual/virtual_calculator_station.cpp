// A simulated calculator on the virtual radio, and the crowd that hears for sleeping ones.
#include "platform/virtual/virtual_calculator_station.h"

#include <algorithm>

#include "link/frame.h"

namespace velora {

namespace {

// A silence ends whatever partial frame was heard before it. Ten byte times: on the real-time
// radio bytes arrive with timer jitter, and frames in a burst follow each other closer still.
constexpr std::int64_t SilenceUs = 10 * BurstTimeUs(1);

bool Silence(std::int64_t lastByteUs, std::int64_t nowUs) {
  return lastByteUs >= 0 && nowUs - lastByteUs > SilenceUs;
}

}  // namespace

CalculatorStation::CalculatorStation(VirtualRadio& radio, const ServerSettings& settings,
                                     std::string name, CalculatorCrowd* crowd)
    : ownEngine_(std::make_unique<CalculatorEngine>(settings)),
      engine_(*ownEngine_),
      modem_(radio.Attach(*this, std::move(name))),
      crowd_(crowd != nullptr && &crowd->settings_ == &settings ? crowd : nullptr) {}

CalculatorStation::CalculatorStation(VirtualRadio& radio, CalculatorEngine& engine,
                                     std::string name)
    : engine_(engine), modem_(radio.Attach(*this, std::move(name))), crowd_(nullptr) {}

CalculatorStation::~CalculatorStation() {
  if (pendingTransmit_ != 0) scheduler().Cancel(pendingTransmit_);
  if (Asleep()) crowd_->RemoveSleeper(*this);
}

std::uint64_t CalculatorStation::framesHeard() const {
  return Asleep() ? framesHeard_ + crowd_->framesHeard_ - crowdFramesAtSleep_ : framesHeard_;
}

void CalculatorStation::ByteHeard(std::uint8_t byte) {
  const std::int64_t now = scheduler().NowUs();
  if (Silence(lastByteUs_, now)) engine_.ForgetPartialFrame();
  lastByteUs_ = now;
  tookFrame_ = false;
  const char heard = static_cast<char>(byte);
  engine_.ProcessReceived(std::string_view(&heard, 1), [this] {
    tookFrame_ = true;
    ++framesHeard_;
    if (pendingTransmit_ != 0) {
      scheduler().Cancel(pendingTransmit_);  // a frame heard withdraws the turn
      pendingTransmit_ = 0;
    }
    if (engine_.HasTurn()) {
      pendingTransmit_ = scheduler().ScheduleAfter(turnaroundUs_, [this] { Transmit(); });
    }
    if (onFrame) onFrame();
  });
  if (tookFrame_ && crowd_ != nullptr && crowd_->MayTakeOver(*this)) FallAsleep();
}

void CalculatorStation::Transmit() {
  pendingTransmit_ = 0;
  if (listenBeforeTalk_ && modem_->HearsCarrier()) {
    pendingTransmit_ = scheduler().ScheduleAfter(turnaroundUs_, [this] { Transmit(); });
    return;
  }
  const std::string bytes = engine_.SendToServer();
  if (bytes.empty() || muted_) return;
  ++transmissions_;
  modem_->SetTransmitter(true);
  modem_->Queue(bytes);
}

void CalculatorStation::TransmitEmpty() {
  modem_->SetTransmitter(false);
}

bool CalculatorStation::Idle() const {
  return pendingTransmit_ == 0 && !engine_.MustSend() && !engine_.HasTurn() &&
         !modem_->TransmitterOn() && modem_->QueuedBytes() == 0;
}

void CalculatorStation::FallAsleep() {
  modem_->Sleep();
  crowdFramesAtSleep_ = crowd_->framesHeard_;
  crowd_->AddSleeper(*this);
}

void CalculatorStation::WakeUp(std::string_view partial, std::int64_t heardUs) {
  crowd_->RemoveSleeper(*this);
  framesHeard_ += crowd_->framesHeard_ - crowdFramesAtSleep_;
  engine_.ForgetPartialFrame();
  // Never a whole frame: the engine only takes up where its own hearing would be.
  if (!partial.empty()) engine_.ProcessReceived(partial);
  lastByteUs_ = heardUs;
  modem_->Wake();
}

CalculatorCrowd::CalculatorCrowd(VirtualRadio& radio, const ServerSettings& settings)
    : radio_(radio),
      settings_(settings),
      ear_(radio.AttachEar(*this, "crowd")),
      scanner_({.startString = {},
                .check = FrameScanner::Check::Crc,
                .resync = FrameScanner::Resync::NextByte}) {}

CalculatorCrowd::~CalculatorCrowd() {
  WakeAll(lastByteUs_);
}

void CalculatorCrowd::SetSleeping(bool allowed) {
  sleepingAllowed_ = allowed;
  if (!allowed) WakeAll(lastByteUs_);
}

bool CalculatorCrowd::MayTakeOver(const CalculatorStation& station) const {
  return sleepingAllowed_ && !radio_.Noisy() && Idle() && station.Idle() &&
         station.lastByteUs_ == lastByteUs_;
}

void CalculatorCrowd::ByteHeard(std::uint8_t byte) {
  const std::int64_t now = radio_.scheduler().NowUs();
  // Noise is each calculator's own: they hear this byte and the ones after it themselves.
  if (radio_.Noisy()) WakeAll(lastByteUs_);
  if (Silence(lastByteUs_, now)) {
    scanner_.Clear();
    startFound_ = false;
  }
  const std::int64_t before = lastByteUs_;
  lastByteUs_ = now;
  const std::string_view start = StartString(settings_);
  if (start.size() != startString_.size() || start != startString_) {
    startString_ = std::string(start);
    startFound_ = false;
  }
  scanner_.SetStartString(start);
  const char heard = static_cast<char>(byte);
  scanner_.Feed(std::string_view(&heard, 1));
  while (std::optional<FrameScanner::Event> event = scanner_.Next()) {
    using T = FrameScanner::EventType;
    switch (event->type) {
      case T::SearchStart:
        break;
      case T::Skipped:
        startFound_ = true;
        break;
      case T::Frame:
        startFound_ = false;
        ++framesHeard_;
        if (onFrame) onFrame(event->bytes);
        WakeFor(event->bytes, before);
        break;
      default:
        startFound_ = false;
        break;
    }
  }
}

void CalculatorCrowd::WakeFor(std::string_view frame, std::int64_t heardUs) {
  const std::uint8_t destination = FrameByte(frame, FrameDestination);
  const std::uint8_t kind = FrameByte(frame, FrameKind);
  waking_.clear();
  if (destination == NoAddress && kind == KindInvite) {
    for (CalculatorStation* s : sleepers_) {
      if (!s->engine_.Registered() || s->engine_.ConnectRequested()) waking_.push_back(s);
    }
  } else if (destination == BroadcastAddress) {
    if (kind == KindRegistered && frame.size() > FrameData) {
      std::string_view name = frame.substr(FrameData, 8);
      name = name.substr(0, name.find('\0'));
      for (CalculatorStation* s : sleepers_) {
        if (s->engine_.onLog || s->engine_.SimUserName() == name) waking_.push_back(s);
      }
    }
  } else {
    // To the server: the turn of the station one address above the sender.
    const int address =
        destination == ServerAddress ? FrameByte(frame, FrameSource) + 1 : destination;
    if (address < static_cast<int>(byAddress_.size())) {
      for (CalculatorStation* s : byAddress_[static_cast<std::size_t>(address)]) {
        if (s->engine_.Registered() && s->engine_.SimAddress() == address) waking_.push_back(s);
      }
    }
  }
  if (waking_.empty()) return;
  // Everything of the frame but the byte being heard, which they take from the radio.
  std::string partial = startString_;
  partial.append(frame.substr(0, frame.size() - 1));
  for (CalculatorStation* s : waking_) {
    s->WakeUp(partial, heardUs);
    --s->framesHeard_;  // the crowd has counted the frame the member is about to take
  }
}

void CalculatorCrowd::WakeAll(std::int64_t heardUs) {
  if (sleepers_.empty()) return;
  std::string partial = startFound_ ? startString_ : std::string();
  partial += scanner_.Buffered();
  const std::vector<CalculatorStation*> all = sleepers_;
  for (CalculatorStation* s : all)
    s->WakeUp(partial, heardUs);
}

void CalculatorCrowd::AddSleeper(CalculatorStation& station) {
  station.sleeperSlot_ = sleepers_.size();
  sleepers_.push_back(&station);
  if (station.engine_.Registered()) Index(station, station.engine_.SimAddress());
}

void CalculatorCrowd::RemoveSleeper(CalculatorStation& station) {
  CalculatorStation* last = sleepers_.back();
  sleepers_[station.sleeperSlot_] = last;
  last->sleeperSlot_ = station.sleeperSlot_;
  sleepers_.pop_back();
  Index(station, -1);
}

void CalculatorCrowd::Index(CalculatorStation& station, int address) {
  if (station.indexedAddress_ >= 0) {
    auto& list = byAddress_[static_cast<std::size_t>(station.indexedAddress_)];
    list.erase(std::remove(list.begin(), list.end(), &station), list.end());
  }
  station.indexedAddress_ = address;
  if (address >= 0) byAddress_[static_cast<std::size_t>(address)].push_back(&station);
}

}  // namespace velora
