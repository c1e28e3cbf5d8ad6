// Measures the polling cycle from outside the server: a timer and a port that report to a Meter,
// which sums each cycle's actual time and its ideal: every timed wait exactly as long as asked,
// every answer exactly when the exact radio model delivers it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "bus/server.h"
#include "common/ports.h"
#include "link/frame_scanner.h"
#include "settings/server_settings.h"

namespace velora::bench {

// When answers arrive in an exact world: the virtual radio, the server's virtual port with the
// given receive latency and a calculator's turnaround, run in virtual time.
class IdealAnswers {
 public:
  explicit IdealAnswers(std::int64_t portLatencyUs) : latencyUs_(portLatencyUs) {}
  // From the start of the server's burst of `burst` bytes (switching to receive `switchUs` after
  // it began) to the arrival of a station's answer of `answer` bytes.
  std::int64_t AfterBurst(std::size_t burst, std::int64_t switchUs, std::size_t answer);
  // From the arrival of one station's answer to the arrival of the next station's, which
  // follows it without a poll.
  std::int64_t AfterAnswer(std::size_t previous, std::size_t answer);

 private:
  std::int64_t latencyUs_;
  std::map<std::tuple<int, std::int64_t, std::size_t, std::size_t>, std::int64_t> cache_;
};

struct MeterTotals {
  std::uint64_t cycles = 0;
  std::int64_t actualUs = 0;  // the measured cycles
  std::int64_t idealUs = 0;   // the same cycles in an exact world
  std::int64_t waitedUs = 0;  // in the waits of the same cycles; the rest is work between them
  std::vector<std::int64_t> timedWaitLateUs;  // waits that ran out: how late they ended
  std::vector<std::int64_t> answeredUs;       // waits ended by a frame
  std::vector<std::int64_t> answeredIdealUs;
  std::uint64_t framesSent = 0;
  std::uint64_t framesReceived = 0;
};

class Meter {
 public:
  using NowFn = std::function<std::int64_t()>;
  Meter(NowFn now, IdealAnswers& ideal, std::string startString);

  void TimerStarted(int ms);
  void TimerExpired();
  void TimerStopped();
  void Wrote(std::string_view bytes);
  void Read(std::string_view bytes);
  void SwitchedToReceive();
  // Called once per cycle at the same point of it (the server's cycle handler).
  void CycleMark();
  // Only cycles and waits while measuring count.
  void SetMeasuring(bool on) { measuring_ = on; }
  const MeterTotals& Totals() const { return totals_; }
  std::int64_t NowUs() const { return now_(); }

 private:
  void WaitEnded();

  NowFn now_;
  IdealAnswers& ideal_;
  std::size_t startLength_;
  FrameScanner scanner_;
  MeterTotals totals_;
  bool measuring_ = false;

  bool timing_ = false;
  int requestedMs_ = 0;
  std::int64_t waitStartUs_ = 0;
  bool frameInWait_ = false;
  std::size_t lastFrameBytes_ = 0;

  bool writtenSinceWait_ = false;
  std::size_t burstBytes_ = 0;
  std::int64_t requestedSinceBurstUs_ = 0;
  std::int64_t switchUs_ = -1;
  std::size_t chainBytes_ = 0;  // the previous wait's answer, while no write came between

  std::int64_t cycleIdealUs_ = 0;
  std::int64_t cycleWaitedUs_ = 0;
  std::int64_t cycleMarkUs_ = -1;
};

class MeteredTimer : public OneShotTimer {
 public:
  MeteredTimer(OneShotTimer& inner, Meter& meter) : inner_(inner), meter_(meter) {}
  void Start(int ms) override;
  void Stop() override;
  void SetHandler(std::function<void()> onExpiry) override;

 private:
  OneShotTimer& inner_;
  Meter& meter_;
  std::function<void()> handler_;
};

class MeteredPort : public SerialPort {
 public:
  MeteredPort(std::unique_ptr<SerialPort> inner, Meter& meter, const ServerSettings& settings)
      : inner_(std::move(inner)), meter_(meter), settings_(settings) {}
  int PortNumber() const override { return inner_->PortNumber(); }
  void SetPortNumber(int number) override { inner_->SetPortNumber(number); }
  bool Open(std::string& error) override { return inner_->Open(error); }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Write(std::string_view bytes) override;
  std::string ReadAll() override;
  void SetDtr(bool level) override;
  void SetBreak(bool on) override { inner_->SetBreak(on); }
  void SetReceivedHandler(std::function<void()> h) override { inner_->SetReceivedHandler(h); }
  void SetTxEmptyHandler(std::function<void()> h) override { inner_->SetTxEmptyHandler(h); }
  bool IsVirtualRadio() const override { return inner_->IsVirtualRadio(); }

 private:
  std::unique_ptr<SerialPort> inner_;
  Meter& meter_;
  const ServerSettings& settings_;
};

// Puts a world's port behind a MeteredPort of the meter.
PortDecorator MeterPorts(Meter& meter);

// Order statistics of a sample (sorted in place); 0 for an empty one.
std::int64_t Percentile(std::vector<std::int64_t>& values, double p);
double Mean(const std::vector<std::int64_t>& values);

}  // namespace velora::bench
