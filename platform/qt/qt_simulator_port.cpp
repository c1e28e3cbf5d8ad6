// The server's port with the built-in simulator's calculator beside it.
#include "platform/qt/qt_simulator_port.h"

#include <utility>

#include "common/text.h"
#include "link/serial_line.h"

namespace velora {

QtSimulatorPort::QtSimulatorPort(std::unique_ptr<QtServerPort> port, const ServerSettings& settings)
    : port_(std::move(port)), settings_(settings), engine_(settings) {
  relayTimer_.setSingleShot(true);
  endTimer_.setSingleShot(true);
  QObject::connect(&relayTimer_, &QTimer::timeout, [this] { RelayIfDue(); });
  QObject::connect(&endTimer_, &QTimer::timeout, [this] { RelayDone(); });
}

QtSimulatorPort::~QtSimulatorPort() {
  Close();
}

void QtSimulatorPort::SetChangeHandler(std::function<void()> onChange) {
  onChange_ = std::move(onChange);
  if (station_) station_->onFrame = onChange_;
}

bool QtSimulatorPort::Open(std::string& error) {
  if (!port_->Open(error)) return false;
  if (port_->IsVirtualRadio()) {
    station_ = std::make_unique<CalculatorStation>(port_->Radio(), engine_, "TiSim");
    station_->SetListenBeforeTalk(true);
    station_->onFrame = onChange_;
  }
  return true;
}

void QtSimulatorPort::Close() {
  station_.reset();
  relayTimer_.stop();
  endTimer_.stop();
  answer_.clear();
  received_.clear();
  port_->Close();
}

void QtSimulatorPort::Write(std::string_view bytes) {
  port_->Write(bytes);
  if (Relaying()) Hear(bytes);
}

std::string QtSimulatorPort::ReadAll() {
  if (!Relaying()) return port_->ReadAll();
  TakeDeviceBytes();
  return std::exchange(received_, {});
}

void QtSimulatorPort::SetReceivedHandler(std::function<void()> onReceived) {
  onReceived_ = std::move(onReceived);
  if (!onReceived_) {
    port_->SetReceivedHandler({});
    return;
  }
  port_->SetReceivedHandler([this] { OnDeviceBytes(); });
  // The server listens again: a turn that came while it was switching is taken now.
  if (Relaying() && engine_.MustSend()) relayTimer_.start(0);
}

void QtSimulatorPort::SetTxEmptyHandler(std::function<void()> onTxEmpty) {
  onTxEmpty_ = std::move(onTxEmpty);
  port_->SetTxEmptyHandler([this] {
    if (answer_.empty()) {
      if (onTxEmpty_) onTxEmpty_();
      return;
    }
    // The answer's own: the server is not sending.
    if (settings_.TxenOnTxEmpty) RelayDone();
  });
}

void QtSimulatorPort::OnDeviceBytes() {
  if (Relaying()) TakeDeviceBytes();
  if (onReceived_) onReceived_();
}

void QtSimulatorPort::TakeDeviceBytes() {
  const std::string bytes = port_->ReadAll();
  received_ += bytes;
  Hear(bytes);
}

void QtSimulatorPort::Hear(std::string_view bytes) {
  if (bytes.empty()) return;
  engine_.ProcessReceived(bytes, [this] {
    if (onChange_) onChange_();
  });
  if (engine_.MustSend() && onReceived_) relayTimer_.start(0);
}

void QtSimulatorPort::RelayIfDue() {
  if (!Relaying() || !onReceived_ || !answer_.empty() || !engine_.MustSend()) return;
  answer_ = engine_.SendToServer();
  if (answer_.empty()) return;
  port_->SetDtr(!settings_.TxenHighIsDtrFalse);
  port_->Write(answer_);
  const int pauseMs = EndOfWritePauseMs(answer_.size(), answer_.size());
  endTimer_.start(settings_.TxenOnTxEmpty ? TxEmptyGuardMs(pauseMs) : pauseMs);
}

void QtSimulatorPort::RelayDone() {
  endTimer_.stop();
  if (answer_.empty()) return;
  const std::string answer = std::exchange(answer_, {});
  port_->SetDtr(settings_.TxenHighIsDtrFalse);
  received_ += answer;
  if (note_)
    note_("TiSim SENT " + std::to_string(answer.size()) + " byte: " + ReadableBytes(answer));
  if (onReceived_) onReceived_();
}

}  // namespace velora
