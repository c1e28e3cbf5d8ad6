// The server's port: a serial device or the real-time virtual radio.
#include "platform/qt/qt_server_port.h"

namespace velora {

QtServerPort::QtServerPort(const ServerSettings& settings)
    : settings_(settings), device_(settings) {}

QtServerPort::~QtServerPort() {
  Close();
}

void QtServerPort::SetDevicePath(std::string path) {
  if (path != devicePath_) Close();
  devicePath_ = std::move(path);
  device_.SetDevicePath(IsVirtualRadio() ? std::string() : devicePath_);
}

void QtServerPort::SetNoteHandler(std::function<void(std::string_view)> note) {
  device_.SetNoteHandler(std::move(note));
}

void QtServerPort::SetEventHandler(std::function<void(std::string_view)> event) {
  device_.SetEventHandler(std::move(event));
}

void QtServerPort::SetPortNumber(int number) {
  if (number != number_) Close();
  number_ = number;
  device_.SetPortNumber(number);
}

bool QtServerPort::IsVirtualRadio() const {
  return devicePath_ == VirtualRadioDevice || (devicePath_.empty() && number_ == 0);
}

VirtualRadio& QtServerPort::Radio() {
  if (!radio_) {
    scheduler_ = std::make_unique<QtScheduler>();
    radio_ = std::make_unique<VirtualRadio>(*scheduler_);
  }
  return *radio_;
}

VirtualSerialPort& QtServerPort::Modem() {
  if (!modem_) {
    modem_ = std::make_unique<VirtualSerialPort>(Radio(), settings_);
    modem_->SetReceivedHandler(onReceived_);
    modem_->SetTxEmptyHandler(onTxEmpty_);
  }
  return *modem_;
}

SerialPort& QtServerPort::Active() {
  if (IsVirtualRadio()) return Modem();
  return device_;
}

bool QtServerPort::Open(std::string& error) {
  return Active().Open(error);
}

void QtServerPort::Close() {
  device_.Close();
  if (modem_) modem_->Close();
}

bool QtServerPort::IsOpen() const {
  return device_.IsOpen() || (modem_ && modem_->IsOpen());
}

void QtServerPort::Write(std::string_view bytes) {
  Active().Write(bytes);
}

std::string QtServerPort::ReadAll() {
  return Active().ReadAll();
}

void QtServerPort::SetDtr(bool level) {
  Active().SetDtr(level);
}

void QtServerPort::SetBreak(bool on) {
  Active().SetBreak(on);
}

void QtServerPort::SetReceivedHandler(std::function<void()> onReceived) {
  onReceived_ = onReceived;
  device_.SetReceivedHandler(onReceived);
  if (modem_) modem_->SetReceivedHandler(std::move(onReceived));
}

void QtServerPort::SetTxEmptyHandler(std::function<void()> onTxEmpty) {
  onTxEmpty_ = onTxEmpty;
  device_.SetTxEmptyHandler(onTxEmpty);
  if (modem_) modem_->SetTxEmptyHandler(std::move(onTxEmpty));
}

}  // namespace velora
