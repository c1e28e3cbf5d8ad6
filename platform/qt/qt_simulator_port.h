// The server's port with the built-in simulator's calculator beside it. On the virtual radio the
// calculator is one more station. On a serial device the port is wrapped: the calculator hears
// what the server sends and what the device receives, and when its turn comes while the server
// listens, its answer goes out on the device with the transmitter held on (so the stations on
// the radio hear it) and reaches the server as received bytes. The server and its link know
// nothing of it either way.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/ports.h"
#include "platform/qt/qt_server_port.h"
#include "platform/virtual/virtual_calculator_station.h"
#include "sim/calculator_engine.h"

namespace velora {

class QtSimulatorPort : public SerialPort {
 public:
  QtSimulatorPort(std::unique_ptr<QtServerPort> port, const ServerSettings& settings);
  ~QtSimulatorPort() override;
  QtSimulatorPort(const QtSimulatorPort&) = delete;
  QtSimulatorPort& operator=(const QtSimulatorPort&) = delete;

  QtServerPort& Inner() { return *port_; }
  CalculatorEngine& Engine() { return engine_; }
  // Called after every frame the calculator has taken.
  void SetChangeHandler(std::function<void()> onChange);
  // Where the line about each relayed answer goes (the detailed log, whatever its level).
  void SetNoteHandler(std::function<void(std::string_view)> note) { note_ = std::move(note); }

  int PortNumber() const override { return port_->PortNumber(); }
  void SetPortNumber(int number) override { port_->SetPortNumber(number); }
  bool Open(std::string& error) override;
  void Close() override;
  bool IsOpen() const override { return port_->IsOpen(); }
  void Write(std::string_view bytes) override;
  std::string ReadAll() override;
  void SetDtr(bool level) override { port_->SetDtr(level); }
  void SetBreak(bool on) override { port_->SetBreak(on); }
  void SetReceivedHandler(std::function<void()> onReceived) override;
  void SetTxEmptyHandler(std::function<void()> onTxEmpty) override;
  bool IsVirtualRadio() const override { return port_->IsVirtualRadio(); }

 private:
  bool Relaying() const { return port_->IsOpen() && !station_; }
  // What the calculator hears on the device's side; its turn makes a relay due.
  void Hear(std::string_view bytes);
  void OnDeviceBytes();
  // What the device received, kept for the server and heard by the calculator.
  void TakeDeviceBytes();
  void RelayIfDue();
  void RelayDone();

  std::unique_ptr<QtServerPort> port_;
  const ServerSettings& settings_;
  CalculatorEngine engine_;
  std::unique_ptr<CalculatorStation> station_;  // while open on the virtual radio
  std::function<void()> onChange_;
  std::function<void(std::string_view)> note_;
  std::function<void()> onReceived_;
  std::function<void()> onTxEmpty_;
  std::string received_;  // for the server: the device's bytes and the calculator's answers
  std::string answer_;    // on its way out
  bool relayDue_ = false;
  QTimer relayTimer_;  // starts a due relay from the event loop, never inside a call of the line
  QTimer endTimer_;    // the end of the answer on the wire
};

}  // namespace velora
