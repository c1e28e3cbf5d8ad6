// The half-duplex serial line.
#include "link/serial_line.h"

#include <algorithm>

#include "common/cp1252.h"
#include "common/text.h"
#include "link/frame.h"

namespace velora {

int EndOfWritePauseMs(std::size_t written, std::size_t onTheLine) {
  const auto nominal = static_cast<int>((written * 10 + 9) / 18);
  const auto wire = static_cast<int>((onTheLine * 10'000 + 19'199) / 19'200);
  return std::max(nominal, wire);
}

int TxEmptyGuardMs(int pauseMs) {
  return 2 * pauseMs + 100;
}

SerialLine::SerialLine(SerialPort& port, OneShotTimer& timer, EventPump& pump, LogSink& log,
                       const ServerSettings& settings)
    : port_(port),
      timer_(timer),
      pump_(pump),
      log_(log),
      settings_(settings),
      scanner_({.startString = {},
                .check = FrameScanner::Check::ServerFrame,
                .resync = FrameScanner::Resync::Discard}) {
  timer_.SetHandler([this] { HRTimerTimer(); });
  port_.SetTxEmptyHandler([this] { FinishedSending(); });
  port_.SetReceivedHandler([this] { ComRxChar(); });
}

SerialLine::~SerialLine() {
  timer_.Stop();
  timer_.SetHandler({});
  port_.SetTxEmptyHandler({});
  port_.SetReceivedHandler({});
}

template <class Done>
bool SerialLine::WaitUntil(Done done) {
  while (!done()) {
    if (pump_.Terminating()) return false;
    pump_.ProcessEvents();
  }
  return true;
}

void SerialLine::Delay(int ms) {
  if (ms <= 0) return;
  log_.LogAt(3, "wait " + std::to_string(ms));
  timer_.Stop();
  timerRunning_ = true;
  timer_.Start(ms);
  if (!WaitUntil([this] { return !timerRunning_; })) {
    timer_.Stop();
    return;
  }
  // Whatever the line could carry in that time has left it.
  onTheLine_ -= std::min(onTheLine_, static_cast<std::size_t>(ms) * 192 / 100);
}

void SerialLine::HRTimerTimer() {
  log_.LogAt(4, "TIMER");
  timerRunning_ = false;
}

void SerialLine::EndTimerWait() {
  timer_.Stop();
  timerRunning_ = false;
}

void SerialLine::FinishedSending() {
  sending_ = false;
}

void SerialLine::WriteToPort(std::string_view bytes) {
  port_.Write(bytes);
  onTheLine_ += bytes.size();
}

void SerialLine::TXENSend() {
  log_.LogAt(3, "TXEN send");
  port_.SetDtr(TransmitLevel());
  txenIsReceive_ = false;
  const bool marking = settings_.MarkingDuringTurnaround;
  if (marking) port_.SetBreak(true);
  port_.SetReceivedHandler({});
  Delay(settings_.TxenToWritePause);
  if (marking) port_.SetBreak(false);
  if (settings_.SendAfterTxenSwitch) WriteToPort(settings_.AfterTxenSwitchChars);
}

void SerialLine::TXENReceive() {
  log_.LogAt(3, "TXEN receive");
  port_.SetDtr(ReceiveLevel());
  txenIsReceive_ = true;
  onTheLine_ = 0;
  Delay(settings_.TxenToReadPause);
  if (settings_.DropRxDuringTurnaround) {
    const std::string dropped = port_.ReadAll();
    log_.LogAt(3, "DROP : TXEN-Wechsel:" + dropped);
  }
  port_.SetReceivedHandler([this] { ComRxChar(); });
  scanner_.Clear();
}

bool SerialLine::WaitForWriteEnd(std::size_t written) {
  const int pauseMs = EndOfWritePauseMs(written, onTheLine_);
  if (!settings_.TxenOnTxEmpty) {
    Delay(pauseMs);
    if (pump_.Terminating()) return false;
    onTheLine_ = 0;
    return true;
  }
  // The timer bounds the wait for the transmit-empty event.
  const int guardMs = TxEmptyGuardMs(pauseMs);
  timer_.Stop();
  timerRunning_ = true;
  timer_.Start(guardMs);
  const bool completed = WaitUntil([this] { return !sending_ || !timerRunning_; });
  timer_.Stop();
  timerRunning_ = false;
  if (!completed) return false;
  if (sending_) {
    sending_ = false;
    log_.LogAt(1, "NOTE : no transmit-empty event within " + std::to_string(guardMs) + " ms");
  }
  onTheLine_ = 0;
  return true;
}

void SerialLine::SendPacket(std::uint8_t destination, std::uint8_t kind, std::string_view data,
                            std::uint8_t part) {
  if (data.size() > MaxFrameData) {
    // The length byte cannot describe it; a cut frame would reach the calculator as garbage.
    log_.LogAt(1,
               "NOTE : frame too long, not sent (" + std::to_string(data.size()) + " data bytes)");
    return;
  }
  const std::string frame = BuildFrame(destination, kind, ServerAddress, part, data);
  if (log_.Enabled(3)) log_.Log("SEND : " + ReadableBytes(frame));
  std::string bytes(StartString(settings_));
  bytes += frame;
  sending_ = true;
  WriteToPort(bytes);
  if (!WaitForWriteEnd(bytes.size())) return;
  if (log_.Enabled(2)) log_.Log("SENT : " + ReadableBytes(frame));
}

std::optional<Frame> SerialLine::ReceivePacket(int timeoutMs) {
  log_.LogAt(3, "NOTE : receive-wait " + std::to_string(timeoutMs));
  timer_.Stop();
  timerRunning_ = true;
  timer_.Start(timeoutMs);
  // A frame that arrived together with the previous one is taken at once, not lost.
  std::optional<Frame> frame;
  WaitUntil([&] {
    frame = NextFrame();
    return frame || !timerRunning_;
  });
  timer_.Stop();
  timerRunning_ = false;
  if (!frame) log_.LogAt(3, "NOTE : receive timeout");
  return frame;
}

void SerialLine::ComRxChar() {
  scanner_.Feed(port_.ReadAll());
}

bool SerialLine::UsesStartString() const {
  // An empty start string cannot be searched for; treat it like the option being off.
  return settings_.SendPacketInitString && !settings_.PacketInitString.empty();
}

std::optional<Frame> SerialLine::NextFrame() {
  if (scanner_.Empty()) return std::nullopt;
  scanner_.SetStartString(UsesStartString() ? settings_.PacketInitString : std::string());
  // After a dropped candidate the search goes on, since a frame may hide behind it; a second
  // frame waits in the scanner for the next receive wait.
  while (std::optional<FrameScanner::Event> event = scanner_.Next()) {
    Report(*event);
    if (event->frame) return std::move(event->frame);
  }
  return std::nullopt;
}

void SerialLine::Report(const FrameScanner::Event& event) {
  using T = FrameScanner::EventType;
  switch (event.type) {
    case T::SearchStart:
      log_.LogAt(3, "NOTE : Delete all before " + settings_.PacketInitString);
      return;
    case T::Emptied:
      if (log_.Enabled(3)) {
        log_.Log("NOTE : emptying rcvbuffer (" + std::to_string(event.count) +
                 " Byte:" + ReadableBytes(event.bytes) + ")");
      }
      return;
    case T::Skipped:
      if (log_.Enabled(3)) {
        log_.Log("NOTE : deleting from rcvbuffer (" + std::to_string(event.count) + ":" +
                 ReadableBytes(event.bytes) + ")");
      }
      return;
    case T::BadLength:
      ++drops_.length;
      if (log_.Enabled(1)) {
        log_.Log(std::string("DROP : ungültiges Längenbyte ("_cp) +
                 std::to_string(event.bytes.size()) + ":" + ReadableBytes(event.bytes) + ")");
      }
      return;
    case T::Frame:
      if (log_.Enabled(2)) log_.Log("RCVD : " + ReadableBytes(event.bytes));
      return;
    case T::NotForServer:
      ++drops_.destination;
      if (log_.Enabled(1)) {
        log_.Log(std::string("DROP : nicht für Server ("_cp) + std::to_string(event.count) + ":" +
                 ReadableBytes(event.bytes) + ")");
      }
      return;
    case T::BadCrc:
      ++drops_.crc;
      log_.LogAt(1, "DROP : Prüfsummenfehler"_cp);
      return;
    case T::Overtaken:
      ++drops_.overtaken;
      if (log_.Enabled(1)) {
        log_.Log(std::string("DROP : unvollständiges Paket vor gültigem verworfen ("_cp) +
                 std::to_string(event.count) + ":" + ReadableBytes(event.bytes) + ")");
      }
      return;
  }
}

}  // namespace velora
