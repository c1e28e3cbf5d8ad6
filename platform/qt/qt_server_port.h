// The server's port: the serial device of the configured number or path, or, with port number 0
// (none chosen) or the path "virtual", the server's modem on a real-time virtual radio, so that
// the network works for the simulator without any hardware.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/ports.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_serial_device.h"
#include "platform/virtual/virtual_radio.h"
#include "platform/virtual/virtual_serial_port.h"
#include "settings/server_settings.h"

namespace velora {

inline constexpr std::string_view VirtualRadioDevice = "virtual";

class QtServerPort : public SerialPort {
 public:
  explicit QtServerPort(const ServerSettings& settings);
  ~QtServerPort() override;
  QtServerPort(const QtServerPort&) = delete;
  QtServerPort& operator=(const QtServerPort&) = delete;

  // A device path to open instead of the numbered port; VirtualRadioDevice picks the virtual
  // radio; empty goes back to the number. A change closes an open port.
  void SetDevicePath(std::string path);
  void SetNoteHandler(std::function<void(std::string_view)> note);
  // The serial device's event lines for the operator (its loss and reopening).
  void SetEventHandler(std::function<void(std::string_view)> event);
  // The real-time virtual radio, created on first use; simulated calculators attach here. It
  // lives as long as this port.
  VirtualRadio& Radio();

  int PortNumber() const override { return number_; }
  void SetPortNumber(int number) override;
  bool Open(std::string& error) override;
  void Close() override;
  bool IsOpen() const override;
  void Write(std::string_view bytes) override;
  std::string ReadAll() override;
  void SetDtr(bool level) override;
  void SetBreak(bool on) override;
  void SetReceivedHandler(std::function<void()> onReceived) override;
  void SetTxEmptyHandler(std::function<void()> onTxEmpty) override;
  // True when the port opens (or has opened) the virtual radio.
  bool IsVirtualRadio() const override;

 private:
  VirtualSerialPort& Modem();
  SerialPort& Active();

  const ServerSettings& settings_;
  QtSerialDevice device_;
  std::unique_ptr<QtScheduler> scheduler_;
  std::unique_ptr<VirtualRadio> radio_;
  std::unique_ptr<VirtualSerialPort> modem_;
  int number_ = 0;
  std::string devicePath_;
  std::function<void()> onReceived_;
  std::function<void()> onTxEmpty_;
};

}  // namespace velora
