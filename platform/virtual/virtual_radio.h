// The virtual radio: one shared half-duplex channel at 19200 baud 8N1. A byte occupies the air
// for 10/19200 s; a modem radiates only while its transmitter is on and hears nothing while it
// is on; overlapping transmissions garble each other; noise can flip bits and lose bytes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/virtual/virtual_scheduler.h"

namespace velora {

inline constexpr std::int64_t RadioBaud = 19200;
inline constexpr std::int64_t RadioBitsPerByte = 10;

// Microseconds from the start of a continuous burst to the end of its n-th byte (rounded, so
// that long bursts do not drift).
constexpr std::int64_t BurstTimeUs(std::int64_t bytes) {
  return (bytes * RadioBitsPerByte * 1'000'000 + RadioBaud / 2) / RadioBaud;
}

struct RadioNoise {
  double bitErrorRate = 0.0;  // chance that one data bit of a heard byte flips
  double lostByteRate = 0.0;  // chance that a heard byte does not arrive at all
  std::uint32_t seed = 1;
};

// What an attached station is told by the radio.
class RadioStation {
 public:
  virtual ~RadioStation() = default;
  // A byte heard on the air (already garbled or disturbed where that happened).
  virtual void ByteHeard(std::uint8_t byte) = 0;
  // Everything queued has left the modem (on the air when the transmitter was on).
  virtual void TransmitEmpty() {}
};

class VirtualRadio;

// A station's modem on the radio. Bytes queued are clocked out at the line rate whether or not
// the transmitter is on; only bytes whose whole time on the line falls while it is on reach the
// air. Destroying the modem detaches it.
class RadioModem {
 public:
  ~RadioModem();
  RadioModem(const RadioModem&) = delete;
  RadioModem& operator=(const RadioModem&) = delete;

  void SetTransmitter(bool on);
  bool TransmitterOn() const { return txOn_; }
  // Another station's transmitter is on: its carrier is on the air.
  bool HearsCarrier() const;
  void Queue(std::string_view bytes);
  // Bytes not yet fully out, the one on the line included.
  std::size_t QueuedBytes() const { return queue_.size(); }
  // A sleeping modem is told nothing byte by byte: an ear hears for it (see AttachEar) and wakes
  // it before anything on the air concerns it. Wake it before it transmits.
  void Sleep();
  void Wake();
  bool Sleeping() const { return sleeping_; }
  // For the station's own turnaround delays. Valid while the radio lives.
  Scheduler& scheduler() const;
  const std::string& name() const { return name_; }

 private:
  friend class VirtualRadio;
  struct Slot {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::uint8_t byte = 0;
  };
  struct Switch {
    std::int64_t at;
    bool on;
  };

  RadioModem(VirtualRadio& radio, RadioStation& station, std::string name, bool ear);
  bool TxStateAt(std::int64_t t) const;
  // The transmitter has not been switched since t.
  bool SteadySince(std::int64_t t) const { return switches_.empty() || switches_.back().at <= t; }
  bool SwitchedWithin(std::int64_t start, std::int64_t end, bool to) const;
  bool TxOnThroughout(std::int64_t start, std::int64_t end) const;
  bool TxOffThroughout(std::int64_t start, std::int64_t end) const;
  bool TxOnAnytime(std::int64_t start, std::int64_t end) const;

  VirtualRadio* radio_;
  RadioStation& station_;
  std::string name_;
  bool ear_;
  bool sleeping_ = false;
  bool airborne_ = false;  // in the radio's list of modems whose bytes may still overlap others
  std::size_t index_ = 0;  // place in the radio's list of modems
  bool txOn_ = false;
  bool initialTx_ = false;  // state before the oldest remembered switch
  std::deque<Switch> switches_;
  std::deque<std::uint8_t> queue_;
  bool lineBusy_ = false;
  std::int64_t burstStart_ = 0;
  std::int64_t burstBytes_ = 0;
  Slot current_;
  std::deque<Slot> recent_;  // the last slots that left the line
  Scheduler::TaskId slotTask_ = 0;
};

class VirtualRadio {
 public:
  struct Stats {
    std::uint64_t bytesOnAir = 0;    // whole bytes radiated
    std::uint64_t silentBytes = 0;   // clocked out with the transmitter off
    std::uint64_t cutBytes = 0;      // transmitter switched during the byte
    std::uint64_t garbledBytes = 0;  // radiated over another station's transmission
    std::uint64_t lostBytes = 0;     // heard bytes lost to noise
    std::uint64_t flippedBits = 0;   // bits flipped by noise
  };

  explicit VirtualRadio(Scheduler& scheduler);
  ~VirtualRadio();
  VirtualRadio(const VirtualRadio&) = delete;
  VirtualRadio& operator=(const VirtualRadio&) = delete;

  std::unique_ptr<RadioModem> Attach(RadioStation& station, std::string name);
  // An ear hears every whole byte on the air as it was radiated (noise aside), before any modem
  // hears it; it never transmits. Through an ear one station can listen for a crowd of sleeping
  // modems and wake each just before a byte that concerns it.
  std::unique_ptr<RadioModem> AttachEar(RadioStation& station, std::string name);
  // Switches noise on (any rate above 0) or off, and restarts its random sequence.
  void SetNoise(const RadioNoise& noise);
  const RadioNoise& noise() const { return noise_; }
  bool Noisy() const { return noise_.bitErrorRate > 0 || noise_.lostByteRate > 0; }
  const Stats& stats() const { return stats_; }
  Scheduler& scheduler() const { return scheduler_; }
  std::size_t StationCount() const { return modems_.size() - holes_; }

 private:
  friend class RadioModem;
  std::unique_ptr<RadioModem> Add(RadioStation& station, std::string name, bool ear);
  void Detach(RadioModem& modem);
  void Listen(RadioModem& modem);
  void Unlisten(RadioModem& modem);
  // Closes the gaps departed modems left, once no byte is being delivered.
  void Compact();
  void StartSlot(RadioModem& modem, std::int64_t start);
  void EndSlot(RadioModem& modem);
  // XOR of the bytes of other stations that were on the air during [start, end); sets collided.
  std::uint8_t Overlap(const RadioModem& sender, std::int64_t start, std::int64_t end,
                       bool& collided);
  void Deliver(const RadioModem& sender, std::uint8_t byte, std::int64_t start, std::int64_t end);
  // Trials before the next event of the given chance (none ever at 0).
  std::uint64_t Gap(double rate);

  Scheduler& scheduler_;
  // In the order of attaching; null where a modem has left. Each byte costs in proportion to
  // the modems that hear it byte by byte and those on the air, never to the sleeping ones.
  std::vector<RadioModem*> modems_;
  std::vector<std::size_t> listeners_;  // awake modems that are no ears, ascending
  std::vector<std::size_t> ears_;
  std::vector<RadioModem*> airborne_;
  std::vector<std::size_t> snapshot_;
  std::size_t holes_ = 0;
  int delivering_ = 0;
  RadioNoise noise_;
  std::mt19937 random_{1};
  std::uint64_t lossGap_ = 0;  // bytes heard whole before the next lost one
  std::uint64_t flipGap_ = 0;  // bits heard intact before the next flipped one
  Stats stats_;
};

}  // namespace velora
