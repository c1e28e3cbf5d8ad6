// The polling cycle: registration slot, output pass, content pause, sweep; and the front door.
#include "bus/server.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/constants.h"
#include "common/cp1252.h"
#include "link/frame.h"
#include "settings/settings_table.h"

namespace velora {

namespace {

std::unique_ptr<MailPorts> MakeMailPorts(const ServerPorts& ports) {
  if (ports.mailConnections == nullptr || ports.mailTimers == nullptr) return nullptr;
  return std::make_unique<MailPorts>(
      MailPorts{*ports.mailConnections, *ports.mailTimers, ports.clock, ports.localHostName});
}

}  // namespace

Server::Server(ServerPorts ports, std::string workDir)
    : ports_(ports),
      port_(ports.makePort(settings_)),
      log_(ports.clock, ports.ui, std::move(workDir)),
      line_(*port_, ports.timer, ports.pump, log_, settings_),
      stations_(log_, ports.ui, users_, ports.clock, figures_),
      mailPorts_(MakeMailPorts(ports)),
      context_{settings_, log_,      ports.clock, random_,          users_,  feedback_,
               stations_, &changes_, &counts_,    mailPorts_.get(), &poster_} {}

Server::~Server() = default;

void Server::Run(std::function<void()> command) {
  if (!running_) {
    command();
    return;
  }
  commands_.push_back(std::move(command));
}

void Server::ApplyCommands() {
  // A command may queue another; those wait for the next step.
  std::vector<std::function<void()>> due;
  due.swap(commands_);
  for (auto& command : due)
    command();
}

void Server::SaveIfChanged() {
  if (!running_ || !onSave_) return;
  if (changes_.Count() == changesSaved_ && !saveFailed_) return;
  const std::uint32_t now = ports_.clock.TickMs();
  if (now - lastSaveTick_ < SaveIntervalMs) return;
  changesSaved_ = changes_.Count();
  lastSaveTick_ = now;
  // A full disk may be freed at any time; nothing need change for the save to be due again.
  saveFailed_ = !onSave_();
}

NetworkFigures Server::Figures() const {
  NetworkFigures figures = figures_;
  const LineDrops& line = line_.Drops();
  figures.Dropped(DropReason::Crc) = line.crc;
  figures.Dropped(DropReason::Length) = line.length;
  figures.Dropped(DropReason::Destination) = line.destination;
  figures.Dropped(DropReason::Overtaken) = line.overtaken;
  return figures;
}

void Server::CountSave(bool ok) {
  ++(ok ? figures_.savesOk : figures_.savesFailed);
}

ServerStats Server::Stats() const {
  ServerStats stats = serverStats_;
  stats.messagesHandled = counts_.messages;
  stats.mailsHandled = counts_.MailsHandled();
  return stats;
}

void Server::RequestStop() {
  running_ = false;
}

void Server::AbortWaits() {
  running_ = false;
  line_.EndTimerWait();
}

void Server::TickSecond() {
  if (!running_) return;
  // Saturating: 68 years of running time must not wrap to a negative number.
  constexpr std::int32_t most = std::numeric_limits<std::int32_t>::max();
  if (runSeconds_ < most) ++runSeconds_;
  if (totalUptime_ < most) ++totalUptime_;
}

void Server::SetLogLevel(LogLevel level) {
  log_.level = std::min(level, MaxLogLevel);
}

void Server::ApplySettings(const ServerSettings& settings) {
  Run([this, settings] { TakeSettings(settings); });
}

void Server::ApplyCopiedSettings(const ServerSettings& settings) {
  // The fields applied at use are taken as they are when the command runs: the dialog may have
  // changed them since.
  Run([this, next = ServerSettings(settings)]() mutable {
    CopyAtUseSettings(settings_, next);
    TakeSettings(next);
  });
}

void Server::TakeSettings(const ServerSettings& settings) {
  settings_ = settings;
  if (port_->PortNumber() != settings_.ComPort) port_->SetPortNumber(settings_.ComPort);
  if (onSettings_) onSettings_(settings_);
}

void Server::KickUser(int accountIndex) {
  Run([this, accountIndex] { stations_.KickUser(accountIndex); });
}

void Server::Notify(std::string userName, std::string text) {
  Run([this, userName = std::move(userName), text = std::move(text)] {
    stations_.Notify(userName, text);
  });
}

void Server::Post(SessionId session, std::function<void(TProcess&)> command) {
  Run([this, session, command = std::move(command)] {
    const std::size_t index = stations_.IndexOf(session);
    if (index < stations_.Count()) command(stations_.Session(index));
  });
}

void Server::SessionPoster::Post(SessionId session, std::function<void(ServiceSession&)> command) {
  server_.Post(session, [command = std::move(command)](TProcess& process) { command(process); });
}

void Server::AddAccount(Tuserdata account) {
  Run([this, account = std::move(account)] { users_.push_back(account); });
}

bool Server::Restore(UserTable users, FeedbackList feedback, std::int32_t totalUptime) {
  if (running_) return false;
  users_ = std::move(users);
  feedback_ = std::move(feedback);
  totalUptime_ = totalUptime;
  return true;
}

void Server::SeedRandom(std::uint32_t seed) {
  random_.Seed(seed);
}

void Server::SetStationCountHandler(std::function<void(std::size_t)> handler) {
  stations_.SetCountHandler(std::move(handler));
}

bool Server::Start() {
  if (running_) return true;
  running_ = true;
  ports_.ui.ReplaceEventList("WICHTIGE EREIGNISSE:\r\n");

  lastCycleTick_ = ports_.clock.TickMs();
  lastSaveTick_ = lastCycleTick_ - SaveIntervalMs;  // the first change is saved at once
  if (!log_.Open()) {
    ports_.ui.ShowMessage("Could not open logfile for write access.");
    running_ = false;
    return false;
  }
  log_.WriteHeader();
  std::string error;
  if (!port_->Open(error)) {
    ports_.ui.ShowMessage("Could not open port COM" + std::to_string(port_->PortNumber()));
    log_.Close();
    running_ = false;
    return false;
  }
  log_.LogAt(1, "Port geöffnet"_cp);
  if (port_->IsVirtualRadio()) log_.MainLog("virtuelles Funknetz", false);
  stations_.Reset();
  stats_ = CycleStats{};
  serverStats_ = ServerStats{};
  counts_ = ServiceCounts{};
  figures_ = NetworkFigures{};

  while (running_)
    OneCycle();

  ports_.timer.Stop();
  port_->Close();
  log_.LogAt(1, "Port geschlossen");
  log_.Close();
  ApplyCommands();
  return true;
}

void Server::OneCycle() {
  ApplyCommands();
  // Between the sweep and the next invitation no station is about to send: the time for the disk.
  SaveIfChanged();
  log_.CheckContinuation(settings_.MaxLogLines, settings_.SameLogFile, settings_.MaxLogFolderMB);
  log_.LogAt(2, "==== Schleife beginnt von vorne ====");
  UpdateCycleTime();
  RegistrationSlot();
  ApplyCommands();
  UpdateResendCounters();
  ++stats_.cycles;
  ++serverStats_.cycles;
  if (onCycle_) onCycle_();
  OutputPass();
  line_.Delay(settings_.ContentPacketPause);
  ApplyCommands();
  if (stations_.Count() == 0) return;
  Sweep();
}

void Server::UpdateCycleTime() {
  const std::uint32_t now = ports_.clock.TickMs();
  stats_.lastCycleMs = now - lastCycleTick_;
  lastCycleTick_ = now;
  // The first measures the time from the start to the first cycle.
  if (serverStats_.cycles > 0) {
    ++serverStats_.timedCycles;
    serverStats_.cycleMsSum += stats_.lastCycleMs;
    figures_.cycleTimes.Add(stats_.lastCycleMs);
  }
}

void Server::RegistrationSlot() {
  line_.TXENSend();
  line_.SendPacket(NoAddress, KindInvite, "", 1);
  line_.TXENReceive();
  const std::optional<Frame> request = line_.ReceivePacket(settings_.RegisterWait);
  line_.TXENSend();
  if (!request || request->Size() != RegisterRequestLength) return;

  const std::string_view nameField = request->Payload().substr(0, 8);
  const std::size_t namesake = stations_.IndexOfName(nameField);
  if (namesake < stations_.Count()) {
    // A station that answers keeps its name; one that has fallen silent was most likely this
    // very calculator before a reset, and would lock its user out until it is kicked.
    if (stations_.Figures(namesake).silentRun < SilentTurnsToReplace) return;
    KickStation(static_cast<std::uint8_t>(stations_.Session(namesake).Address()),
                RemovalCause::Replaced);
  }
  const std::size_t index = stations_.Count();
  const std::uint8_t address = stations_.GetFreeAddr(index);
  // Without an address a session would never be polled and could never leave.
  if (address == NoAddress) return;
  stations_.Add(std::make_unique<TProcess>(context_, address,
                                           static_cast<std::uint8_t>(request->Payload()[8]),
                                           nameField, stations_.NewId()));
  const TProcess& session = stations_.Session(index);
  char text[160];
  std::snprintf(text, sizeof text, "TI Nr. %d angemeldet; Name \"%s\"; Typ: %s",
                static_cast<int>(stations_.Count()), session.UserName().c_str(),
                std::string(CalcTypeNames[session.CalcType()]).c_str());
  log_.MainLog(text, false);
}

void Server::UpdateResendCounters() {
  stats_.hasStations = stations_.Count() > 0;
  if (!stats_.hasStations) return;
  const StationLink& first = stations_.Session(0).Link();
  stats_.sendCount = first.SendCount();
  stats_.sendCountMax = first.SendCountMax();
}

void Server::OutputPass() {
  // Every session present when the pass begins gets one turn. A send waits, so no session is
  // held across it: each is looked up again by its id afterwards.
  std::vector<SessionId> turns;
  for (std::size_t i = 0; i < stations_.Count(); ++i)
    turns.push_back(stations_.IdAt(i));
  for (const SessionId id : turns) {
    std::size_t index = stations_.IndexOf(id);
    if (index == stations_.Count()) continue;
    TProcess& session = stations_.Session(index);
    const TPacket packet = session.NextPacket();
    const bool resent = session.Link().Repeated();
    if (resent) ++serverStats_.framesResent;
    const auto address = static_cast<std::uint8_t>(session.Address());
    // Only a session that has just been sent its logout confirmation leaves.
    const bool leaving = session.LoggedOut();
    stations_.Figures(index).Sent(resent);
    if (packet.Kind == KindRegistered) {
      line_.SendPacket(BroadcastAddress, packet.Kind, packet.Data, packet.Part);
    } else if (packet.Kind == KindLogoutAck) {
      for (int n = 0; n < settings_.LogoutAckCount; ++n) {
        line_.SendPacket(address, packet.Kind, packet.Data, packet.Part);
      }
    } else {
      line_.SendPacket(address, packet.Kind, packet.Data, packet.Part);
    }
    if (leaving) stations_.UnregisterMe(stations_.IndexOf(id), RemovalCause::Logout);
    ApplyCommands();
  }
}

void Server::Sweep() {
  int k = stations_.LowestAddress();
  bool mustPoll = true;
  while (k <= stations_.HighestAddress()) {
    const auto address = static_cast<std::uint8_t>(k);
    if (mustPoll) {
      if (line_.TxenIsReceive()) line_.TXENSend();
      line_.SendPacket(address, KindPoll, "", 1);
      line_.TXENReceive();
      mustPoll = false;
      if (StationFigures* figures = stations_.FiguresAt(address)) ++figures->framesSent;
    }
    const std::optional<Frame> frame = line_.ReceivePacket(settings_.ReceiveWait);
    ApplyCommands();
    TProcess* session = stations_.SessionAt(address);
    const bool fromPolled = frame && frame->Source() == address && session != nullptr;
    if (frame && !fromPolled) ++figures_.Dropped(DropReason::Source);
    if (fromPolled) {
      stations_.FiguresAt(address)->Heard(ports_.clock.TickMs());
      if (!session->HandlePacket(*frame)) ++figures_.Dropped(DropReason::StrayPart);
      session->Link().SetNoReplyCount(0);
    } else {
      Silence(address);
      mustPoll = true;
    }
    ++k;
    if (k <= 255 && stations_.AddressInUse(static_cast<std::uint8_t>(k))) continue;
    while (k <= stations_.HighestAddress() && !stations_.AddressInUse(static_cast<std::uint8_t>(k)))
      ++k;
    mustPoll = true;
  }
}

void Server::Silence(std::uint8_t address) {
  TProcess* session = stations_.SessionAt(address);
  if (session == nullptr) return;
  StationLink& link = session->Link();
  stations_.FiguresAt(address)->Silent();
  if (!link.Answered()) {
    // Whatever the kick setting says: a station that never answered costs every cycle a wait.
    link.CountTurnBeforeAnswer();
    if (link.TurnsBeforeAnswer() >= TurnsToConfirmRegistration) {
      KickStation(address, RemovalCause::NeverAnswered);
      return;
    }
  }
  if (!settings_.KickSilentStations) return;
  // A byte: 255 + 1 wraps to 0, so a limit of 255 or more never kicks.
  link.SetNoReplyCount(static_cast<std::uint8_t>(link.NoReplyCount() + 1));
  if (link.NoReplyCount() > settings_.KickAfterNoReplies) {
    KickStation(address, RemovalCause::Silence);
  }
}

void Server::KickStation(std::uint8_t address, RemovalCause cause) {
  const TProcess* session = stations_.SessionAt(address);
  if (session == nullptr) return;
  log_.MainLog("Kicke TI " + std::to_string(address + 1) + " (" + session->UserName() + ")", false);
  stations_.UnregisterMe(stations_.SessionOfAddress(address), cause);
}

std::string FormatUptime(std::int32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%2.2d:%2.2d", seconds / 60, seconds % 60);
  return text;
}

}  // namespace velora
