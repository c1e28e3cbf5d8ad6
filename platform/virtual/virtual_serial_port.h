// The server's modem on the virtual radio as a serial port: the transmitter follows DTR with the
// configured polarity, heard bytes wait in the port and are announced in batches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/ports.h"
#include "platform/virtual/virtual_radio.h"
#include "settings/server_settings.h"

namespace velora {

class VirtualSerialPort : public SerialPort, private RadioStation {
 public:
  // Announcing received bytes this long after the first of a batch, like a USB serial adapter.
  static constexpr std::int64_t DefaultReceiveLatencyUs = 2000;

  // The polarity (TxenHighIsDtrFalse) is read from the settings at each DTR change.
  VirtualSerialPort(VirtualRadio& radio, const ServerSettings& settings,
                    std::string name = "server");
  ~VirtualSerialPort() override;

  int PortNumber() const override { return number_; }
  void SetPortNumber(int number) override;
  bool Open(std::string& error) override;
  void Close() override;
  bool IsOpen() const override { return modem_ != nullptr; }
  void Write(std::string_view bytes) override;
  std::string ReadAll() override;
  // Opening leaves DTR at the receive level: the transmitter is off.
  void SetDtr(bool level) override;
  void SetBreak(bool on) override { break_ = on; }
  void SetReceivedHandler(std::function<void()> onReceived) override;
  void SetTxEmptyHandler(std::function<void()> onTxEmpty) override;
  bool IsVirtualRadio() const override { return true; }

  void SetReceiveLatencyUs(std::int64_t us) { latencyUs_ = us; }
  bool Dtr() const { return dtr_; }
  bool Break() const { return break_; }
  bool TransmitterOn() const { return modem_ != nullptr && modem_->TransmitterOn(); }
  VirtualRadio& radio() const { return radio_; }

 private:
  void ByteHeard(std::uint8_t byte) override;
  void TransmitEmpty() override;
  bool TransmitterFor(bool dtr) const { return dtr != settings_.TxenHighIsDtrFalse; }

  VirtualRadio& radio_;
  const ServerSettings& settings_;
  std::string name_;
  std::unique_ptr<RadioModem> modem_;
  int number_ = 0;
  bool dtr_ = false;
  bool break_ = false;
  std::string received_;
  std::int64_t latencyUs_ = DefaultReceiveLatencyUs;
  Scheduler::TaskId announce_ = 0;
  std::function<void()> onReceived_;
  std::function<void()> onTxEmpty_;
};

}  // namespace velora
