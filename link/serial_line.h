// The half-duplex serial line: transmitter turnaround, writing frames, the receive buffer and its
// frame scanner, and the waits that keep the event loop running.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ports.h"
#include "link/frame.h"
#include "link/frame_scanner.h"
#include "settings/server_settings.h"

namespace velora {

// Pause in ms after writing: `written` bytes at 1.8 bytes per ms, rounded to the nearest ms, but
// never shorter than the wire time (19200 baud, 10 bits a byte) of the `onTheLine` bytes that can
// still be on their way, so that switching to receive never cuts the last byte off the air.
int EndOfWritePauseMs(std::size_t written, std::size_t onTheLine);
// How long a write waits at most for the transmit-empty event after that pause, so that a
// missing event cannot hold the line for ever: twice the pause and 100 ms.
int TxEmptyGuardMs(int pauseMs);

// Candidates the scanner found and dropped, by why.
struct LineDrops {
  std::uint64_t crc = 0;
  std::uint64_t length = 0;
  std::uint64_t destination = 0;
  std::uint64_t overtaken = 0;
};

class SerialLine {
 public:
  // Attaches itself to the port's and the timer's events; the settings are read at each use.
  SerialLine(SerialPort& port, OneShotTimer& timer, EventPump& pump, LogSink& log,
             const ServerSettings& settings);
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  void Delay(int ms);
  void TXENSend();
  void TXENReceive();
  void SendPacket(std::uint8_t destination, std::uint8_t kind, std::string_view data,
                  std::uint8_t part);
  // Waits up to timeoutMs for a frame to the server and returns it; nothing after the time-out.
  // A frame already received with the previous one is returned at once.
  std::optional<Frame> ReceivePacket(int timeoutMs);

  // Event handlers.
  void ComRxChar();
  void FinishedSending();
  void HRTimerTimer();

  // Ends a timed wait in progress (the main window is closing): the waiting code returns after
  // the current batch of events.
  void EndTimerWait();

  bool TxenIsReceive() const { return txenIsReceive_; }
  const LineDrops& Drops() const { return drops_; }
  bool Sending() const { return sending_; }
  const std::string& ReceiveBuffer() const { return scanner_.Buffered(); }

 private:
  template <class Done>
  bool WaitUntil(Done done);
  // Waits until the bytes just written have left; false when the application is terminating.
  bool WaitForWriteEnd(std::size_t written);
  void WriteToPort(std::string_view bytes);
  bool UsesStartString() const;
  // The next frame in what has been received; what is dropped on the way is logged.
  std::optional<Frame> NextFrame();
  void Report(const FrameScanner::Event& event);
  bool TransmitLevel() const { return !settings_.TxenHighIsDtrFalse; }
  bool ReceiveLevel() const { return settings_.TxenHighIsDtrFalse; }

  SerialPort& port_;
  OneShotTimer& timer_;
  EventPump& pump_;
  LogSink& log_;
  const ServerSettings& settings_;

  FrameScanner scanner_;
  LineDrops drops_;
  bool timerRunning_ = false;
  bool sending_ = false;
  bool txenIsReceive_ = false;
  // Bytes written since the last completed end-of-write wait: they may still be on the wire.
  std::size_t onTheLine_ = 0;
};

}  // namespace velora
