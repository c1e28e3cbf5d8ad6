// The cycle meter and its exact-world model of answers.
#include "bench/meter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "link/frame.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "platform/virtual/virtual_time.h"

namespace velora::bench {

namespace {

// A station that puts a number of bytes on the air at a given time.
class Sender : public RadioStation {
 public:
  explicit Sender(VirtualRadio& radio) : modem_(radio.Attach(*this, "sender")) {}
  void TransmitAt(Scheduler& time, std::int64_t atUs, std::size_t bytes) {
    time.ScheduleAfter(atUs - time.NowUs(), [this, bytes] {
      modem_->SetTransmitter(true);
      modem_->Queue(std::string(bytes, 'x'));
    });
  }
  void ByteHeard(std::uint8_t) override {}
  void TransmitEmpty() override { modem_->SetTransmitter(false); }

 private:
  std::unique_ptr<RadioModem> modem_;
};

// The server's port in virtual time; tells when it has announced a number of bytes in all.
struct IdealServer {
  explicit IdealServer(std::int64_t latencyUs) {
    std::string error;
    port.Open(error);
    port.SetReceiveLatencyUs(latencyUs);
    port.SetReceivedHandler([this] {
      received += port.ReadAll().size();
      for (auto& [count, at] : arrivals) {
        if (at < 0 && received >= count) at = time.NowUs();
      }
    });
  }
  VirtualTime time;
  VirtualRadio radio{time};
  ServerSettings settings;
  VirtualSerialPort port{radio, settings};
  std::size_t received = 0;
  std::vector<std::pair<std::size_t, std::int64_t>> arrivals;
};

}  // namespace

std::int64_t IdealAnswers::AfterBurst(std::size_t burst, std::int64_t switchUs,
                                      std::size_t answer) {
  const auto key = std::make_tuple(0, switchUs, burst, answer);
  if (auto found = cache_.find(key); found != cache_.end()) return found->second;
  IdealServer server(latencyUs_);
  Sender station(server.radio);
  server.arrivals = {{answer, -1}};
  server.port.SetDtr(!server.settings.TxenHighIsDtrFalse);
  server.port.Write(std::string(burst, 'x'));
  server.time.ScheduleAfter(switchUs,
                            [&] { server.port.SetDtr(server.settings.TxenHighIsDtrFalse); });
  station.TransmitAt(
      server.time,
      BurstTimeUs(static_cast<std::int64_t>(burst)) + CalculatorStation::DefaultTurnaroundUs,
      answer);
  server.time.RunFor(2'000'000);
  return cache_[key] = server.arrivals[0].second;
}

std::int64_t IdealAnswers::AfterAnswer(std::size_t previous, std::size_t answer) {
  const auto key = std::make_tuple(1, std::int64_t{0}, previous, answer);
  if (auto found = cache_.find(key); found != cache_.end()) return found->second;
  IdealServer server(latencyUs_);
  Sender first(server.radio);
  Sender next(server.radio);
  server.arrivals = {{previous, -1}, {previous + answer, -1}};
  first.TransmitAt(server.time, 0, previous);
  next.TransmitAt(
      server.time,
      BurstTimeUs(static_cast<std::int64_t>(previous)) + CalculatorStation::DefaultTurnaroundUs,
      answer);
  server.time.RunFor(2'000'000);
  const std::int64_t from = server.arrivals[0].second;
  const std::int64_t to = server.arrivals[1].second;
  return cache_[key] = (from < 0 || to < 0) ? -1 : to - from;
}

Meter::Meter(NowFn now, IdealAnswers& ideal, std::string startString)
    : now_(std::move(now)),
      ideal_(ideal),
      startLength_(startString.size()),
      scanner_({.startString = std::move(startString),
                .check = FrameScanner::Check::Crc,
                .resync = FrameScanner::Resync::NextByte}) {}

void Meter::TimerStarted(int ms) {
  if (timing_) TimerStopped();
  timing_ = true;
  requestedMs_ = ms;
  waitStartUs_ = now_();
  frameInWait_ = false;
}

void Meter::WaitEnded() {
  timing_ = false;
  writtenSinceWait_ = false;
}

void Meter::TimerExpired() {
  if (!timing_) return;
  const std::int64_t tookUs = now_() - waitStartUs_;
  const std::int64_t askedUs = std::int64_t{requestedMs_} * 1000;
  WaitEnded();
  requestedSinceBurstUs_ += askedUs;
  chainBytes_ = 0;
  cycleIdealUs_ += askedUs;
  cycleWaitedUs_ += tookUs;
  if (measuring_) totals_.timedWaitLateUs.push_back(tookUs - askedUs);
}

void Meter::TimerStopped() {
  if (!timing_) return;
  const std::int64_t tookUs = now_() - waitStartUs_;
  WaitEnded();
  if (!frameInWait_) return;  // not an answer: the run is ending
  const std::size_t answer = lastFrameBytes_;
  std::int64_t idealUs = -1;
  if (chainBytes_ > 0) {
    idealUs = ideal_.AfterAnswer(chainBytes_, answer);
  } else if (burstBytes_ > 0) {
    const std::int64_t switchUs = switchUs_ >= 0 ? switchUs_ : requestedSinceBurstUs_;
    const std::int64_t arrival = ideal_.AfterBurst(burstBytes_, switchUs, answer);
    if (arrival >= 0) idealUs = std::max<std::int64_t>(0, arrival - requestedSinceBurstUs_);
  }
  // An answer the model cannot place (a station out of turn) counts as it came.
  if (idealUs < 0) idealUs = tookUs;
  chainBytes_ = answer;
  cycleIdealUs_ += idealUs;
  cycleWaitedUs_ += tookUs;
  if (measuring_) {
    totals_.answeredUs.push_back(tookUs);
    totals_.answeredIdealUs.push_back(idealUs);
  }
}

void Meter::Wrote(std::string_view bytes) {
  if (!writtenSinceWait_) {
    writtenSinceWait_ = true;
    burstBytes_ = 0;
    requestedSinceBurstUs_ = 0;
    switchUs_ = -1;
  }
  burstBytes_ += bytes.size();
  chainBytes_ = 0;
  if (measuring_ && bytes.size() >= FrameOverhead) ++totals_.framesSent;
}

void Meter::SwitchedToReceive() {
  if (switchUs_ < 0) switchUs_ = requestedSinceBurstUs_;
  scanner_.Clear();  // as the server's line does: a frame begins after the switch
}

void Meter::Read(std::string_view bytes) {
  scanner_.Feed(bytes);
  while (std::optional<FrameScanner::Event> event = scanner_.Next()) {
    if (event->type != FrameScanner::EventType::Frame) continue;
    lastFrameBytes_ = event->bytes.size() + startLength_;
    frameInWait_ = timing_;
    if (measuring_) ++totals_.framesReceived;
  }
}

void Meter::CycleMark() {
  const std::int64_t now = now_();
  if (measuring_ && cycleMarkUs_ >= 0) {
    ++totals_.cycles;
    totals_.actualUs += now - cycleMarkUs_;
    totals_.idealUs += cycleIdealUs_;
    totals_.waitedUs += cycleWaitedUs_;
  }
  cycleMarkUs_ = now;
  cycleIdealUs_ = 0;
  cycleWaitedUs_ = 0;
}

void MeteredTimer::Start(int ms) {
  meter_.TimerStarted(ms);
  inner_.Start(ms);
}

void MeteredTimer::Stop() {
  meter_.TimerStopped();
  inner_.Stop();
}

void MeteredTimer::SetHandler(std::function<void()> onExpiry) {
  handler_ = std::move(onExpiry);
  inner_.SetHandler([this] {
    meter_.TimerExpired();
    if (auto handler = handler_) handler();
  });
}

void MeteredPort::Write(std::string_view bytes) {
  meter_.Wrote(bytes);
  inner_->Write(bytes);
}

std::string MeteredPort::ReadAll() {
  std::string bytes = inner_->ReadAll();
  meter_.Read(bytes);
  return bytes;
}

void MeteredPort::SetDtr(bool level) {
  if (level == settings_.TxenHighIsDtrFalse) meter_.SwitchedToReceive();
  inner_->SetDtr(level);
}

std::int64_t Percentile(std::vector<std::int64_t>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
  return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

double Mean(const std::vector<std::int64_t>& values) {
  if (values.empty()) return 0;
  return static_cast<double>(std::accumulate(values.begin(), values.end(), std::int64_t{0})) /
         static_cast<double>(values.size());
}

PortDecorator MeterPorts(Meter& meter) {
  return [&meter](std::unique_ptr<SerialPort> port, const ServerSettings& settings) {
    return std::make_unique<MeteredPort>(std::move(port), meter, settings);
  };
}

}  // namespace velora::bench
