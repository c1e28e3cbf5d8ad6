// The virtual radio.
#include "platform/virtual/virtual_radio.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velora {

namespace {

// Enough switch history to judge every byte still being looked at, even when real-time events
// run late.
constexpr std::size_t SwitchHistory = 16;
constexpr std::size_t RecentSlots = 4;
// A modem whose last byte left the line this long before the start of the byte being judged
// cannot overlap it any more (a byte lasts one byte time).
constexpr std::int64_t OverlapHorizonUs = 2 * BurstTimeUs(1);

}  // namespace

RadioModem::RadioModem(VirtualRadio& radio, RadioStation& station, std::string name, bool ear)
    : radio_(&radio), station_(station), name_(std::move(name)), ear_(ear) {}

RadioModem::~RadioModem() {
  if (radio_ != nullptr) radio_->Detach(*this);
}

Scheduler& RadioModem::scheduler() const {
  return radio_->scheduler();
}

void RadioModem::SetTransmitter(bool on) {
  if (on == txOn_ || ear_) return;
  txOn_ = on;
  if (radio_ == nullptr) return;
  switches_.push_back(Switch{radio_->scheduler().NowUs(), on});
  if (switches_.size() > SwitchHistory) {
    initialTx_ = switches_.front().on;
    switches_.pop_front();
  }
}

bool RadioModem::HearsCarrier() const {
  for (const RadioModem* other : radio_->modems_) {
    if (other != nullptr && other != this && other->txOn_) return true;
  }
  return false;
}

void RadioModem::Queue(std::string_view bytes) {
  if (radio_ == nullptr || bytes.empty() || ear_) return;
  for (char c : bytes)
    queue_.push_back(static_cast<std::uint8_t>(c));
  if (lineBusy_) return;
  lineBusy_ = true;
  if (!airborne_) {
    airborne_ = true;
    radio_->airborne_.push_back(this);
  }
  burstStart_ = radio_->scheduler().NowUs();
  burstBytes_ = 0;
  radio_->StartSlot(*this, burstStart_);
}

void RadioModem::Sleep() {
  if (sleeping_ || ear_) return;
  sleeping_ = true;
  if (radio_ != nullptr) radio_->Unlisten(*this);
}

void RadioModem::Wake() {
  if (!sleeping_) return;
  sleeping_ = false;
  if (radio_ != nullptr) radio_->Listen(*this);
}

bool RadioModem::TxStateAt(std::int64_t t) const {
  for (auto it = switches_.rbegin(); it != switches_.rend(); ++it) {
    if (it->at <= t) return it->on;
  }
  return initialTx_;
}

bool RadioModem::SwitchedWithin(std::int64_t start, std::int64_t end, bool to) const {
  return std::any_of(switches_.begin(), switches_.end(),
                     [&](const Switch& s) { return s.on == to && s.at > start && s.at < end; });
}

bool RadioModem::TxOnThroughout(std::int64_t start, std::int64_t end) const {
  if (SteadySince(start)) return txOn_;
  return TxStateAt(start) && !SwitchedWithin(start, end, false);
}

bool RadioModem::TxOffThroughout(std::int64_t start, std::int64_t end) const {
  if (SteadySince(start)) return !txOn_;
  return !TxStateAt(start) && !SwitchedWithin(start, end, true);
}

bool RadioModem::TxOnAnytime(std::int64_t start, std::int64_t end) const {
  return TxStateAt(start) || SwitchedWithin(start, end, true);
}

VirtualRadio::VirtualRadio(Scheduler& scheduler) : scheduler_(scheduler) {}

VirtualRadio::~VirtualRadio() {
  for (RadioModem* modem : modems_) {
    if (modem == nullptr) continue;
    if (modem->slotTask_ != 0) scheduler_.Cancel(modem->slotTask_);
    modem->slotTask_ = 0;
    modem->radio_ = nullptr;
  }
}

std::unique_ptr<RadioModem> VirtualRadio::Attach(RadioStation& station, std::string name) {
  return Add(station, std::move(name), false);
}

