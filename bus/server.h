// The server: owns the applied settings, the station table with its sessions, the user table, the
// feedback list, the log and the serial line, and runs the polling cycle between start and stop.
// Everything outside the cycle (windows, signals, timers, mail replies) reaches it through its
// front door: commands that are queued and applied between steps of the cycle, never inside a
// wait, so that nothing a wait runs can pull a session away under the cycle's feet.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/figures.h"
#include "bus/station_table.h"
#include "common/ports.h"
#include "common/random.h"
#include "common/records.h"
#include "link/serial_line.h"
#include "session/context.h"
#include "settings/server_settings.h"
#include "store/log_file.h"

namespace velora {

// A station that has not answered once in this many turns of the sweep after its registration
// is taken to be gone (a registration heard from a calculator that then fell silent, or noise).
inline constexpr int TurnsToConfirmRegistration = 5;

// A calculator that registers under the name of a station silent for this many turns in a row
// takes its place: it was reset or switched off while registered and is back.
inline constexpr int SilentTurnsToReplace = 5;

// Changed user and feedback files are saved while the server runs at most this often.
inline constexpr std::uint32_t SaveIntervalMs = 5000;

struct ServerPorts {
  Clock& clock;
  EventPump& pump;
  OneShotTimer& timer;
  OperatorUi& ui;
  // Creates the radio modem's port; it reads the server's settings (the DTR polarity) at use.
  std::function<std::unique_ptr<SerialPort>(const ServerSettings&)> makePort;
  // The mail conversations' connections and reply timers, and the name they greet with; they
  // must outlive the server. Without them the mail services say that mail is not available.
  LineConnectionFactory* mailConnections = nullptr;
  OneShotTimerFactory* mailTimers = nullptr;
  std::string localHostName = "localhost";
};

// Wraps the port a world made for its server (a meter's, say); the settings are the server's.
using PortDecorator =
    std::function<std::unique_ptr<SerialPort>(std::unique_ptr<SerialPort>, const ServerSettings&)>;

// What the windows show of each cycle; the pixels are theirs.
struct CycleStats {
  std::uint64_t cycles = 0;
  std::uint32_t lastCycleMs = 0;  // duration of the previous cycle
  bool hasStations = false;       // the first station's resend counters below are valid
  std::int32_t sendCount = 0;
  std::int32_t sendCountMax = 0;
};

// Figures since the server started, for the headless server's status line.
struct ServerStats {
  std::uint64_t cycles = 0;
  // The cycles whose duration is in cycleMsSum (the first start of a cycle measures nothing).
  std::uint64_t timedCycles = 0;
  std::uint64_t cycleMsSum = 0;
  // Packets the output pass sent again because the calculator had not acknowledged them.
  std::uint64_t framesResent = 0;
  std::uint64_t messagesHandled = 0;
  std::uint64_t mailsHandled = 0;
};

class Server {
 public:
  Server(ServerPorts ports, std::string workDir);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Runs the server until a stop (or a failed start); false when it could not start.
  bool Start();

  // --- The front door. Flags take effect at once; everything else is queued while the cycle
  // runs and applied at its next step (at once while it does not).

  void RequestStop();
  // Ends a running timed wait at once and stops, as closing the main window does.
  void AbortWaits();
  // The one-second uptime timer; counts only while the server runs.
  void TickSecond();
  void SetLogLevel(LogLevel level);
  // A line in the detailed log, whatever the level (the platform's notes about the port).
  void LogLine(std::string_view text) { log_.Log(text); }
  // All settings at once, the port number included (a test's or a tool's configuration).
  void ApplySettings(const ServerSettings& settings);
  // What the configuration dialog's SetUpVars applies: the copied settings and the port number.
  // Those applied at use stay as the dialog wrote them into SettingsAtUse().
  void ApplyCopiedSettings(const ServerSettings& settings);
  // The record the configuration dialog writes each setting applied at use into as it changes,
  // so that its readers see the change at the next use, even while the dialog is open.
  ServerSettings& SettingsAtUse() { return settings_; }
  // An administrator's kick from outside a session: the account's session shows "kickme".
  void KickUser(int accountIndex);
  // A message screen on the first session registered under the name.
  void Notify(std::string userName, std::string text);
  // Runs a command on a session if it is still there when the command is applied.
  void Post(SessionId session, std::function<void(TProcess&)> command);
  // A save of the user and feedback files, for the figures.
  void CountSave(bool ok);
  // Accounts added while the program runs (the headless server's demo calculators).
  void AddAccount(Tuserdata account);
  // The tables of the user and feedback files, at program start (refused while running).
  bool Restore(UserTable users, FeedbackList feedback, std::int32_t totalUptime);
  void SeedRandom(std::uint32_t seed);
  // Called once per cycle after the cycle's statistics changed.
  void SetCycleHandler(std::function<void()> onCycle) { onCycle_ = std::move(onCycle); }
  // Called with the number of stations whenever it changes.
  void SetStationCountHandler(std::function<void(std::size_t)> handler);
  // Called at the start of a cycle when the user table or the feedback list has changed since
  // the last call, at most once every SaveIntervalMs. It answers whether the save worked; a
  // failed one is tried again every SaveIntervalMs until it works, changes or not.
  void SetSaveHandler(std::function<bool()> save) { onSave_ = std::move(save); }
  // Called whenever settings have been applied (a status server follows its address).
  void SetSettingsHandler(std::function<void(const ServerSettings&)> handler) {
    onSettings_ = std::move(handler);
  }

