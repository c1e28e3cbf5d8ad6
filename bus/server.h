// The server: owns the applied settings, the station table with its sessions, the user table, the
// feedback list, the log and the serial line, and runs the polling cycle between start and stop.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/station_table.h"
#include "common/ports.h"
#include "common/random.h"
#include "common/records.h"
#include "link/serial_line.h"
#include "link/simulator_link.h"
#include "session/context.h"
#include "settings/server_settings.h"
#include "store/log_file.h"

namespace velora {

struct ServerPorts {
  Clock& clock;
  EventPump& pump;
  OneShotTimer& timer;
  OperatorUi& ui;
  // Creates the radio modem's port; it reads the server's settings (the DTR polarity) at use.
  std::function<std::unique_ptr<SerialPort>(const ServerSettings&)> makePort;
};

// What the main window draws each cycle, kept as data so that any window can show it.
struct CycleGraph {
  static constexpr int Width = 100;
  static constexpr int Height = 65;
  static constexpr int ResendWidth = 49;
  int msPerPixel = 8;  // the graph's vertical scale, 1..15
  std::uint32_t lastCycleMs = 0;
  int graphPrev1 = 0;
  int graphPrev2 = 0;
  std::deque<int> values;  // plotted values, oldest first, 3 pixels apart
  struct ResendColumn {
    int x;
    int sendCount;
    int sendCountMax;
  };
  std::vector<ResendColumn> resend;  // columns since the graph was last cleared, left to right
  int resendX = 0;
};

class Server {
 public:
  Server(ServerPorts ports, std::string workDir);
  ~Server();

  // Runs the server until RequestStop (or a failed start); false when it could not start.
  bool Start();
  void RequestStop();
  bool Running() const { return running_; }
  // Ends a running timed wait at once, as closing the main window does.
  void AbortWaits();
  // The one-second uptime timer; counts only while the server runs.
  void TickSecond();

  ServerSettings settings;

 private:
  std::unique_ptr<SerialPort> port_;  // before the serial line, which holds it

 public:
  SerialPort& port() { return *port_; }
  UserTable users;
  FeedbackList feedback;
  std::int32_t totalUptime = 0;
  std::int32_t runSeconds = 0;
  Random random;
  LogFile log;
  SerialLine line;
  StationTable stations;
  CycleGraph graph;

  // Called once per cycle after the displays' data changed.
  std::function<void()> onCycle;
  // Lets the built-in simulator hear stations (null: none).
  void SetSimulator(SimulatorLink* simulator);

 private:
  void Cycle();
  void RegistrationSlot();
  void OutputPass();
  void Sweep();
  void UpdateCycleGraph();
  void UpdateResendGraph();

  ServerPorts ports_;
  std::string workDir_;
  SessionContext context_;
  bool running_ = false;
  std::uint32_t lastCycleTick_ = 0;
};

std::string FormatUptime(std::int32_t seconds);

}  // namespace velora