std::unique_ptr<RadioModem> VirtualRadio::AttachEar(RadioStation& station, std::string name) {
  return Add(station, std::move(name), true);
}

std::unique_ptr<RadioModem> VirtualRadio::Add(RadioStation& station, std::string name, bool ear) {
  std::unique_ptr<RadioModem> modem(new RadioModem(*this, station, std::move(name), ear));
  modem->index_ = modems_.size();
  modems_.push_back(modem.get());
  (ear ? ears_ : listeners_).push_back(modem->index_);
  return modem;
}

void VirtualRadio::Listen(RadioModem& modem) {
  listeners_.insert(std::lower_bound(listeners_.begin(), listeners_.end(), modem.index_),
                    modem.index_);
}

void VirtualRadio::Unlisten(RadioModem& modem) {
  const auto found = std::lower_bound(listeners_.begin(), listeners_.end(), modem.index_);
  if (found != listeners_.end() && *found == modem.index_) listeners_.erase(found);
}

void VirtualRadio::Detach(RadioModem& modem) {
  if (modem.slotTask_ != 0) scheduler_.Cancel(modem.slotTask_);
  modem.slotTask_ = 0;
  modem.radio_ = nullptr;
  if (modem.ear_) {
    ears_.erase(std::remove(ears_.begin(), ears_.end(), modem.index_), ears_.end());
  } else if (!modem.sleeping_) {
    Unlisten(modem);
  }
  airborne_.erase(std::remove(airborne_.begin(), airborne_.end(), &modem), airborne_.end());
  modems_[modem.index_] = nullptr;
  ++holes_;
  if (delivering_ == 0) Compact();
}

void VirtualRadio::Compact() {
  if (holes_ == 0) return;
  std::vector<RadioModem*> kept;
  kept.reserve(modems_.size() - holes_);
  listeners_.clear();
  ears_.clear();
  for (RadioModem* modem : modems_) {
    if (modem == nullptr) continue;
    modem->index_ = kept.size();
    kept.push_back(modem);
    if (modem->ear_) {
      ears_.push_back(modem->index_);
    } else if (!modem->sleeping_) {
      listeners_.push_back(modem->index_);
    }
  }
  modems_.swap(kept);
  holes_ = 0;
}

void VirtualRadio::SetNoise(const RadioNoise& noise) {
  noise_ = noise;
  random_.seed(noise.seed);
  lossGap_ = Gap(noise_.lostByteRate);
  flipGap_ = Gap(noise_.bitErrorRate);
}

std::uint64_t VirtualRadio::Gap(double rate) {
  constexpr auto Never = std::numeric_limits<std::uint64_t>::max();
  if (rate <= 0) return Never;
  if (rate >= 1) return 0;
  // Geometric: the trials before the next event, with u in (0, 1].
  const double u = (static_cast<double>(random_()) + 1.0) / 4294967296.0;
  const double gap = std::floor(std::log(u) / std::log1p(-rate));
  return gap >= static_cast<double>(Never) ? Never : static_cast<std::uint64_t>(gap);
}

void VirtualRadio::StartSlot(RadioModem& modem, std::int64_t start) {
  modem.current_ = RadioModem::Slot{start, modem.burstStart_ + BurstTimeUs(modem.burstBytes_ + 1),
                                    modem.queue_.front()};
  RadioModem* target = &modem;
  modem.slotTask_ = scheduler_.ScheduleAfter(modem.current_.end - scheduler_.NowUs(),
                                             [this, target] { EndSlot(*target); });
}