  // --- Read-only views.

  bool Running() const { return running_; }
  const ServerSettings& Settings() const { return settings_; }
  const UserTable& Users() const { return users_; }
  const FeedbackList& Feedback() const { return feedback_; }
  const StationTable& Stations() const { return stations_; }
  const CycleStats& Cycle() const { return stats_; }
  ServerStats Stats() const;
  // The whole network's figures since the start, and each station's.
  NetworkFigures Figures() const;
  std::vector<StationRow> StationRows() const { return stations_.Rows(); }
  const ServiceCounts& Counts() const { return counts_; }
  std::int32_t RunSeconds() const { return runSeconds_; }
  std::int32_t TotalUptime() const { return totalUptime_; }
  // The local time of the server's clock, and its millisecond tick (the figures' ticks are of it).
  DateTime LocalNow() const { return ports_.clock.LocalNow(); }
  std::uint32_t NowTickMs() const { return ports_.clock.TickMs(); }
  LogLevel Level() const { return log_.Level(); }
  const std::string& LogPath() const { return log_.CurrentPath(); }
  bool LogOpen() const { return log_.IsOpen(); }
  // The port the radio modem hangs on (the platform sets its device).
  SerialPort& Port() { return *port_; }

 private:
  void Run(std::function<void()> command);
  void TakeSettings(const ServerSettings& settings);
  void ApplyCommands();
  void SaveIfChanged();
  void OneCycle();
  void RegistrationSlot();
  void OutputPass();
  void Sweep();
  // A turn of the sweep without an answer from the station at the address.
  void Silence(std::uint8_t address);
  // Removes the station at the address as one gone silent, with its event lines.
  void KickStation(std::uint8_t address, RemovalCause cause);
  void UpdateCycleTime();
  void UpdateResendCounters();

  // The front door as the sessions' services see it.
  class SessionPoster : public SessionCommands {
   public:
    explicit SessionPoster(Server& server) : server_(server) {}
    void Post(SessionId session, std::function<void(ServiceSession&)> command) override;

   private:
    Server& server_;
  };

  ServerPorts ports_;
  ServerSettings settings_;
  std::unique_ptr<SerialPort> port_;  // before the serial line, which holds it
  UserTable users_;
  FeedbackList feedback_;
  std::int32_t totalUptime_ = 0;
  std::int32_t runSeconds_ = 0;
  Random random_;
  LogFile log_;
  SerialLine line_;
  NetworkFigures figures_;
  StationTable stations_;
  std::unique_ptr<MailPorts> mailPorts_;
  SessionPoster poster_{*this};
  SessionContext context_;
  CycleStats stats_;
  ServerStats serverStats_;
  ServiceCounts counts_;
  std::function<void()> onCycle_;
  std::vector<std::function<void()>> commands_;
  bool running_ = false;
  std::uint32_t lastCycleTick_ = 0;
  ChangeCounter changes_;
  std::uint64_t changesSaved_ = 0;
  std::uint32_t lastSaveTick_ = 0;
  bool saveFailed_ = false;
  std::function<bool()> onSave_;
  std::function<void(const ServerSettings&)> onSettings_;
};

std::string FormatUptime(std::int32_t seconds);

}  // namespace velora
