// A simulated calculator on the virtual radio: the calculator engine behind a modem, finding
// frames in what it hears and transmitting when the engine has its turn.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/virtual_radio.h"
#include "sim/calculator_engine.h"

namespace velora {

class CalculatorStation : private RadioStation {
 public:
  // Time from the end of the frame that grants the turn to switching the transmitter on.
  static constexpr std::int64_t DefaultTurnaroundUs = 2000;

  CalculatorStation(VirtualRadio& radio, const ServerSettings& settings, std::string name);
  ~CalculatorStation() override;

  CalculatorEngine& engine() { return engine_; }
  Scheduler& scheduler() const { return modem_->scheduler(); }
  void SetTurnaroundUs(std::int64_t us) { turnaroundUs_ = us; }
  // A muted calculator still hears and takes frames but never transmits (out of range).
  void SetMuted(bool muted) { muted_ = muted; }
  // Called after every frame the engine has taken (scripted users look at the screen here).
  std::function<void()> onFrame;
  std::uint64_t framesHeard() const { return framesHeard_; }
  std::uint64_t transmissions() const { return transmissions_; }

 private:
  void ByteHeard(std::uint8_t byte) override;
  void TransmitEmpty() override;
  void Transmit();

  CalculatorEngine engine_;
  std::unique_ptr<RadioModem> modem_;
  std::int64_t lastByteUs_ = -1;
  std::int64_t turnaroundUs_ = DefaultTurnaroundUs;
  bool muted_ = false;
  Scheduler::TaskId pendingTransmit_ = 0;
  std::uint64_t framesHeard_ = 0;
  std::uint64_t transmissions_ = 0;
};

}  // namespace velora