void VirtualRadio::EndSlot(RadioModem& modem) {
  modem.slotTask_ = 0;
  const RadioModem::Slot slot = modem.current_;
  modem.current_ = RadioModem::Slot{};
  modem.queue_.pop_front();
  ++modem.burstBytes_;
  modem.recent_.push_back(slot);
  if (modem.recent_.size() > RecentSlots) modem.recent_.pop_front();

  if (modem.TxOnThroughout(slot.start, slot.end)) {
    ++stats_.bytesOnAir;
    const std::size_t index = modem.index_;
    ++delivering_;
    Deliver(modem, slot.byte, slot.start, slot.end);
    --delivering_;
    const bool left = modems_[index] != &modem;  // a listener took it off the radio
    if (delivering_ == 0) Compact();
    if (left) return;
  } else if (modem.TxOnAnytime(slot.start, slot.end)) {
    ++stats_.cutBytes;
  } else {
    ++stats_.silentBytes;
  }

  if (!modem.queue_.empty()) {
    StartSlot(modem, slot.end);
    return;
  }
  modem.lineBusy_ = false;
  modem.station_.TransmitEmpty();
}

std::uint8_t VirtualRadio::Overlap(const RadioModem& sender, std::int64_t start, std::int64_t end,
                                   bool& collided) {
  std::uint8_t mix = 0;
  for (std::size_t i = 0; i < airborne_.size();) {
    RadioModem* other = airborne_[i];
    if (!other->lineBusy_ &&
        (other->recent_.empty() || other->recent_.back().end <= start - OverlapHorizonUs)) {
      other->airborne_ = false;
      airborne_[i] = airborne_.back();
      airborne_.pop_back();
      continue;
    }
    ++i;
    if (other == &sender) continue;
    auto check = [&](const RadioModem::Slot& slot) {
      const std::int64_t from = std::max(start, slot.start);
      const std::int64_t to = std::min(end, slot.end);
      if (from < to && other->TxOnAnytime(from, to)) {
        collided = true;
        mix ^= slot.byte;
      }
    };
    for (const RadioModem::Slot& slot : other->recent_)
      check(slot);
    if (other->lineBusy_) check(other->current_);
  }
  return mix;
}

void VirtualRadio::Deliver(const RadioModem& sender, std::uint8_t byte, std::int64_t start,
                           std::int64_t end) {
  bool collided = false;
  const std::uint8_t mix = Overlap(sender, start, end, collided);
  std::uint8_t value = byte;
  if (collided) {
    // Never the sender's own byte: a collision must not pass for a clean reception.
    const auto key = static_cast<std::uint8_t>(mix ^ 0xA5);
    value = static_cast<std::uint8_t>(byte ^ (key != 0 ? key : 0x5A));
    ++stats_.garbledBytes;
  }
  // Ears first: what they wake hears the byte below with everyone else.
  for (std::size_t e = 0; e < ears_.size(); ++e) {
    RadioModem* ear = modems_[ears_[e]];
    if (ear != nullptr) ear->station_.ByteHeard(value);
  }
  // Listeners may come, go, sleep and wake while they are told: tell those present now.
  std::vector<std::size_t> own;
  std::vector<std::size_t>& present = delivering_ == 1 ? snapshot_ : own;
  present.assign(listeners_.begin(), listeners_.end());
  for (std::size_t index : present) {
    RadioModem* listener = modems_[index];
    if (listener == nullptr || listener == &sender || listener->sleeping_) continue;
    if (!listener->TxOffThroughout(start, end)) continue;  // half duplex: deaf while sending
    std::uint8_t heard = value;
    // One random draw per disturbance, not one per byte and bit: the gaps between lost bytes
    // and between flipped bits are drawn ahead.
    if (noise_.lostByteRate > 0) {
      if (lossGap_ == 0) {
        lossGap_ = Gap(noise_.lostByteRate);
        ++stats_.lostBytes;
        continue;
      }
      --lossGap_;
    }
    if (noise_.bitErrorRate > 0) {
      std::uint64_t bit = 0;
      while (flipGap_ < 8 - bit) {
        bit += flipGap_;
        heard = static_cast<std::uint8_t>(heard ^ (1u << bit));
        ++stats_.flippedBits;
        ++bit;
        flipGap_ = Gap(noise_.bitErrorRate);
      }
      flipGap_ -= 8 - bit;
    }
    listener->station_.ByteHeard(heard);
  }
}

}  // namespace velora
