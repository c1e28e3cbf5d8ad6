// The server's modem on the virtual radio.
#include "platform/virtual/virtual_serial_port.h"

namespace velora {

VirtualSerialPort::VirtualSerialPort(VirtualRadio& radio, const ServerSettings& settings,
                                     std::string name)
    : radio_(radio), settings_(settings), name_(std::move(name)) {}

VirtualSerialPort::~VirtualSerialPort() {
  Close();
}

void VirtualSerialPort::SetPortNumber(int number) {
  if (number != number_) Close();
  number_ = number;
}

bool VirtualSerialPort::Open(std::string&) {
  if (modem_ != nullptr) return true;
  modem_ = radio_.Attach(*this, name_);
  received_.clear();
  break_ = false;
  SetDtr(settings_.TxenHighIsDtrFalse);  // the receive level
  return true;
}

void VirtualSerialPort::Close() {
  if (announce_ != 0) radio_.scheduler().Cancel(announce_);
  announce_ = 0;
  modem_.reset();
  received_.clear();
}

void VirtualSerialPort::Write(std::string_view bytes) {
  if (modem_ != nullptr) modem_->Queue(bytes);
}

std::string VirtualSerialPort::ReadAll() {
  std::string bytes;
  bytes.swap(received_);
  return bytes;
}

void VirtualSerialPort::SetDtr(bool level) {
  dtr_ = level;
  if (modem_ != nullptr) modem_->SetTransmitter(TransmitterFor(level));
}

void VirtualSerialPort::SetReceivedHandler(std::function<void()> onReceived) {
  onReceived_ = std::move(onReceived);
}

void VirtualSerialPort::SetTxEmptyHandler(std::function<void()> onTxEmpty) {
  onTxEmpty_ = std::move(onTxEmpty);
}

void VirtualSerialPort::ByteHeard(std::uint8_t byte) {
  received_ += static_cast<char>(byte);
  if (announce_ != 0) return;
  announce_ = radio_.scheduler().ScheduleAfter(latencyUs_, [this] {
    announce_ = 0;
    if (onReceived_ && !received_.empty()) onReceived_();
  });
}

void VirtualSerialPort::TransmitEmpty() {
  if (onTxEmpty_) onTxEmpty_();
}

}  // namespace velora
