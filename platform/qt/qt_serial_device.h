// A serial device on QSerialPort: 19200 8N1, no flow control, RTS on, DTR under program control.
// Its transmit-empty event means drained: the wire time of what was written has passed and the
// driver reports its queue and the transmitter empty.
#pragma once

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/ports.h"
#include "settings/server_settings.h"

namespace velora {

class QtSerialDevice : public SerialPort {
 public:
  // The polarity (TxenHighIsDtrFalse) decides the receive level DTR takes after opening.
  explicit QtSerialDevice(const ServerSettings& settings);
  ~QtSerialDevice() override;
  QtSerialDevice(const QtSerialDevice&) = delete;
  QtSerialDevice& operator=(const QtSerialDevice&) = delete;

  // Opens this device instead of the numbered port; empty goes back to the number.
  void SetDevicePath(std::string path);
  const std::string& DevicePath() const { return devicePath_; }
  // Where notes about refused requests and recovered errors go (without one: qWarning).
  void SetNoteHandler(std::function<void(std::string_view)> note) { note_ = std::move(note); }
  // Where the operator's event lines go (8-bit text): the loss of the device and its reopening.
  void SetEventHandler(std::function<void(std::string_view)> event) { event_ = std::move(event); }

  int PortNumber() const override { return number_; }
  void SetPortNumber(int number) override;
  bool Open(std::string& error) override;
  void Close() override;
  bool IsOpen() const override { return port_.isOpen(); }
  void Write(std::string_view bytes) override;
  std::string ReadAll() override;
  void SetDtr(bool level) override;
  void SetBreak(bool on) override;
  void SetReceivedHandler(std::function<void()> onReceived) override;
  void SetTxEmptyHandler(std::function<void()> onTxEmpty) override;

 private:
  bool OpenDevice(const QString& path, std::string& error);
  void CheckDrained();
  void CheckDrainedAfter(std::int64_t ns);
  void OnError(QSerialPort::SerialPortError error);
  void Recover();
  void Note(std::string_view text);
  void NoteOnce(bool& noted, std::string_view text);
  void Event(const std::string& text);

  const ServerSettings& settings_;
  QSerialPort port_;
  QTimer drainTimer_;
  QTimer recoverTimer_;
  QElapsedTimer clock_;
  // When everything written so far has left the wire at the line rate.
  std::int64_t drainDeadlineNs_ = 0;
  bool draining_ = false;
  bool dtr_ = true;
  bool dtrNoted_ = false;
  bool rtsNoted_ = false;
  bool breakNoted_ = false;
  bool drainNoted_ = false;
  bool lostNoted_ = false;
  bool wantOpen_ = false;
  std::int64_t lastReopenNs_ = -1;
  int number_ = 0;
  std::string devicePath_;
  QString openedPath_;
  std::function<void()> onReceived_;
  std::function<void()> onTxEmpty_;
  std::function<void(std::string_view)> note_;
  std::function<void(std::string_view)> event_;
};

}  // namespace velora
