// A simulated calculator on the virtual radio.
#include "platform/virtual_calculator_station.h"

namespace velora {

CalculatorStation::CalculatorStation(VirtualRadio& radio, const ServerSettings& settings,
                                     std::string name)
    : settings_(settings), engine_(settings), modem_(radio.Attach(*this, std::move(name))) {}

CalculatorStation::~CalculatorStation() {
  if (pendingTransmit_ != 0) scheduler().Cancel(pendingTransmit_);
}

void CalculatorStation::ByteHeard(std::uint8_t byte) {
  const std::int64_t now = scheduler().NowUs();
  // A silence ends whatever partial frame was heard before it. Ten byte times: on the real-time
  // radio bytes arrive with timer jitter, and frames in a burst follow each other closer still.
  if (lastByteUs_ >= 0 && now - lastByteUs_ > 10 * BurstTimeUs(1)) heard_.clear();
  lastByteUs_ = now;
  heard_ += static_cast<char>(byte);
  TakeFrames();
}

void CalculatorStation::TakeFrames() {
  const std::string start = settings_.SendPacketInitString ? settings_.PacketInitString : "";
  while (true) {
    std::size_t at = 0;
    if (!start.empty()) {
      at = heard_.find(start);
      if (at == std::string::npos) {
        // Keep what could be the beginning of a start string.
        if (heard_.size() >= start.size()) heard_.erase(0, heard_.size() - (start.size() - 1));
        return;
      }
    }
    const std::size_t frameAt = at + start.size();
    if (heard_.size() < frameAt + 2) return;
    const std::size_t length = static_cast<std::uint8_t>(heard_[frameAt + 1]);
    if (length < 6) {
      // Not a frame after all: look for the next start string (without one, wait for silence).
      if (start.empty()) {
        heard_.clear();
        return;
      }
      heard_.erase(0, frameAt);
      continue;
    }
    if (heard_.size() < frameAt + length) return;
    const std::string chunk = heard_.substr(at, start.size() + length);
    heard_.erase(0, frameAt + length);

    engine_.ProcessReceived(chunk);
    ++framesHeard_;
    if (pendingTransmit_ != 0) {
      scheduler().Cancel(pendingTransmit_);  // a frame heard withdraws the turn
      pendingTransmit_ = 0;
    }
    if (engine_.HasTurn()) {
      pendingTransmit_ = scheduler().ScheduleAfter(turnaroundUs_, [this] { Transmit(); });
    }
    if (onFrame) onFrame();
  }
}

void CalculatorStation::Transmit() {
  pendingTransmit_ = 0;
  const std::string bytes = engine_.SendToServer();
  if (bytes.empty() || muted_) return;
  ++transmissions_;
  modem_->SetTransmitter(true);
  modem_->Queue(bytes);
}

void CalculatorStation::TransmitEmpty() {
  modem_->SetTransmitter(false);
}

}  // namespace velora
