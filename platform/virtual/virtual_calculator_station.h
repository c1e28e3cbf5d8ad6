// A simulated calculator on the virtual radio: the calculator engine behind a modem, finding
// frames in what it hears and transmitting when the engine has its turn. Calculators of a crowd
// sleep while nothing on the air concerns them, and the crowd's one ear hears for them all.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame_scanner.h"
#include "platform/virtual/virtual_radio.h"
#include "sim/calculator_engine.h"

namespace velora {

class CalculatorCrowd;

class CalculatorStation : private RadioStation {
 public:
  // Time from the end of the frame that grants the turn to switching the transmitter on.
  static constexpr std::int64_t DefaultTurnaroundUs = 2000;

  // A member of a crowd (which must outlive it, and hear with the same settings) sleeps
  // whenever it can.
  CalculatorStation(VirtualRadio& radio, const ServerSettings& settings, std::string name,
                    CalculatorCrowd* crowd = nullptr);
  // A station for an engine that lives elsewhere (the built-in simulator's) and outlives it.
  CalculatorStation(VirtualRadio& radio, CalculatorEngine& engine, std::string name);
  ~CalculatorStation() override;
  CalculatorStation(const CalculatorStation&) = delete;
  CalculatorStation& operator=(const CalculatorStation&) = delete;

  CalculatorEngine& engine() { return engine_; }
  const CalculatorEngine& engine() const { return engine_; }
  Scheduler& scheduler() const { return modem_->scheduler(); }
  void SetTurnaroundUs(std::int64_t us) { turnaroundUs_ = us; }
  // A muted calculator still hears and takes frames but never transmits (out of range).
  void SetMuted(bool muted) { muted_ = muted; }
  // With it the calculator holds its answer while another transmitter is still keyed and tries
  // again a turnaround later. On a real-time radio a busy machine may switch the server's
  // transmitter late, and an answer begun under it would be lost; in virtual time it changes
  // who collides, so the simulated crowds go without.
  void SetListenBeforeTalk(bool on) { listenBeforeTalk_ = on; }
  // Called after every frame the engine has taken. A sleeping member of a crowd takes only the
  // frames that concern it: those to its address, the turn after the station below it,
  // invitations while it is not registered or asks to, and registration confirmations of its
  // name; all others would change nothing in it.
  std::function<void()> onFrame;
  std::uint64_t framesHeard() const;
  std::uint64_t transmissions() const { return transmissions_; }
  bool Asleep() const { return modem_->Sleeping(); }

 private:
  friend class CalculatorCrowd;
  void ByteHeard(std::uint8_t byte) override;
  void TransmitEmpty() override;
  void Transmit();
  // Nothing owed, no turn, nothing on its way out: a frame that does not concern it changes
  // nothing in it.
  bool Idle() const;
  void FallAsleep();
  // Takes over the crowd's hearing: `partial` is what the crowd holds of a frame not yet
  // complete (with start string), heardUs when it heard its last byte.
  void WakeUp(std::string_view partial, std::int64_t heardUs);

  std::unique_ptr<CalculatorEngine> ownEngine_;
  CalculatorEngine& engine_;
  std::unique_ptr<RadioModem> modem_;
  CalculatorCrowd* crowd_;
  std::size_t sleeperSlot_ = 0;  // place among the crowd's sleepers
  int indexedAddress_ = -1;      // where the crowd looks it up while it sleeps
  std::uint64_t crowdFramesAtSleep_ = 0;
  std::int64_t lastByteUs_ = -1;
  std::int64_t turnaroundUs_ = DefaultTurnaroundUs;
  bool muted_ = false;
  bool listenBeforeTalk_ = false;
  bool tookFrame_ = false;
  Scheduler::TaskId pendingTransmit_ = 0;
  std::uint64_t framesHeard_ = 0;
  std::uint64_t transmissions_ = 0;
};

// One ear for a crowd of simulated calculators on one radio with the same settings. It follows
// the air exactly as each of them would (the same frame scanner, the same rule that a silence
// ends a partial frame) and wakes a sleeping member just before the last byte of a frame that
// concerns it, in the state its own hearing would have left it in; the member takes that byte
// from the radio like everyone else and goes back to sleep. So a crowd of hundreds costs each
// byte on the air one scan, not one per calculator.
class CalculatorCrowd : private RadioStation {
 public:
  CalculatorCrowd(VirtualRadio& radio, const ServerSettings& settings);
  ~CalculatorCrowd() override;
  CalculatorCrowd(const CalculatorCrowd&) = delete;
  CalculatorCrowd& operator=(const CalculatorCrowd&) = delete;

  // Sleeping off: every member hears byte by byte (the reference the crowd is compared with).
  void SetSleeping(bool allowed);
  // Every intact frame on the air, at its last byte, before any member takes it.
  std::function<void(std::string_view frame)> onFrame;
  std::uint64_t FramesHeard() const { return framesHeard_; }
  std::size_t Sleepers() const { return sleepers_.size(); }

 private:
  friend class CalculatorStation;
  void ByteHeard(std::uint8_t byte) override;
  // The member has just taken a frame and holds nothing half heard; may the crowd hear for it?
  bool MayTakeOver(const CalculatorStation& station) const;
  bool Idle() const { return !startFound_ && scanner_.Empty(); }
  void AddSleeper(CalculatorStation& station);
  void RemoveSleeper(CalculatorStation& station);
  void Index(CalculatorStation& station, int address);
  // Wakes the sleepers the frame (complete with the byte being heard) concerns.
  void WakeFor(std::string_view frame, std::int64_t heardUs);
  void WakeAll(std::int64_t heardUs);

  VirtualRadio& radio_;
  const ServerSettings& settings_;
  std::unique_ptr<RadioModem> ear_;
  FrameScanner scanner_;
  std::string startString_;
  bool startFound_ = false;
  std::int64_t lastByteUs_ = -1;
  std::uint64_t framesHeard_ = 0;
  bool sleepingAllowed_ = true;
  std::vector<CalculatorStation*> sleepers_;
  std::array<std::vector<CalculatorStation*>, 256> byAddress_;
  std::vector<CalculatorStation*> waking_;
};

}  // namespace velora
