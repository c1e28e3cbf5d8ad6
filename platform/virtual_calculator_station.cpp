// A simulated calculator on the virtual radio.
#include "platform/virtual_calculator_station.h"

namespace velora {

CalculatorStation::CalculatorStation(VirtualRadio& radio, const ServerSettings& settings,
                                     std::string name)
    : engine_(settings), modem_(radio.Attach(*this, std::move(name))) {}

CalculatorStation::~CalculatorStation() {
  if (pendingTransmit_ != 0) scheduler().Cancel(pendingTransmit_);
}

void CalculatorStation::ByteHeard(std::uint8_t byte) {
  const std::int64_t now = scheduler().NowUs();
  // A silence ends whatever partial frame was heard before it. Ten byte times: on the real-time
  // radio bytes arrive with timer jitter, and frames in a burst follow each other closer still.
  if (lastByteUs_ >= 0 && now - lastByteUs_ > 10 * BurstTimeUs(1)) engine_.ForgetPartialFrame();
  lastByteUs_ = now;
  const char heard = static_cast<char>(byte);
  engine_.ProcessReceived(std::string_view(&heard, 1), [this] {
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
